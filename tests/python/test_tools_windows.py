"""The windows of orbelix_tools' transforms against float64 references built
from each window's definition in time, the Gaussian shorthand bit for bit,
tone amplitude, decimation, the inverse, worker counts and refusals."""

import math

import numpy as np
import pytest

import orbelix_tools as ot
from references import analytic_spectrum, window_shape

# Short signals: the lowest voices' windows are longer than the signal.
pytestmark = pytest.mark.filterwarnings("ignore:the windows of .* longer than the signal")

LENGTHS = [64, 75, 101]  # even, odd, prime

SHAPED = {
    "bigauss": ("bigauss", 0.6, 1.7),
    "hyperbolic": ("hyperbolic", 0.8, 1.6, 0.05),
    "callable": lambda v: np.exp(-0.5 * v * v) * (1.0 + 0.3j * np.tanh(v)),
}
ALL = {"gauss": ("gauss", 1.3), "gauss_power": ("gauss_power", 0.9, 0.7), **SHAPED}


# The window's shape at lags u (s) for a voice at f Hz, from its definition.
shape = window_shape


def reference(x, fs, bins, window, absolute=False):
    """Voices in float64. The Gaussians are defined in frequency: voice k
    weights the analytic spectrum at bin k + d by exp(-2 pi^2 sigma^2
    alpha^2), alpha = d fs/n Hz. The other windows straight from the time
    domain: the analytic signal demodulated to bin k, convolved on the circle
    with the window sampled at lags j/fs (j = -floor(n/2) .. ceil(n/2)-1),
    divided by the samples' sum."""
    n = x.size
    a = analytic_spectrum(x)
    xa = np.fft.ifft(a) * n
    gaussian = not callable(window) and window[0].startswith("gauss")
    t = np.arange(n)
    out = np.empty((len(bins), n), np.complex128)
    for r, k in enumerate(bins):
        if k == 0:
            out[r] = x.mean()
            continue
        f = k * fs / n
        if gaussian:
            gamma, p = (window[1], 1.0) if window[0] == "gauss" else window[1:]
            sigma = gamma / f**p
            d = np.arange(-k, n // 2 - k + 1)
            col = np.zeros(n, np.complex128)
            col[d % n] = a[k + d] * np.exp(-2 * np.pi**2 * sigma**2 * (d * fs / n) ** 2)
            out[r] = np.fft.ifft(col) * n
        else:
            lag = (t[:, None] - t[None, :] + n // 2) % n - n // 2  # tau - t on the circle
            w = shape(window, lag / fs, f)
            w0 = shape(window, (np.arange(n) - n // 2) / fs, f).sum()
            out[r] = (w @ (xa * np.exp(-2j * np.pi * k * t / n))) / w0
        if absolute:
            out[r] *= np.exp(2j * np.pi * k * t / n)
    return out


def signal(n, seed=0):
    return np.random.default_rng(seed + n).standard_normal(n).astype(np.float32)


def close(ours, ref, tol=2e-5):
    err = np.abs(ours - ref).max() / np.abs(ref).max()
    assert err < tol, err


@pytest.mark.parametrize("n", LENGTHS)
@pytest.mark.parametrize("name", list(ALL))
@pytest.mark.parametrize("phase", ["local", "absolute"])
def test_windows_against_time_domain_reference(n, name, phase):
    fs = 50.0
    x = signal(n)
    f, t, s = ot.stransform(x, fs, window=ALL[name], phase=phase)
    bins = np.rint(f * n / fs).astype(int)
    close(s, reference(x.astype(np.float64), fs, bins, ALL[name], phase == "absolute"))


@pytest.mark.parametrize("name", list(ALL))
def test_complex_signal_and_band(name):
    n, fs = 90, 30.0
    rng = np.random.default_rng(3)
    x = (rng.standard_normal(n) + 1j * rng.standard_normal(n)).astype(np.complex64)
    f, t, s = ot.stransform(x, fs, fmin=2.0, fmax=12.0, window=ALL[name])
    close(s, reference(x.astype(np.complex128), fs, np.rint(f * n / fs).astype(int), ALL[name]))


@pytest.mark.parametrize("width", [1.0, 0.37, 2.5])
@pytest.mark.parametrize("decim", [1, 4, 7])
def test_gauss_is_the_width_bit_for_bit(width, decim):
    x = np.stack([signal(200), signal(200, 1)])
    kw = dict(fmin=3.0, fmax=40.0, decim=decim)
    plain = ot.stransform(x, 100.0, width=width, **kw)[2]
    np.testing.assert_array_equal(ot.stransform(x, 100.0, window=("gauss", width), **kw)[2], plain)
    # gauss_power with p = 1 is the same Gaussian at every voice
    np.testing.assert_array_equal(
        ot.stransform(x, 100.0, window=("gauss_power", width, 1), **kw)[2], plain)
    p = ot.tfr_power(x[:, None], 100.0, width=width, **kw)
    q = ot.tfr_power(x[:, None], 100.0, window=("gauss_power", width, 1.0), **kw)
    for a, b in zip(p[2:], q[2:]):
        np.testing.assert_array_equal(a, b)


@pytest.mark.parametrize("n", LENGTHS)
@pytest.mark.parametrize("name", list(ALL))
def test_unit_tone_has_unit_amplitude(n, name):
    fs = float(n)  # bin k at k Hz
    k = n // 5
    x = 2.5 * np.cos(2 * np.pi * k * np.arange(n) / n + 0.4)
    f, t, s = ot.stransform(x, fs, fmin=k, fmax=k, window=ALL[name])
    np.testing.assert_allclose(np.abs(s[0]), 2.5, rtol=2e-6)


@pytest.mark.parametrize("name", list(ALL))
@pytest.mark.parametrize("decim", [4, 6])  # folded (divides 240) and sampled (does not... 240 % 6 == 0)
def test_decimation_samples_the_full_transform(name, decim):
    n, fs = 240, 60.0
    x = signal(n)
    kw = dict(fmin=1.0, fmax=20.0, window=ALL[name])
    full = ot.stransform(x, fs, **kw)[2]
    for d in (decim, 7):  # 7 does not divide 240: computed at full length and sampled
        f, t, s = ot.stransform(x, fs, decim=d, **kw)
        close(s, full[:, ::d], 1e-5)
        np.testing.assert_array_equal(t, np.arange(0, n, d) / fs)


@pytest.mark.parametrize("name", list(ALL))
@pytest.mark.parametrize("phase", ["local", "absolute"])
def test_inverse_with_every_window(name, phase):
    n, fs = 256, 64.0
    x = signal(n)
    f, t, s = ot.stransform(x, fs, fmin=0.0, window=ALL[name], phase=phase)
    y = ot.istransform(f, s, n, fs=fs, phase=phase, window=ALL[name])
    np.testing.assert_allclose(y, x, atol=2e-5 * np.abs(x).max())


def test_windows_the_inverse_cannot_undo_are_refused():
    n, fs = 127, 32.0  # lags symmetric about 0
    odd = lambda v: v * np.exp(-0.5 * v * v)  # noqa: E731 - samples sum to 0
    x = signal(n)
    with pytest.raises(ValueError, match=r"0 at offset 0 \(the sum of the window's samples\)"):
        ot.stransform(x, fs, window=odd)
    f, _, s = ot.stransform(x, fs)
    with pytest.raises(ValueError, match="cannot be inverted: its weight at offset 0"):
        ot.istransform(f, s, n, fs=fs, window=odd)


@pytest.mark.parametrize("name", list(ALL))
def test_workers_and_batches_bit_for_bit(name):
    x = np.stack([signal(300, i) for i in range(3)])
    for kw in (dict(decim=1), dict(decim=5), dict(decim=7)):
        one = ot.stransform(x, 100.0, fmin=2.0, fmax=30.0, window=ALL[name], **kw)[2]
        two = ot.stransform(x, 100.0, fmin=2.0, fmax=30.0, window=ALL[name], workers=2, **kw)[2]
        np.testing.assert_array_equal(one, two)
        alone = ot.stransform(x[1], 100.0, fmin=2.0, fmax=30.0, window=ALL[name], workers=2, **kw)[2]
        np.testing.assert_array_equal(alone, one[1])
        p1 = ot.tfr_power(x, 100.0, fmin=2.0, fmax=30.0, window=ALL[name], **kw)
        p2 = ot.tfr_power(x, 100.0, fmin=2.0, fmax=30.0, window=ALL[name], workers=2, **kw)
        np.testing.assert_array_equal(p1[2], p2[2])
        np.testing.assert_array_equal(p1[3], p2[3])
        # power is the epochs' mean |S|^2
        np.testing.assert_allclose(p1[2], (np.abs(one) ** 2).mean(axis=0), rtol=1e-5,
                                   atol=1e-6 * p1[2].max())


# ---- frequency lists -------------------------------------------------------

def test_freqs_are_rounded_to_their_nearest_bins():
    n, fs = 500, 100.0  # bins 0.2 Hz apart
    x = signal(n)
    f, t, s = ot.stransform(x, fs, freqs=[3.05, 3.11, 10.0, 49.99], decim=5)
    np.testing.assert_array_equal(f, np.array([15, 16, 50, 250]) * fs / n)  # 15.25 -> 15 (even)
    band = ot.stransform(x, fs, decim=5)[2]
    np.testing.assert_array_equal(s, band[[15, 16, 50, 250]])
    for window in (ALL["bigauss"], ALL["gauss_power"]):
        full = ot.stransform(x, fs, decim=5, window=window)[2]
        np.testing.assert_array_equal(ot.stransform(x, fs, freqs=f, decim=5, window=window)[2],
                                      full[[15, 16, 50, 250]])
    p = ot.tfr_power(np.stack([x, -x])[:, None], fs, freqs=[10.0, 20.0])
    np.testing.assert_array_equal(p[0], [10.0, 20.0])
    np.testing.assert_allclose(p[2][0], np.abs(ot.stransform(x, fs, freqs=[10.0, 20.0])[2]) ** 2,
                               rtol=1e-5)
    # zero padding makes the bins finer
    assert ot.stransform(x, fs, freqs=[10.1], pad="zeros", n_fft=1000)[0][0] == 10.1


# ---- scaling ---------------------------------------------------------------

def _welch(x, fs, f):
    import scipy.signal
    fw, pw = scipy.signal.welch(x, fs, nperseg=256)
    return np.interp(f, fw, pw.mean(axis=0))


@pytest.mark.parametrize("window", [None, ALL["bigauss"], ALL["gauss_power"], ALL["hyperbolic"]])
def test_density_matches_welch_on_white_and_pink_noise(window):
    fs, n = 256.0, 4096
    rng = np.random.default_rng(5)
    white = rng.standard_normal((24, n))
    spectrum = np.fft.rfft(rng.standard_normal((24, n)))
    spectrum[:, 1:] /= np.sqrt(np.fft.rfftfreq(n, 1 / fs)[1:])
    spectrum[:, 0] = 0
    pink = np.fft.irfft(spectrum, n)
    # one-sided densities: 2 sigma^2/fs for white noise, divided by f for the pink
    for x, density in ((white, lambda f: 2 / fs), (pink, lambda f: 2 / fs / f)):
        f, t, p = ot.stransform(x, fs, fmin=6.0, fmax=90.0, df=6.0, output="power",
                                scaling="density", window=window)
        averaged = p.mean(axis=(0, 2))
        assert np.all(np.abs(averaged / density(f) - 1) < 0.08), averaged / density(f)
        assert abs(np.median(averaged / _welch(x, fs, f)) - 1) < 0.05
    # amplitude scaling: white noise's |S|^2 grows with frequency
    f, t, amp = ot.stransform(white, fs, fmin=6.0, fmax=90.0, df=6.0, output="power",
                              window=window)
    growth = amp.mean(axis=(0, 2))
    assert growth[-1] > 5 * growth[0]


def test_density_scales_every_output_consistently():
    x = np.stack([signal(400, i) for i in range(3)])
    kw = dict(fmin=2.0, fmax=40.0, scaling="density", window=ALL["bigauss"])
    s = ot.stransform(x, 100.0, **kw)[2]
    np.testing.assert_allclose(ot.stransform(x, 100.0, output="power", **kw)[2], np.abs(s) ** 2,
                               rtol=2e-5)
    np.testing.assert_allclose(ot.stransform(x, 100.0, output="magnitude", **kw)[2], np.abs(s),
                               rtol=2e-5)
    _, _, power, itc = ot.tfr_power(x, 100.0, **kw)
    np.testing.assert_allclose(power, (np.abs(s) ** 2).mean(axis=0), rtol=2e-5)
    np.testing.assert_array_equal(itc, ot.tfr_power(x, 100.0, fmin=2.0, fmax=40.0,
                                                    window=ALL["bigauss"])[3])


# ---- padding and edges -----------------------------------------------------

def mirrored(x, m):
    """x padded to m samples: its end mirrored after it, its start mirrored
    before it (at the end of the circle)."""
    n = x.size
    after, before = (m - n + 1) // 2, (m - n) // 2
    tail = x[::-1][1:1 + after]
    head = x[1:1 + before][::-1]
    return np.concatenate([x, tail, head])


@pytest.mark.parametrize("name", ["gauss", "bigauss", "gauss_power"])
@pytest.mark.parametrize("pad,m", [("reflect", 150), ("reflect", 181), ("zeros", 200)])
def test_padding_against_the_padded_signal(name, pad, m):
    n, fs = 101, 20.0
    x = signal(n).astype(np.float64)
    f, t, s = ot.stransform(x, fs, fmin=1.0, window=ALL[name], pad=pad, n_fft=m)
    padded = mirrored(x, m) if pad == "reflect" else np.concatenate([x, np.zeros(m - n)])
    bins = np.rint(f * m / fs).astype(int)
    assert s.shape == (len(f), n) and np.array_equal(t, np.arange(n) / fs)
    close(s, reference(padded, fs, bins, ALL[name])[:, :n])
    _, _, power, _ = ot.tfr_power(np.stack([x, x])[:, None], fs, fmin=1.0, window=ALL[name],
                                  pad=pad, n_fft=m)
    close(power[0], np.abs(s) ** 2)


def test_reflect_padding_defaults_to_twice_the_length_and_removes_the_wrap():
    fs, n = 100.0, 400
    time = np.arange(n) / fs
    x = np.where(time < 2.0, np.cos(2 * np.pi * 4 * time), 0.0)  # a 4 Hz tone ending at 2 s
    f, t, s = ot.stransform(x, fs, freqs=[4.0], pad="reflect")
    f2, _, s2 = ot.stransform(np.concatenate([x, mirrored(x, 800)[n:]]), fs, freqs=[4.0])
    np.testing.assert_array_equal(s, s2[:, :n])
    circular = ot.stransform(x, fs, freqs=[4.0])[2]
    assert np.abs(circular[0, -10:]).max() > 0.2  # the tone's start wrapped to the end
    assert np.abs(s[0, -10:]).max() < 0.02


def test_the_inverse_refuses_padded_transforms():
    x = signal(200)
    f, t, s = ot.stransform(x, 50.0, fmin=2.0, fmax=10.0, pad="reflect")
    with pytest.raises(ValueError, match=r"padded to n_fft=400 samples .* cannot be inverted"):
        ot.istransform(f, s, 200, fs=50.0)


def brute_outside(shape_of, n, fs, f, m):
    """Share of |w| outside the signal at analysis sample m, by direct sums."""
    lags = np.arange(-40 * n, 40 * n + 1)
    w = np.abs(shape_of(lags / fs, f))
    inside = (lags <= m) & (lags >= m - n + 1)
    return 1 - w[inside].sum() / w.sum()


@pytest.mark.parametrize("name", ["gauss", "bigauss", "hyperbolic"])
def test_edge_mask_against_the_window_support(name):
    n, fs = 300, 50.0
    f = np.array([1.0, 2.5, 8.0])
    t = np.arange(n) / fs
    mask = ot.edge_mask(f, t, n, fs, window=ALL[name], fraction=0.1)
    for i, fi in enumerate(f):
        share = np.array([brute_outside(lambda u, g: np.abs(shape(ALL[name], u, g)), n, fs, fi, m)
                          for m in range(n)])
        decided = np.abs(share - 0.1) > 1e-6
        np.testing.assert_array_equal(mask[i][decided], (share > 0.1)[decided])
    assert mask[0].sum() > mask[1].sum() > mask[2].sum() > 0  # the cone narrows with frequency


def test_edge_mask_is_asymmetric_for_asymmetric_windows():
    n, fs = 1000, 100.0
    t = np.arange(n) / fs
    # a long back (u >= 0, signal before the analysis time) reaches past the start
    mask = ot.edge_mask([2.0], t, n, fs, window=("bigauss", 0.3, 2.0))[0]
    start = np.argmin(mask)  # first unmarked time
    end = n - 1 - np.argmin(mask[::-1])
    assert start > 3 * (n - 1 - end)
    assert not ot.edge_mask([0.0], t, n, fs).any()  # the mean has no window


def test_plot_hatches_the_mask():
    pytest.importorskip("matplotlib")
    from matplotlib.figure import Figure
    x = signal(400)
    f, t, s = ot.stransform(x, 100.0, fmin=1.0, fmax=20.0)
    mask = ot.edge_mask(f, t, 400, 100.0)
    ax = ot.plot(f, t, s, ax=Figure().add_subplot(), mask=mask)
    assert [getattr(c, "hatches", None) for c in ax.collections] == [["//"]]
    plain = ot.plot(f, t, s, ax=Figure().add_subplot())
    assert not plain.collections
    with pytest.raises(ValueError, match="mask must be a bool array of shape"):
        ot.plot(f, t, s, ax=Figure().add_subplot(), mask=mask[:, 1:])


@pytest.mark.parametrize("kw,power_kw", [
    (dict(window=ALL["bigauss"], decim=4), dict(window=ALL["bigauss"])),
    (dict(window=ALL["gauss_power"], decim=4), dict(window=ALL["gauss_power"])),
    (dict(freqs=[2.0, 5.0, 9.0], pad="reflect", n_fft=200, scaling="density", decim=4,
          window=ALL["hyperbolic"]), None)], ids=["bigauss", "gauss_power", "freqs-pad-density"])
def test_dask_forms_take_windows_freqs_padding_and_scaling(kw, power_kw):
    da = pytest.importorskip("dask.array")
    x = np.stack([signal(128, i) for i in range(4)])
    f, t, lazy = ot.stransform(da.from_array(x, chunks=(2, 128)), 32.0, **kw)
    f0, t0, eager = ot.stransform(x, 32.0, **kw)
    np.testing.assert_array_equal(f, f0)
    np.testing.assert_array_equal(t, t0)
    np.testing.assert_array_equal(lazy.compute(), eager)
    power_kw = kw if power_kw is None else power_kw
    _, _, p, i = ot.tfr_power(da.from_array(x[:, None], chunks=(4, 1, 128)), 32.0, **power_kw)
    _, _, p0, i0 = ot.tfr_power(x[:, None], 32.0, **power_kw)
    np.testing.assert_array_equal(p.compute(), p0)
    np.testing.assert_array_equal(i.compute(), i0)


@pytest.mark.parametrize("name", list(SHAPED))
def test_voices_in_groups_are_the_voices_at_once(name, monkeypatch):
    from orbelix_tools import _transforms
    x = np.stack([signal(300, i) for i in range(3)])
    kw = dict(fmin=2.0, fmax=30.0, window=ALL[name], decim=3, scaling="density")
    whole = ot.stransform(x, 100.0, **kw)[2]
    power = ot.tfr_power(x, 100.0, **kw)
    monkeypatch.setattr(_transforms, "_WEIGHT_BUDGET", 8 * 151 * 5)  # five voices a group
    assert len(_transforms._voice_groups(_transforms.parse_window(ALL[name], 1.0),
                                         _transforms.voice_grid(300, 100.0, 2.0, 30.0, None, 3, 1.0))) == 17
    np.testing.assert_array_equal(ot.stransform(x, 100.0, **kw)[2], whole)
    for a, b in zip(ot.tfr_power(x, 100.0, **kw), power):
        np.testing.assert_array_equal(a, b)


# ---- refusals --------------------------------------------------------------

W, F, P = (64, 16.0), (500, 100.0), (100, 10.0)  # (n, fs) of the signal refused


@pytest.mark.parametrize("signal_of,kw,error,match", [
    (W, dict(window=("gauss",)), ValueError, r"window 'gauss' takes 1 parameter \(gamma\), not 0"),
    (W, dict(window=("bigauss", 1.0)), ValueError,
     r"takes 2 parameters \(gamma_front, gamma_back\), not 1"),
    (W, dict(window=("boxcar", 1.0)), ValueError, "window name 'boxcar' is not one of"),
    (W, dict(window=("bigauss", 1.0, -2.0)), ValueError,
     "gamma_back=-2.0 must be finite and positive"),
    (W, dict(window=("hyperbolic", 1.0, 2.0, -0.1)), ValueError,
     "lam=-0.1 must be finite and not negative"),
    (W, dict(window=("gauss_power", 1.0, math.inf)), ValueError, "p=inf must be finite"),
    (W, dict(window="gauss"), TypeError, "window must be a tuple"),
    (W, dict(window=(1.0, "gauss")), TypeError, "window must be a tuple"),
    (W, dict(window=lambda v: np.ones(3)), ValueError, "callable must return numbers of the shape"),
    (W, dict(window=lambda v: 1 / 0), ValueError, "the callable failed"),
    (W, dict(width=2.0, window=("gauss", 2.0)), ValueError, "width=2.0 and window=.* both given"),
    (W, dict(fmin=1.0, window=("gauss_power", 1e-17, 16)), ValueError,
     "gives the voice at .* Hz a width"),
    (F, dict(freqs=[10.0, 10.05]), ValueError,
     r"freqs\[0\]=10.0 and freqs\[1\]=10.05 Hz round to the same bin 50"),
    (F, dict(freqs=[5.0, 4.0]), ValueError,
     r"freqs must increase: freqs\[1\]=4.0 follows freqs\[0\]=5.0"),
    (F, dict(freqs=[1.0, 60.0]), ValueError, r"freqs\[1\]=60.0 is outside 0 .. fs/2=50.0 Hz"),
    (F, dict(freqs=[]), ValueError, "freqs must be a non-empty 1-D sequence"),
    (F, dict(freqs=["a"]), TypeError, "freqs has dtype <U1"),
    (F, dict(freqs=7.0), TypeError, "freqs must be a sequence"),
    (F, dict(freqs=[10.0], fmax=20.0), ValueError, "give either freqs or a band"),
    (F, dict(scaling="psd"), ValueError, "scaling='psd' is not one of 'amplitude', 'density'"),
    (P, dict(pad="mirror"), ValueError, "pad='mirror' is not one of 'none', 'reflect', 'zeros'"),
    (P, dict(n_fft=99), ValueError, "n_fft=99 is shorter than the signal"),
    (P, dict(n_fft=200), ValueError, "n_fft=200 > n=100 needs pad='zeros' or pad='reflect'"),
])
def test_bad_arguments_are_refused(signal_of, kw, error, match):
    n, fs = signal_of
    with pytest.raises(error, match=match):
        ot.stransform(signal(n), fs, **kw)
