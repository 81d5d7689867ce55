"""1-D DOST: float64 references, unitarity, round trips, bands, batches, workers
and strict input."""
import numpy as np
import pytest

from dost_reference import bands, dost as ref_dost, rel_rms
from orbelix_tools import dost, dost_bands, idost

SIZES = [1, 2, 3, 4, 5, 7, 8, 12, 16, 17, 31, 64, 97, 100, 127, 128, 1000, 1021, 4096, 4099]


@pytest.mark.parametrize("n", SIZES)
def test_against_float64_reference_and_round_trip(n):
    rng = np.random.default_rng(n)
    x = rng.standard_normal(n) + 1j * rng.standard_normal(n)
    c = dost(x)
    assert c.dtype == np.complex64 and c.shape == (n,)
    ref = ref_dost(x)
    assert rel_rms(c, ref) < 1e-6
    # Unitary: energy kept, and the inverse gives the signal back.
    assert np.sum(np.abs(ref) ** 2) == pytest.approx(np.sum(np.abs(x) ** 2), rel=1e-12)
    assert np.sum(np.abs(c.astype(np.complex128)) ** 2) == pytest.approx(
        np.sum(np.abs(x) ** 2), rel=2e-6)
    assert rel_rms(idost(c), x) < 1e-6
    # The inverse of the exact coefficients, too (not just undoing our rounding).
    assert rel_rms(idost(ref), x) < 1e-6


@pytest.mark.parametrize("n", [6, 9, 16, 33, 250])
def test_real_signals_have_the_spectrum_symmetry(n):
    x = np.random.default_rng(n).standard_normal(n)
    c = dost(x).astype(np.complex128)
    mirror = c[(-np.arange(n)) % n]
    assert np.max(np.abs(mirror - np.conj(c))) < 1e-6 * np.max(np.abs(c))
    assert rel_rms(idost(c).real, x) < 1e-6
    assert np.max(np.abs(idost(c).imag)) < 1e-5


def test_a_wave_in_one_band_only_fills_that_band():
    n, f = 256, 40  # bin 40 lies in the octave 32 .. 63
    x = np.exp(2j * np.pi * f * np.arange(n) / n)
    c = dost(x)
    band = next(b for b in dost_bands(n) if b.fmin <= f / n <= b.fmax)
    inside = np.zeros(n, bool)
    inside[band.slice] = True
    assert np.max(np.abs(c[~inside])) < 1e-5
    # Constant magnitude over the band's places: sqrt(n / width) each.
    assert np.allclose(np.abs(c[band.slice]), np.sqrt(n / band.width), rtol=1e-5)


@pytest.mark.parametrize("n", [1, 2, 7, 10, 64, 100])
def test_bands_partition_the_coefficients(n):
    fs = 250.0
    got = dost_bands(n, fs)
    assert [(b.first, b.width, b.negative) for b in got] == [
        (b, w, neg) for b, w, neg in bands(n)]
    seen = np.zeros(n, int)
    for b in got:
        idx = np.arange(n)[b.slice]
        assert len(idx) == b.width == len(b.times)
        seen[idx] += 1
        assert b.fmin <= b.centre <= b.fmax
        assert b.fmax - b.fmin == pytest.approx((b.width - 1) * fs / n)
        assert np.allclose(b.times, np.arange(b.width) * n / b.width / fs)
    assert np.all(seen == 1)
    # The band's frequencies, in Hz, are those of the positions it holds.
    freqs = np.fft.fftfreq(n, 1 / fs)
    if n % 2 == 0:
        freqs[n // 2] = fs / 2  # the Nyquist band counts as positive
    for b in got:
        pos = np.arange(n)[b.slice]
        assert np.isclose(freqs[pos].min(), b.fmin) and np.isclose(freqs[pos].max(), b.fmax)


def test_times_locate_a_click():
    n = 512
    x = np.zeros(n)
    x[300] = 1.0
    c = dost(x)
    for b in dost_bands(n):
        if b.width >= 8:
            peak = b.times[np.argmax(np.abs(c[b.slice]))]
            assert abs(peak - 300) <= n / b.width / 2 + 1e-9


def test_batches_axes_and_workers():
    rng = np.random.default_rng(5)
    x = rng.standard_normal((3, 101, 4)).astype(np.float32)
    c = dost(x, axis=1)
    assert c.shape == x.shape
    loop = np.stack([np.stack([dost(x[i, :, j]) for j in range(4)], axis=-1) for i in range(3)])
    assert np.array_equal(c, loop)
    assert np.array_equal(dost(x, axis=1, workers=3), c)
    assert np.array_equal(idost(c, axis=1, workers=2), idost(c, axis=1))
    assert np.array_equal(dost(x.astype(np.float64), axis=-2), dost(x.astype(np.float64), axis=1))


def test_input_is_not_modified_and_integers_are_taken():
    x = np.arange(20)
    keep = x.copy()
    c = dost(x)
    assert np.array_equal(x, keep)
    assert rel_rms(c, ref_dost(x)) < 1e-6


@pytest.mark.parametrize("call, exc, message", [
    (lambda: dost(np.zeros(0)), ValueError, "x is empty along axis=-1"),
    (lambda: dost(np.array([1.0, np.nan])), ValueError, "x[1]=nan is not finite"),
    (lambda: dost(np.array([1.0, 1e39])), ValueError, "beyond single precision"),
    (lambda: dost(np.zeros(4), axis=1), ValueError, "axis=1 is out of range"),
    (lambda: dost(np.zeros(4), axis=1.0), TypeError, "axis must be an integer"),
    (lambda: dost(np.array(["a"])), TypeError, "x has dtype <U1"),
    (lambda: dost(np.float64(1.0)), ValueError, "x is a scalar"),
    (lambda: dost(np.zeros(4), workers=0), ValueError, "workers=0"),
    (lambda: idost(np.zeros((2, 0))), ValueError, "c is empty"),
    (lambda: idost(np.array([1j, np.inf])), ValueError, "c[1]=(inf+0j) is not finite"),
    (lambda: dost_bands(0), ValueError, "n=0 must be at least 1"),
    (lambda: dost_bands(4, fs=-1.0), ValueError, "fs=-1.0 must be finite and positive"),
    (lambda: dost_bands(4.0), TypeError, "n must be an integer"),
])
def test_bad_input(call, exc, message):
    with pytest.raises(exc) as info:
        call()
    assert message in str(info.value)


def test_memory_error_states_the_size(monkeypatch):
    from orbelix_tools import _arrays, _dost
    monkeypatch.setattr(_arrays, "_memory_bytes", lambda: 1000)
    monkeypatch.setattr(_dost, "_SMALL", 0)  # small inputs skip asking the system
    with pytest.raises(MemoryError, match=r"the transform of shape \(200,\) \(complex64\) needs 1.6e-06 GB"):
        dost(np.zeros(200))


SIMD_DIGEST = """
import hashlib, sys
import numpy as np
import orbelix_tools as ot
rng = np.random.default_rng(11)
digest = hashlib.sha256()
for n in (64, 250, 1000, 1031, 4099):
    x = rng.standard_normal((2, n)) + 1j * rng.standard_normal((2, n))
    digest.update(ot.dost(x).tobytes())
    digest.update(ot.idost(x).tobytes())
for shape in ((48, 80), (61, 64), (100, 37)):
    g = rng.standard_normal(shape).astype(np.float32)
    digest.update(ot.dost2(g).tobytes())
    digest.update(ot.idost2(g.astype(np.complex64)).tobytes())
    for output in ("dominant", "octaves"):
        for a in ot.local_spectrum(g, output=output):
            digest.update(np.ascontiguousarray(a).tobytes())
print(ot.simd_path(), digest.hexdigest())
"""


def test_every_simd_path_gives_the_same_bytes():
    import os
    import subprocess
    import sys

    from cpu_paths import wide_paths

    digests = set()
    for simd in ["sse2"] + wide_paths():
        env = {**os.environ, "ORBELIX_SIMD": simd}
        done = subprocess.run([sys.executable, "-c", SIMD_DIGEST], env=env, capture_output=True,
                              text=True, timeout=300)
        assert done.returncode == 0, done.stderr
        path, digest = done.stdout.split()
        assert path == simd
        digests.add(digest)
    assert len(digests) == 1
