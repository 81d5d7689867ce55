"""orbelix_tools.stransform against orbelix.fst and a float64 reference:
defaults bit for bit, band, step and decimation, phase conventions, outputs,
batches and axes, dtypes and worker counts."""

import numpy as np
import pytest

import orbelix
import orbelix_tools as ot
from references import relative_error, voices

LENGTHS = [1, 2, 7, 8, 97, 100, 256, 257, 1000]  # odd, even, prime


def signal(n, complex_=False, seed=0, dtype=None):
    rng = np.random.default_rng(seed + n)
    x = rng.standard_normal(n)
    if complex_:
        x = x + 1j * rng.standard_normal(n)
    return x.astype(dtype or (np.complex64 if complex_ else np.float32))


@pytest.mark.parametrize("n", LENGTHS)
@pytest.mark.parametrize("complex_", [False, True])
def test_defaults_are_fst_bit_for_bit(n, complex_):
    x = signal(n, complex_)
    before = x.copy()
    f, t, s = ot.stransform(x)
    ref = orbelix.fst(x)
    assert s.dtype == np.complex64 and s.shape == ref.shape == (n // 2 + 1, n)
    np.testing.assert_array_equal(s, ref)
    np.testing.assert_array_equal(f, np.arange(n // 2 + 1) / n)
    np.testing.assert_array_equal(t, np.arange(n, dtype=np.float64))
    np.testing.assert_array_equal(x, before)


@pytest.mark.parametrize("dtype", [np.float64, np.int16, np.complex128, np.float16, ">f8", np.longdouble])
def test_other_dtypes_are_converted_to_complex64(dtype):
    x = (signal(100, np.dtype(dtype).kind == "c", dtype=np.complex128) * 100)
    x = x.astype(dtype) if np.dtype(dtype).kind == "c" else x.real.astype(dtype)
    np.testing.assert_array_equal(ot.stransform(x, 2.0)[2],
                                  orbelix.fst(x.astype(np.complex64)))


@pytest.mark.parametrize("n,fs,kw", [
    (1000, 250.0, dict(fmin=3.0, fmax=40.0)),
    (1000, 250.0, dict(fmin=3.0, fmax=40.0, df=1.0)),     # every 4 bins
    (999, 100.0, dict(fmin=0.0, fmax=20.0, df=0.35)),     # 3.5 bins -> 4
    (257, 1.0, dict(fmin=0.1, df=0.05)),                  # prime length, to fs/2
    (512, 512.0, dict(fmin=256.0)),                       # the Nyquist voice alone
])
@pytest.mark.parametrize("decim", [1, 4, 7, 8])
def test_band_step_and_decimation_are_slices_of_fst(n, fs, kw, decim):
    x = signal(n)
    f, t, s = ot.stransform(x, fs, decim=decim, **kw)
    bins = np.rint(f * n / fs).astype(int)
    np.testing.assert_allclose(bins * fs / n, f, rtol=0, atol=0)
    lo = round(kw.get("fmin", 0.0) * n / fs)
    step = max(1, round(kw.get("df", fs / n) * n / fs))
    assert bins[0] == lo and np.all(np.diff(bins) == step)
    last = min(round(kw.get("fmax", fs / 2) * n / fs), n // 2)
    assert bins[-1] <= last < bins[-1] + step
    np.testing.assert_array_equal(t, np.arange(0, n, decim) / fs)
    ref = orbelix.fst(x)[bins][:, ::decim]
    if n % decim == 0 and decim > 1:  # folded: equal to single precision
        assert relative_error(s, ref) < 2e-6
    else:  # computed at full length and sampled: the same numbers
        np.testing.assert_array_equal(s, ref)


@pytest.mark.parametrize("n,decim", [(256, 1), (255, 1), (256, 16), (300, 7), (257, 1), (257, 3)])  # 257: chirp-z
def test_absolute_phase_is_local_phase_times_the_carrier(n, decim):
    x = signal(n, True)
    f, t, local = ot.stransform(x, fmin=0.0, decim=decim)
    f, t, absolute = ot.stransform(x, fmin=0.0, decim=decim, phase="absolute")
    k = np.arange(n // 2 + 1)[:, None]
    times = np.arange(0, n, decim)[None, :]
    carrier = np.exp(2j * np.pi * ((k * times) % n) / n)
    assert relative_error(absolute, local * carrier) < 2e-6
    assert relative_error(absolute, voices(x, range(n // 2 + 1), absolute=True)[:, ::decim]) < 5e-6


def test_absolute_phase_follows_the_instantaneous_phase():
    fs, n = 200.0, 400
    time = np.arange(n) / fs
    x = np.cos(2 * np.pi * 20.0 * time + 0.7)
    f, t, s = ot.stransform(x, fs, fmin=20.0, fmax=20.0, phase="absolute")
    want = np.angle(np.exp(1j * (2 * np.pi * 20.0 * time + 0.7)))
    np.testing.assert_allclose(np.angle(s[0] * np.exp(-1j * want)), 0.0, atol=1e-5)
    np.testing.assert_allclose(np.abs(s[0]), 1.0, atol=1e-5)


@pytest.mark.parametrize("width", [0.5, 1.0, 2.5])
def test_width_against_float64_reference(width):
    n = 300
    x = signal(n, True)
    f, t, s = ot.stransform(x, fmin=0.05, fmax=0.4, width=width, decim=3)
    bins = np.rint(f * n).astype(int)
    assert relative_error(s, voices(x, bins, width=width)[:, ::3]) < 5e-6


@pytest.mark.parametrize("decim", [1, 5, 6])
def test_power_and_magnitude_are_those_of_the_complex_voices(decim):
    x = signal(600, True)
    kw = dict(fs=60.0, fmin=1.0, fmax=25.0, df=0.5, decim=decim)
    _, _, s = ot.stransform(x, **kw)
    _, _, p = ot.stransform(x, output="power", **kw)
    _, _, m = ot.stransform(x, output="magnitude", **kw)
    assert p.dtype == m.dtype == np.float32
    re, im = s.real, s.imag
    np.testing.assert_array_equal(p, re * re + im * im)
    np.testing.assert_array_equal(m, np.hypot(re, im))


def test_magnitude_is_finite_where_power_overflows():
    x = 1e20 + 1e19 * np.random.default_rng(3).standard_normal(64)
    s = ot.stransform(x)[2]
    m = ot.stransform(x, output="magnitude")[2]
    with np.errstate(over="ignore"):
        assert np.isinf(s.real * s.real + s.imag * s.imag).any()  # |S|^2 beyond float32
    assert np.isfinite(m).all()
    np.testing.assert_array_equal(m, np.hypot(s.real, s.imag))


@pytest.mark.parametrize("shape,axis", [((3, 4, 120), -1), ((120, 5), 0), ((2, 120, 3), 1)])
@pytest.mark.parametrize("decim", [1, 8])
def test_batches_equal_a_loop_over_signals(shape, axis, decim):
    x = np.random.default_rng(1).standard_normal(shape).astype(np.float32)
    f, t, s = ot.stransform(x, 10.0, fmin=1.0, fmax=4.0, decim=decim, axis=axis)
    moved = np.moveaxis(x, axis, -1)
    assert s.shape == moved.shape[:-1] + (len(f), len(t))
    for index in np.ndindex(moved.shape[:-1]):
        np.testing.assert_array_equal(
            s[index], ot.stransform(moved[index], 10.0, fmin=1.0, fmax=4.0, decim=decim)[2])


def test_non_contiguous_and_read_only_input():
    base = np.random.default_rng(2).standard_normal((6, 400))
    x = base[::2, ::2]
    x.flags.writeable = False
    s = ot.stransform(x, output="magnitude")[2]
    np.testing.assert_array_equal(s, ot.stransform(np.ascontiguousarray(x), output="magnitude")[2])


@pytest.mark.parametrize("dtype", ["f4", "f8", "c8", "c16"])
def test_fields_of_records_and_odd_addresses(dtype):
    # Samples as a file of records holds them: strides that are not a
    # multiple of the item size, and data at an odd address.
    rng = np.random.default_rng(4)
    records = np.zeros((3, 90), dtype=[("sample", dtype), ("flag", "i2")])
    records["sample"] = rng.standard_normal((3, 90))
    x = records["sample"]
    dense = np.ascontiguousarray(x)
    kw = dict(fmin=0.05, decim=3)
    np.testing.assert_array_equal(ot.stransform(x, **kw)[2], ot.stransform(dense, **kw)[2])
    np.testing.assert_array_equal(ot.stransform(x.T, axis=0, **kw)[2], ot.stransform(dense, **kw)[2])
    np.testing.assert_array_equal(ot.tfr_power(x, 1.0, **kw)[2], ot.tfr_power(dense, 1.0, **kw)[2])
    raw = np.zeros(dense.nbytes + 1, np.uint8)
    odd = np.ndarray(dense.shape, dense.dtype, buffer=raw, offset=1)
    odd[...] = dense
    np.testing.assert_array_equal(ot.stransform(odd, **kw)[2], ot.stransform(dense, **kw)[2])


def test_empty_batch_gives_an_empty_result():
    f, t, s = ot.stransform(np.zeros((0, 3, 50)), 10.0, decim=5)
    assert s.shape == (0, 3, 26, 10) and len(f) == 26 and len(t) == 10


@pytest.mark.parametrize("signals", [1, 3, 12])
@pytest.mark.parametrize("kw", [dict(), dict(decim=10, phase="absolute"), dict(decim=9, output="power")])
def test_workers_give_the_same_bits(signals, kw):
    x = np.random.default_rng(3).standard_normal((signals, 480)).astype(np.float32)
    one = ot.stransform(x, fmin=0.01, workers=1, **kw)[2]
    for workers in (2, 3, -1):
        np.testing.assert_array_equal(ot.stransform(x, fmin=0.01, workers=workers, **kw)[2], one)


def test_cosine_on_a_bin_is_seen_through_each_voice_window():
    # A unit cosine on bin 125 has analytic spectrum 1 there and 0 elsewhere:
    # voice k is the window of k at offset 125 - k, at every time.
    fs, n = 256.0, 2560
    x = np.cos(2 * np.pi * 12.5 * np.arange(n) / fs)
    f, t, m = ot.stransform(x, fs, fmin=1.0, fmax=50.0, df=0.5, decim=64, output="magnitude")
    k = f * n / fs
    want = np.exp(-2 * np.pi**2 * (125 - k) ** 2 / k**2)
    np.testing.assert_allclose(m, np.broadcast_to(want[:, None], m.shape), atol=2e-6)
    assert m.shape == (99, 40) and m[f == 12.5].min() > 0.99999


@pytest.mark.parametrize("dtype,axis", [(np.float64, -1), (np.complex128, 0), (np.float32, 0)])
def test_input_is_read_in_place_without_a_converted_copy(dtype, axis):
    import tracemalloc
    x = np.random.default_rng(5).standard_normal((16, 8192)).astype(dtype)
    x = x if axis == -1 else np.ascontiguousarray(x.T)
    tracemalloc.start()
    try:
        f, t, p = ot.stransform(x, fmin=0.1, fmax=0.2, decim=64, output="power", axis=axis)
        peak = tracemalloc.get_traced_memory()[1]
    finally:
        tracemalloc.stop()
    assert p.shape == (16, 820, 128)
    assert peak < p.nbytes + 100_000 < p.nbytes + x.nbytes // 4
    want = ot.stransform(np.moveaxis(x, axis, -1).astype(np.complex64), fmin=0.1, fmax=0.2,
                         decim=64, output="power")[2]
    np.testing.assert_array_equal(p, want)
