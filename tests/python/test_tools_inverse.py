"""orbelix_tools.istransform: round trips of band-limited signals for both
phase conventions and any length, masked transforms against a float64
reference, batches and axes, and the transforms it refuses."""

import re
import textwrap
from pathlib import Path

import numpy as np
import pytest

import orbelix_tools as ot
from references import analytic_spectrum

README = Path(__file__).resolve().parents[2] / "README.md"


def band_limited(n, lo, hi, shape=(), seed=0):
    """Real signals whose spectrum lies on bins lo .. hi (and their mirrors)."""
    rng = np.random.default_rng(seed)
    spectrum = np.zeros(shape + (n,), dtype=np.complex128)
    bins = np.arange(lo, hi + 1)
    spectrum[..., bins] = rng.standard_normal(shape + bins.shape) + 1j * rng.standard_normal(shape + bins.shape)
    if lo == 0:
        spectrum[..., 0] = spectrum[..., 0].real
    if n % 2 == 0 and hi == n // 2:
        spectrum[..., n // 2] = spectrum[..., n // 2].real
    spectrum[..., n - bins[bins > 0]] = np.conj(spectrum[..., bins[bins > 0]])
    return np.fft.ifft(spectrum, axis=-1).real


def rel(a, b):
    return float(np.linalg.norm(a - b) / np.linalg.norm(b))


@pytest.mark.parametrize("n,fs,lo,hi", [
    (1000, 250.0, 12, 160),    # 3 .. 40 Hz
    (999, 100.0, 0, 499),      # odd, the full band with the mean
    (256, 1.0, 100, 128),      # up to the Nyquist bin
    (97, 2.0, 5, 30),          # prime
    (1, 1.0, 0, 0),
])
@pytest.mark.parametrize("phase", ["local", "absolute"])
def test_round_trip_of_band_limited_signals(n, fs, lo, hi, phase):
    x = band_limited(n, lo, hi).astype(np.float32)
    f, t, s = ot.stransform(x, fs, fmin=lo * fs / n, fmax=hi * fs / n, phase=phase)
    before = s.copy()
    y = ot.istransform(f, s, n, fs=fs, phase=phase)
    assert y.dtype == np.float32 and y.shape == (n,)
    assert rel(y, x) < 1e-5
    np.testing.assert_array_equal(s, before)


def test_round_trip_keeps_only_the_band():
    n, fs = 800, 200.0
    x = band_limited(n, 0, 400, seed=4)
    f, t, s = ot.stransform(x, fs, fmin=10.0, fmax=30.0)
    want = band_limited(n, 0, 400, seed=4)  # same signal; keep bins 40 .. 120 only
    spectrum = np.fft.fft(want)
    keep = np.zeros(n, bool)
    keep[40:121] = True
    keep[n - 120:n - 39] = True
    assert rel(ot.istransform(f, s, n, fs=fs), np.fft.ifft(spectrum * keep).real) < 1e-5


@pytest.mark.parametrize("phase", ["local", "absolute"])
def test_masked_transform_against_float64_inverse(phase):
    # The inverse of any coefficients (not only a transform's) is defined by
    # their time sums: check a masked transform against that, in float64.
    n, fs = 600, 100.0
    x = band_limited(n, 0, 300, seed=5).astype(np.float32)
    f, t, s = ot.stransform(x, fs, fmin=5.0, fmax=20.0, phase=phase)
    s[:, (t > 1.5) & (t < 4.0)] = 0
    s[f > 15.0, :200] = 0
    k = np.rint(f * n / fs).astype(int)
    coef = s.astype(np.complex128)
    if phase == "absolute":
        coef = coef * np.exp(-2j * np.pi * ((k[:, None] * np.arange(n)) % n) / n)
    half = np.zeros(n, np.complex128)
    half[k] = coef.sum(axis=1) / n
    half[1:(n + 1) // 2] /= 2
    spectrum = half.copy()
    spectrum[n // 2 + 1:] = np.conj(half[1:(n + 1) // 2][::-1])
    want = np.fft.ifft(spectrum).real * n
    assert rel(ot.istransform(f, s, n, fs=fs, phase=phase), want) < 1e-6


def test_complex_signal_gives_the_real_signal_of_its_positive_bins():
    n = 128
    rng = np.random.default_rng(6)
    x = (rng.standard_normal(n) + 1j * rng.standard_normal(n)).astype(np.complex64)
    f, t, s = ot.stransform(x)
    a = analytic_spectrum(x)  # bins 1 .. n/2 doubled
    spectrum = a.copy()
    spectrum[1:n // 2] /= 2
    spectrum[0] = spectrum[0].real
    spectrum[n // 2] = spectrum[n // 2].real
    spectrum[n // 2 + 1:] = np.conj(spectrum[1:n // 2][::-1])
    assert rel(ot.istransform(f, s, n), np.fft.ifft(spectrum).real * n) < 1e-5


@pytest.mark.parametrize("n,lo,hi", [(97, 0, 48), (97, 7, 30), (128, 50, 64)])
@pytest.mark.parametrize("phase", ["local", "absolute"])
def test_complex_signal_over_a_band_at_odd_and_even_lengths(n, lo, hi, phase):
    # Bins lo .. hi of the complex signal's DFT, mirrored; 0 Hz and fs/2 real.
    rng = np.random.default_rng(n + lo)
    x = (rng.standard_normal(n) + 1j * rng.standard_normal(n)).astype(np.complex64)
    f, t, s = ot.stransform(x, fmin=lo / n, fmax=hi / n, phase=phase)
    dft = np.fft.fft(x.astype(np.complex128))
    spectrum = np.zeros(n, np.complex128)
    for k in range(lo, hi + 1):
        value = dft[k]
        if k == 0 or 2 * k == n:
            spectrum[k] = value.real
        else:
            spectrum[k], spectrum[n - k] = value, np.conj(value)
    assert rel(ot.istransform(f, s, n, phase=phase), np.fft.ifft(spectrum).real) < 1e-5


@pytest.mark.parametrize("axis", [0, 1, -1])
def test_batches_and_axes(axis):
    n = 240
    x = np.moveaxis(band_limited(n, 10, 60, shape=(3, 2), seed=7), -1, axis).astype(np.float32)
    f, t, s = ot.stransform(x, 24.0, fmin=1.0, fmax=6.0, axis=axis)
    y = ot.istransform(f, s, n, fs=24.0, axis=axis, workers=2)
    assert y.shape == x.shape and rel(y, x) < 1e-5
    np.testing.assert_array_equal(y, ot.istransform(f, s, n, fs=24.0, axis=axis, workers=1))


def test_coefficients_in_any_layout():
    # Strided, complex128, a field of records and an odd address: the same
    # signal as from the dense complex64 transform.
    n = 120
    x = band_limited(n, 5, 40, seed=9).astype(np.float32)
    f, t, s = ot.stransform(x, fmin=5 / n, fmax=40 / n)
    want = ot.istransform(f, s, n)
    records = np.zeros(s.shape, dtype=[("s", "c8"), ("flag", "i2")])
    records["s"] = s
    raw = np.zeros(s.nbytes + 1, np.uint8)
    odd = np.ndarray(s.shape, np.complex64, buffer=raw, offset=1)
    odd[...] = s
    wide = np.zeros((s.shape[0], 2 * n), np.complex64)
    wide[:, ::2] = s
    for layout in (wide[:, ::2], s.astype(np.complex128), records["s"], odd):
        np.testing.assert_array_equal(ot.istransform(f, layout, n), want)


def test_refuses_transforms_that_cannot_be_inverted():
    n = 400
    x = band_limited(n, 0, 200, seed=8)
    f, t, s = ot.stransform(x, 100.0, fmin=2.0, fmax=20.0, decim=4)
    with pytest.raises(ValueError, match=r"S has 100 time samples but n=400: a decimated transform \(decim=4\?\) cannot be inverted"):
        ot.istransform(f, s, n, fs=100.0)
    f, t, s = ot.stransform(x, 100.0, fmin=2.0, fmax=20.0)
    # Fewer times than n that no decim gives, and axes swapped: no decim is
    # suggested.
    with pytest.raises(ValueError, match=r"^S has 400 time samples \(axis -1\) but n=401$"):
        ot.istransform(f, s, n + 1, fs=100.0)
    with pytest.raises(ValueError, match=r"^S has 73 time samples \(axis -1\) but n=400$"):
        ot.istransform(f, s.T, n, fs=100.0)
    f, t, s = ot.stransform(x, 100.0, fmin=2.0, fmax=20.0, df=1.0)
    with pytest.raises(ValueError, match=r"f steps by 4 bins \(a transform with df > fs/n\): it cannot be inverted"):
        ot.istransform(f, s, n, fs=100.0)
    f, t, p = ot.stransform(x, 100.0, fmin=2.0, fmax=20.0, output="power")
    with pytest.raises(TypeError, match=r"S has dtype float32: the inverse needs the complex transform"):
        ot.istransform(f, p, n, fs=100.0)
    f, t, s = ot.stransform(x, 100.0, fmin=2.0, fmax=20.0)
    with pytest.raises(ValueError, match=r"f\[0\]=2.0 is not the frequency k\*fs/n of an FFT bin \(n=400, fs=3.0\)"):
        ot.istransform(f, s, n, fs=3.0)
    with pytest.raises(ValueError, match=r"S has 73 voices \(axis -2\) but f has 72 frequencies"):
        ot.istransform(f[1:], s, n, fs=100.0)
    with pytest.raises(ValueError, match=r"f must hold consecutive, increasing FFT bin frequencies"):
        ot.istransform(f[::-1], s, n, fs=100.0)
    with pytest.raises(ValueError, match=r"n=0 must be a positive signal length"):
        ot.istransform(f, s, 0, fs=100.0)
    with pytest.raises(ValueError, match=r"S has 400 time samples \(axis -1\) but n=200"):
        ot.istransform(f, s, 200, fs=50.0)


def test_readme_masking_example_states_what_the_circular_inverse_gives():
    text = README.read_text()
    section = text[text.index("### istransform"):]
    section = section[:section.index("\n### ")]
    code = "".join(textwrap.dedent(b) for b in re.findall(r"(?:^(?: {4}.*)?\n)+", section, re.M)
                   if b.strip())
    namespace = {"np": np}
    exec(code, namespace)
    y, time = namespace["y"], namespace["time"]
    tone = np.cos(2 * np.pi * 10 * time)
    during = lambda a, b: (time >= a) & (time < b)
    peak = lambda a, b: f"{np.abs(y[during(a, b)]).max():.2f}"
    assert np.abs(y - tone)[during(0.2, 1.8)].max() <= 0.04
    prose = " ".join(section.split())
    assert f"fades to at most {peak(2.0, 2.2)} of it over 2.0-2.2 s" in prose
    assert f"to {peak(2.2, 3.8)} over 2.2-3.8 s" in prose
    # Wrapped around from the start, and missing there.
    assert f"where {peak(3.8, 4.0)} of the tone remains at 3.8-4.0 s" in prose
    assert f"where the tone reaches {peak(0.0, 0.2)} over 0-0.2 s" in prose
    assert float(peak(3.8, 4.0)) > 0.3
