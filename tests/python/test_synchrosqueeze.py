"""orbelix_tools.sstransform and isstransform: the instantaneous frequency
against a float64 reference, the squeezed map against a float64 squeeze,
tone amplitudes for every window, round trips, concentration, the
threshold, worker counts bit for bit, and the arguments refused."""

import re

import numpy as np
import pytest

import orbelix_tools as ot
from references import instantaneous_frequency as reference_frequency
from references import renyi_entropy, voices


def fm_signal(n, seed=0):
    """A periodic two-component signal: a sinusoidal FM around bin n/8 and
    a tone at bin 3n/8 of amplitude 0.5 (no jump at the circle's seam)."""
    j = np.arange(n)
    phase = 2 * np.pi * (n // 8) * j / n + 6.0 * np.sin(2 * np.pi * 3 * j / n)
    return np.cos(phase) + 0.5 * np.cos(2 * np.pi * (3 * n // 8) * j / n + 0.3)


def chirps(n, fs):
    """Two linear chirps crossing mid-way, as a float64 array, and their
    instantaneous frequencies."""
    t = np.arange(n) / fs
    dur = n / fs
    f1 = 0.1 * fs + 0.25 * fs * t / dur
    f2 = 0.35 * fs - 0.25 * fs * t / dur
    x = np.cos(2 * np.pi * np.cumsum(f1) / fs) + 0.8 * np.cos(2 * np.pi * np.cumsum(f2) / fs)
    return x, f1, f2


class TestInstantaneousFrequency:
    @pytest.mark.parametrize("decim", [1, 4, 3])
    def test_against_float64_derivative(self, decim):
        n = 240
        rng = np.random.default_rng(1)
        x = rng.standard_normal(n)
        f, t, w = ot.instantaneous_frequency(x, 1.0, fmin=5 / n, fmax=100 / n, decim=decim)
        bins = np.arange(5, 101)
        omega, s = reference_frequency(x, bins)
        strong = np.abs(s[:, ::decim]) > 1e-2 * np.abs(s).max()
        got = w.astype(np.float64) * n
        assert np.isfinite(got[strong]).all()
        assert np.abs(got - omega[:, ::decim])[strong].max() < 2e-3

    def test_tone_off_bin_every_window(self):
        n, fs = 1024, 256.0
        x = np.cos(2 * np.pi * 10.3 * np.arange(n) / fs)
        for window in [None, ("gauss", 2.0), ("gauss_power", 1.0, 0.7), ("bigauss", 1.0, 2.0)]:
            f, t, w = ot.instantaneous_frequency(x, fs, fmin=8.0, fmax=12.0, window=window)
            mid = slice(n // 4, 3 * n // 4)
            near = np.abs(f - 10.3) < 0.6
            assert np.abs(w[near][:, mid] - 10.3).max() < 1e-3, window

    def test_below_threshold_is_nan(self):
        x = np.zeros(64)
        x[10] = 1.0
        f, t, w = ot.instantaneous_frequency(x, fmin=0.1, fmax=0.3, gamma=1e9)
        assert np.isnan(w).all()


def squeeze_reference(x, bins, omega_bins, gamma, n):
    """The squeezed map in float64 from S, the destinations of omega, the
    weights dk/k and the normalisation computed here from the windows."""
    s = voices(x, bins, absolute=True)
    count = len(bins)
    k = np.asarray(bins, dtype=np.float64)
    dest = np.floor(omega_bins - k[0] + 0.5).astype(np.int64)
    keep = (np.abs(s) >= gamma) & (dest >= 0) & (dest < count) & np.isfinite(omega_bins)
    g = 1.0 / k
    out = np.zeros((count, n), np.complex128)
    for i in range(count):
        for j in np.flatnonzero(keep[i]):
            out[dest[i, j], j] += g[i] * s[i, j]
    c = 2 * np.pi**2
    r = np.array([(g * np.exp(-c * (b - k) ** 2 / k**2)).sum() for b in k])
    return out / r[:, None]


class TestSqueezedMap:
    def test_against_float64_squeeze(self):
        n = 256
        x = fm_signal(n)
        bins = np.arange(8, 121)
        f, t, T = ot.sstransform(x, fmin=8 / n, fmax=120 / n)
        omega, s = reference_frequency(x, bins)
        gamma = ot._synchrosqueeze.DEFAULT_GAMMA * np.abs(np.fft.rfft(x) / n * 2).sum()
        want = squeeze_reference(x, bins, omega, gamma, n)
        err = np.abs(T - want)
        # Coefficients whose frequency lies a rounding error from the middle
        # between two voices may go either way.
        assert np.mean(err > 1e-4) < 2e-3
        assert np.abs(T.sum(axis=0) - want.sum(axis=0)).max() < 1e-2

    @pytest.mark.parametrize("window", [None, ("gauss", 0.8), ("gauss_power", 1.0, 0.8),
                                        ("bigauss", 1.0, 1.5), ("hyperbolic", 1.5, 1.5, 0.3)])
    def test_tone_amplitude_and_phase(self, window):
        n, fs = 2048, 512.0
        time = np.arange(n) / fs
        x = 1.5 * np.cos(2 * np.pi * 40.0 * time + 0.4)
        f, t, T = ot.sstransform(x, fs, fmin=10.0, fmax=120.0, window=window)
        row = int(np.argmin(np.abs(f - 40.0)))
        mid = slice(n // 4, 3 * n // 4)
        assert np.abs(np.abs(T[row, mid]) - 1.5).max() < 2e-3
        assert np.abs(np.angle(T[row, mid] * np.exp(-2j * np.pi * 40.0 * time[mid]))
                      - 0.4).max() < 2e-3
        others = np.delete(np.abs(T[:, mid]), row, axis=0)
        assert others.max() < 1e-2

    def test_sharper_than_stransform(self):
        # Renyi entropy (alpha 3) of the squeezed map at least 2 bits below
        # that of |S| for crossing chirps and a sinusoidal FM.
        n, fs = 2048, 1.0
        x, _, _ = chirps(n, fs)
        x = x + fm_signal(n)
        f, t, T = ot.sstransform(x, fs, fmin=0.02, fmax=0.48)
        _, _, S = ot.stransform(x, fs, fmin=0.02, fmax=0.48)
        assert renyi_entropy(T) < renyi_entropy(S) - 2.0

    def test_decimated_equals_sampled(self):
        n = 512
        x = fm_signal(n)
        full = ot.sstransform(x, fmin=0.05, fmax=0.45)[2]
        for decim in (4, 3):
            f, t, T = ot.sstransform(x, fmin=0.05, fmax=0.45, decim=decim)
            assert T.shape == (full.shape[0], -(-n // decim))
            assert np.abs(T - full[:, ::decim]).max() < 1e-3 * np.abs(full).max()

    def test_batches_axes_and_strides(self):
        n = 256
        rng = np.random.default_rng(3)
        x = rng.standard_normal((3, n, 2))
        f, t, T = ot.sstransform(x, fmin=0.1, fmax=0.4, axis=1)
        assert T.shape == (3, 2, f.size, n)
        one = ot.sstransform(np.ascontiguousarray(x[1, :, 0]), fmin=0.1, fmax=0.4)[2]
        assert np.array_equal(T[1, 0], one)
        f2, t2, T2 = ot.sstransform(x.astype(np.float32)[::-1], fmin=0.1, fmax=0.4, axis=-2)
        assert np.array_equal(T2[::-1][2, 1],
                              ot.sstransform(x[2, :, 1].astype(np.float32), fmin=0.1, fmax=0.4)[2])

    def test_frequency_list_and_steps(self):
        n, fs = 1024, 256.0
        x = np.cos(2 * np.pi * 40.0 * np.arange(n) / fs)
        f, t, T = ot.sstransform(x, fs, freqs=[20.0, 30.0, 38.0, 40.0, 41.0, 60.0])
        assert np.array_equal(f, [20.0, 30.0, 38.0, 40.0, 41.0, 60.0])
        assert np.abs(np.abs(T[3, 256:768]) - 1).max() < 5e-3
        f, t, T = ot.sstransform(x, fs, fmin=20.0, fmax=60.0, df=1.0)
        assert f[1] - f[0] == 1.0
        row = int(np.argmin(np.abs(f - 40.0)))
        assert np.abs(np.abs(T[row, 256:768]) - 1).max() < 5e-3


class TestInverse:
    @pytest.mark.parametrize("decim", [1, 2])
    def test_two_components_round_trip(self, decim):
        n = 2048
        x = fm_signal(n)
        f, t, T = ot.sstransform(x, decim=decim)
        y = ot.isstransform(f, T, n)
        want = x[::decim]
        assert np.abs(y - want).max() / np.abs(want).max() < 1e-3

    def test_chirps_round_trip_away_from_the_ends(self):
        n, fs = 4096, 1000.0
        x, _, _ = chirps(n, fs)
        mid = slice(n // 8, -n // 8)
        # Gaussians of width 2 keep the chirps apart except where they cross:
        # 1e-3 throughout, the crossing included.
        f, t, T = ot.sstransform(x, fs, window=("gauss", 2.0))
        y = ot.isstransform(f, T, n, fs=fs)
        assert np.abs(y - x)[mid].max() / np.abs(x).max() < 1e-3
        # Width 1 windows reach from one chirp to the other: their mixed
        # coefficients are moved to voices whose normalisation differs a
        # little from their own.
        f, t, T = ot.sstransform(x, fs)
        y = ot.isstransform(f, T, n, fs=fs)
        assert np.abs(y - x)[mid].max() / np.abs(x).max() < 1e-2

    def test_mask_keeps_one_component_and_axis(self):
        n = 2048
        j = np.arange(n)
        low = np.cos(2 * np.pi * 200 * j / n)
        high = 0.5 * np.cos(2 * np.pi * 700 * j / n)
        x = np.stack([low + high, high])
        f, t, T = ot.sstransform(x, fmin=0.0, fmax=0.5)
        y = ot.isstransform(f, T, n, mask=(f < 0.25)[:, None], axis=0)
        assert y.shape == (n, 2) and y.dtype == np.float32
        assert np.abs(y[:, 0] - low).max() < 1e-3
        assert np.abs(y[:, 1]).max() < 1e-3

    def test_bad_arguments(self):
        n = 64
        f, t, T = ot.sstransform(np.cos(np.arange(n)), fmin=0.1, fmax=0.4)
        cases = [
            ((f, np.abs(T), n), {}, TypeError, "T has dtype float32"),
            ((f, T, 65), {}, ValueError, "is not the frequency k*fs/n"),
            ((f[1:], T, n), {}, ValueError, "T has 21 voices (axis -2) but f has 20"),
            ((f, T[:, :30], n), {}, ValueError, "T has 30 time samples"),
            ((f, T, n), {"mask": np.ones(3)}, TypeError, "mask has dtype float64"),
            ((f, T, n), {"mask": np.ones((3, 1), bool)}, ValueError, "does not broadcast"),
            ((f, T, 0), {}, ValueError, "n=0 must be a positive"),
            ((f, T, n), {"axis": 2}, ValueError, "axis=2 is out of range"),
        ]
        for args, kwargs, error, message in cases:
            with pytest.raises(error, match=re.escape(message)):
                ot.isstransform(*args, **kwargs)
        bad = T.copy()
        bad[3, 5] = np.nan
        with pytest.raises(ValueError, match=re.escape("T[3, 5]=")):
            ot.isstransform(f, bad, n)


class TestThreshold:
    def test_noise_against_explicit_threshold(self):
        # Only coefficients with |S| >= gamma are moved: with gamma at 60% of
        # the largest |S| of white noise, the sum of the squeezed map over
        # voices is the sum of the kept coefficients' weighted values.
        n = 512
        x = np.random.default_rng(7).standard_normal(n)
        bins = np.arange(20, 201)
        s = voices(x, bins, absolute=True)
        gamma = 0.6 * np.abs(s).max()
        f, t, T = ot.sstransform(x, fmin=20 / n, fmax=200 / n, gamma=gamma)
        kept = np.abs(s) >= gamma
        assert np.count_nonzero(T) <= np.count_nonzero(kept)
        empty = ~kept.any(axis=0)
        assert empty.any() and not T[:, empty].any()
        # Raising gamma only removes coefficients.
        f, t, T2 = ot.sstransform(x, fmin=20 / n, fmax=200 / n, gamma=0.9 * np.abs(s).max())
        assert np.count_nonzero(T2) < np.count_nonzero(T)

    def test_default_threshold_on_silence_and_noise(self):
        f, t, T = ot.sstransform(np.zeros(128), fmin=0.1, fmax=0.4)
        assert not T.any()
        x = np.random.default_rng(2).standard_normal(1024)
        f, t, T = ot.sstransform(x)
        assert np.isfinite(T).all()
        # Without a threshold every coefficient within the band is moved, so
        # the default only leaves out what rounding error alone gives.
        exact = ot.sstransform(x, gamma=0.0)[2]
        assert np.abs(T - exact).max() < 1e-4 * np.abs(exact).max()
        too_high = ot.sstransform(x, gamma=1e6)[2]
        assert not too_high.any()


class TestWorkers:
    @pytest.mark.parametrize("decim", [1, 4, 3])
    def test_one_signal_bit_for_bit(self, decim):
        x = fm_signal(1000)
        one = ot.sstransform(x, fmin=0.05, fmax=0.45, decim=decim)[2]
        for workers in (2, 3):
            assert np.array_equal(one, ot.sstransform(x, fmin=0.05, fmax=0.45, decim=decim,
                                                      workers=workers)[2])

    def test_batch_bit_for_bit(self):
        x = np.random.default_rng(5).standard_normal((9, 300))
        one = ot.sstransform(x, fmin=0.05, fmax=0.45)[2]
        assert np.array_equal(one, ot.sstransform(x, fmin=0.05, fmax=0.45, workers=2)[2])
        assert np.array_equal(one[4], ot.sstransform(x[4], fmin=0.05, fmax=0.45, workers=3)[2])

    def test_instantaneous_frequency_bit_for_bit(self):
        x = fm_signal(512)
        one = ot.instantaneous_frequency(x, fmin=0.1, fmax=0.3)[2]
        assert np.array_equal(one, ot.instantaneous_frequency(x, fmin=0.1, fmax=0.3,
                                                              workers=2)[2], equal_nan=True)


class TestArguments:
    def test_refused_with_their_names(self):
        x = np.cos(np.arange(64))
        cases = [
            ({"gamma": -1.0}, ValueError, "gamma=-1.0 must be finite and not negative"),
            ({"gamma": float("nan")}, ValueError, "gamma=nan must be finite"),
            ({"gamma": "big"}, TypeError, "gamma must be a real number"),
            ({"gamma": 1e39}, ValueError, "gamma=1e+39 is beyond single precision"),
            ({"fmax": 0.6}, ValueError, "fmax=0.6 is above the Nyquist frequency"),
            ({"fmin": 0.3, "fmax": 0.2}, ValueError, "fmin=0.3 is above fmax=0.2"),
            ({"decim": 0}, ValueError, "decim=0 must be a positive integer"),
            ({"workers": 0}, ValueError, "workers=0 must be a count"),
            ({"axis": 1}, ValueError, "axis=1 is out of range"),
            ({"window": ("box", 1.0)}, ValueError, "window name 'box' is not one of"),
            ({"freqs": [0.1, 0.1]}, ValueError, "freqs must increase"),
            ({"df": -1.0}, ValueError, "df=-1.0 must be finite and positive"),
        ]
        for kwargs, error, message in cases:
            with pytest.raises(error, match=re.escape(message)):
                ot.sstransform(x, **kwargs)
        with pytest.raises(ValueError, match=re.escape("x[3]=nan is not finite")):
            ot.sstransform(np.where(np.arange(64) == 3, np.nan, 1.0))
        with pytest.raises(TypeError, match="x has dtype <U1"):
            ot.sstransform(np.array(["a", "b"]))
        with pytest.raises(ValueError, match="x is empty"):
            ot.sstransform(np.zeros(0))

    def test_window_off_centre_refused(self):
        # The hyperbolic window of unequal widths is centred away from the
        # analysis time: its voices turn in phase and cancel in the sum.
        with pytest.raises(ValueError, match=re.escape(
                "window=('hyperbolic', 1.0, 2.0, 0.3): the voices of this window cancel")):
            ot.sstransform(np.cos(np.arange(2048)), 512.0, fmin=10.0, fmax=120.0,
                           window=("hyperbolic", 1.0, 2.0, 0.3))

    def test_memory_error_before_allocating(self):
        x = np.broadcast_to(np.zeros(1, np.float32), (2**22, 2**12))
        with pytest.raises(MemoryError, match="GB"):
            ot.sstransform(x, fmin=0.0, fmax=0.5)

    def test_input_untouched(self):
        x = fm_signal(256)
        before = x.copy()
        ot.sstransform(x, workers=2)
        assert np.array_equal(x, before)


class TestDask:
    def test_lazy_on_leading_axes_and_equal_to_eager(self):
        da = pytest.importorskip("dask.array")
        x = np.random.default_rng(0).standard_normal((6, 512))
        lazy = da.from_array(x, chunks=(2, 256))
        f, t, T = ot.sstransform(lazy, 100.0, fmin=5.0, fmax=40.0, decim=2)
        assert isinstance(T, da.Array) and T.chunks[0] == (2, 2, 2)
        want = ot.sstransform(x, 100.0, fmin=5.0, fmax=40.0, decim=2)
        assert np.array_equal(f, want[0]) and np.array_equal(t, want[1])
        assert np.array_equal(T.compute(), want[2])
        with pytest.raises(ValueError, match="gamma=-1 must be finite"):
            ot.sstransform(lazy, 100.0, gamma=-1)


SQUEEZE_DIGESTS = r"""
import hashlib, json
import numpy as np
import orbelix_tools as ot

rng = np.random.default_rng(4)
out = {}
for n in (250, 1024, 1031):
    x = rng.standard_normal((2, n))
    for name, kwargs in (("band", dict(fmin=4.0, fmax=60.0, decim=3)),
                         ("folded", dict(fmin=2.0, fmax=100.0, decim=2 if n % 2 == 0 else 1)),
                         ("power window", dict(fmax=80.0, window=("gauss_power", 1.0, 0.8)))):
        T = ot.sstransform(x, 250.0, **kwargs)[2]
        out[f"{name} {n}"] = hashlib.sha256(T.tobytes()).hexdigest()
print(json.dumps({"path": ot.simd_path(), "digests": out}))
"""


@pytest.mark.slow
def test_every_simd_path_gives_the_portable_bytes():
    import json
    import os
    import subprocess
    import sys

    from cpu_paths import wide_paths

    def run(simd):
        env = {**os.environ, "ORBELIX_SIMD": simd}
        done = subprocess.run([sys.executable, "-c", SQUEEZE_DIGESTS], env=env,
                              capture_output=True, text=True, timeout=600)
        assert done.returncode == 0, done.stderr
        report = json.loads(done.stdout)
        assert report["path"] == simd
        return report["digests"]

    portable = run("sse2")
    assert len(set(portable.values())) == len(portable)
    for simd in wide_paths():
        assert run(simd) == portable, simd
