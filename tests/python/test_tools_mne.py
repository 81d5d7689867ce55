"""orbelix_tools.mne: MNE containers from Epochs, Evoked and Raw, against
MNE's own tfr_array_stockwell and against stransform/tfr_power."""

import numpy as np
import pytest

mne = pytest.importorskip("mne")

from mne.time_frequency import tfr_array_stockwell  # noqa: E402

from orbelix_tools import stransform, tfr_power  # noqa: E402
from orbelix_tools.mne import tfr_stockwell  # noqa: E402

SFREQ = 256.0
N = 512  # 2 s epochs


@pytest.fixture(scope="module")
def epochs():
    """Epochs of three EEG channels (one marked bad) and an EOG channel: a
    phase-locked 20 Hz burst after the stimulus over noise."""
    rng = np.random.default_rng(7)
    t = np.arange(N) / SFREQ - 0.5
    burst = np.cos(2 * np.pi * 20 * t) * np.exp(-((t - 0.4) / 0.15) ** 2)
    data = 0.5 * rng.standard_normal((12, 4, N))
    data[:, :2] += burst
    info = mne.create_info(["Fz", "Cz", "Pz", "EOG"], SFREQ, ["eeg", "eeg", "eeg", "eog"])
    info["bads"] = ["Pz"]
    events = np.column_stack([np.arange(12) * 1000, np.zeros(12, int), np.full(12, 3)])
    return mne.EpochsArray(data, info, events=events, tmin=-0.5, event_id={"stim": 3},
                           verbose="error")


def good_eeg(epochs):
    return epochs.get_data(picks=["Fz", "Cz"])


def test_against_mne_tfr_array_stockwell(epochs):
    # MNE's width w is ours times sfreq/n_fft; its power is a quarter of ours.
    # Above about 10*width/T Hz (here 5 Hz) MNE's window is the same Gaussian.
    data = good_eeg(epochs)
    ref_power, ref_itc, ref_freqs = tfr_array_stockwell(
        data, SFREQ, fmin=12.0, fmax=60.0, n_fft=N, width=0.5, return_itc=True, verbose="error")
    power, itc = tfr_stockwell(epochs, freqs=ref_freqs, width=0.5 * N / SFREQ, return_itc=True)
    assert isinstance(power, mne.time_frequency.AverageTFRArray)
    assert isinstance(itc, mne.time_frequency.AverageTFRArray)
    np.testing.assert_allclose(power.freqs, np.arange(12.0, 60.0, 0.5), rtol=0, atol=1e-12)
    np.testing.assert_allclose(ref_freqs, power.freqs, rtol=0, atol=1e-12)
    np.testing.assert_array_equal(power.times, epochs.times)
    assert power.ch_names == ["Fz", "Cz"] and itc.ch_names == ["Fz", "Cz"]
    assert power.info["sfreq"] == SFREQ and power.nave == 12 and power.method == "stockwell"
    scale = ref_power.max(axis=-1, keepdims=True)
    np.testing.assert_allclose(power.data / 4, ref_power, rtol=0, atol=2e-6 * scale.max())
    np.testing.assert_array_less(np.abs(power.data / 4 - ref_power),
                                  np.broadcast_to(1e-5 * scale, ref_power.shape))
    np.testing.assert_allclose(itc.data, ref_itc, rtol=0, atol=1e-4)
    # The burst is phase-locked: the coherence at 20 Hz peaks near 0.4 s.
    k = np.argmin(np.abs(itc.freqs - 20))
    assert itc.data[:, k, np.argmin(np.abs(itc.times - 0.4))].min() > 0.9


def test_same_numbers_as_tfr_power_and_stransform(epochs):
    data = good_eeg(epochs)
    f, t, p, c = tfr_power(data, SFREQ, fmin=2.0, fmax=40.0, df=1.0, decim=4, width=1.5)
    power, itc = tfr_stockwell(epochs, fmin=2.0, fmax=40.0, df=1.0, decim=4, width=1.5,
                               return_itc=True, workers=2)
    np.testing.assert_array_equal(power.data, p)
    np.testing.assert_array_equal(itc.data, c)
    np.testing.assert_array_equal(power.freqs, f)
    np.testing.assert_array_equal(power.times, epochs.times[::4])

    each = tfr_stockwell(epochs, fmin=2.0, fmax=40.0, df=1.0, decim=4, width=1.5, average=False)
    assert isinstance(each, mne.time_frequency.EpochsTFRArray)
    _, _, s = stransform(data, SFREQ, fmin=2.0, fmax=40.0, df=1.0, decim=4, width=1.5,
                         output="power")
    np.testing.assert_array_equal(each.data, s)
    np.testing.assert_array_equal(each.events, epochs.events)
    assert each.event_id == {"stim": 3}
    np.testing.assert_allclose(each.data.mean(axis=0), p, rtol=2e-5, atol=1e-7)
    np.testing.assert_allclose(each.average().data, p, rtol=2e-5, atol=1e-7)  # MNE's own average

    coeffs = tfr_stockwell(epochs, fmin=2.0, fmax=40.0, average=False, output="complex",
                           picks=["Cz", "EOG"])
    _, _, z = stransform(epochs.get_data(picks=["Cz", "EOG"]), SFREQ, fmin=2.0, fmax=40.0)
    assert coeffs.ch_names == ["Cz", "EOG"]
    np.testing.assert_array_equal(coeffs.data, z)


def test_freqs_name_the_bins(epochs):
    by_freqs = tfr_stockwell(epochs, freqs=np.arange(4.0, 30.5, 1.5))
    by_band = tfr_stockwell(epochs, fmin=4.0, fmax=30.5, df=1.5)
    np.testing.assert_array_equal(by_freqs.freqs, np.arange(4.0, 30.5, 1.5))
    np.testing.assert_array_equal(by_freqs.data, by_band.data)
    # By default the band starts one bin above 0 Hz and ends at sfreq/2.
    whole = tfr_stockwell(epochs, decim=8)
    assert whole.freqs[0] == SFREQ / N and whole.freqs[-1] == SFREQ / 2

    with pytest.raises(ValueError, match=r"freqs\[1\]=4\.3 is not an FFT bin frequency "
                                         r"k\*sfreq/n of the epochs \(n=512 samples"):
        tfr_stockwell(epochs, freqs=[4.0, 4.3, 5.0])
    with pytest.raises(ValueError, match="increasing and evenly spaced"):
        tfr_stockwell(epochs, freqs=[4.0, 5.0, 7.0])
    with pytest.raises(ValueError, match="outside 0 .. sfreq/2=128.0"):
        tfr_stockwell(epochs, freqs=[100.0, 130.0])
    with pytest.raises(ValueError, match="either freqs or fmin/fmax/df"):
        tfr_stockwell(epochs, freqs=[4.0, 5.0], fmax=5.0)
    with pytest.raises(TypeError, match="freqs has dtype"):
        tfr_stockwell(epochs, freqs=["4"])


def test_evoked_and_raw(epochs):
    evoked = epochs.average()
    tfr = tfr_stockwell(evoked, fmin=5.0, fmax=30.0, decim=2)
    assert isinstance(tfr, mne.time_frequency.AverageTFRArray)
    assert tfr.nave == evoked.nave == 12
    _, _, s = stransform(evoked.get_data(picks=["Fz", "Cz"]), SFREQ, fmin=5.0, fmax=30.0,
                         decim=2, output="power")
    np.testing.assert_array_equal(tfr.data, s)
    np.testing.assert_array_equal(tfr.times, evoked.times[::2])

    rng = np.random.default_rng(3)
    raw = mne.io.RawArray(rng.standard_normal((2, 2000)), mne.create_info(2, 200.0, "eeg"),
                          verbose="error")
    rtfr = tfr_stockwell(raw, fmin=1.0, fmax=30.0, decim=8)
    assert isinstance(rtfr, mne.time_frequency.RawTFRArray)
    np.testing.assert_array_equal(rtfr.times, raw.times[::8])
    _, _, s = stransform(raw.get_data(), 200.0, fmin=1.0, fmax=30.0, decim=8, output="power")
    np.testing.assert_array_equal(rtfr.data, s)


def test_refusals_and_picks(epochs):
    with pytest.raises(ValueError, match="return_itc=True needs epochs and average=True"):
        tfr_stockwell(epochs, fmax=20.0, average=False, return_itc=True)
    with pytest.raises(ValueError, match="return_itc=True needs epochs"):
        tfr_stockwell(epochs.average(), fmax=20.0, return_itc=True)
    with pytest.raises(ValueError, match="output='complex' needs average=False"):
        tfr_stockwell(epochs, fmax=20.0, output="complex")
    with pytest.raises(ValueError, match=r"output='phase' must be one of \('power', 'complex'\)"):
        tfr_stockwell(epochs, fmax=20.0, average=False, output="phase")
    with pytest.raises(TypeError, match="inst must be mne.Epochs, mne.Evoked or mne.io.Raw, not ndarray"):
        tfr_stockwell(np.zeros((2, 3, 64)))
    with pytest.raises(ValueError, match="decim"):
        tfr_stockwell(epochs, fmax=20.0, decim=0)
    # Channel types pick the good channels; names pick bad ones too.
    assert tfr_stockwell(epochs, fmax=20.0, picks="eeg").ch_names == ["Fz", "Cz"]
    assert tfr_stockwell(epochs, fmax=20.0, picks=["Pz", "Fz"]).ch_names == ["Pz", "Fz"]
    # The caller's epochs are left as they were.
    assert epochs.ch_names == ["Fz", "Cz", "Pz", "EOG"]
