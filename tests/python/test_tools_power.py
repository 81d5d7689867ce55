"""orbelix_tools.tfr_power against a float64 reference of power and
inter-trial coherence, its axes, and worker counts bit for bit."""

import numpy as np
import pytest

import orbelix_tools as ot
from references import voices


def reference(x, bins, decim, width=1.0):
    """Mean |S|^2 and |mean S/|S|| over axis 0 of x (epochs x channels x n)."""
    epochs, channels, n = x.shape
    power = np.zeros((channels, len(bins), n))
    unit = np.zeros((channels, len(bins), n), np.complex128)
    for e in range(epochs):
        for c in range(channels):
            s = voices(x[e, c], bins, width=width)
            power[c] += np.abs(s) ** 2
            unit[c] += s / np.abs(s)
    return power[..., ::decim] / epochs, np.abs(unit[..., ::decim]) / epochs


def epochs_of(shape, seed=0):
    rng = np.random.default_rng(seed)
    n = shape[-1]
    time = np.arange(n) / 100.0
    # A phase-locked 12 Hz burst in noise: coherence high there, low elsewhere.
    burst = np.exp(-((time - time[n // 2]) ** 2) / 0.05) * np.cos(2 * np.pi * 12 * time)
    return (rng.standard_normal(shape) + 3 * burst).astype(np.float32)


@pytest.mark.parametrize("n,decim,kw", [
    (200, 1, dict(fmin=2.0, fmax=40.0)),
    (200, 8, dict(fmin=0.0, fmax=50.0, df=1.5)),
    (201, 4, dict(fmin=5.0, fmax=30.0, width=0.7)),
])
def test_against_float64_reference(n, decim, kw):
    x = epochs_of((7, 3, n))
    f, t, power, itc = ot.tfr_power(x, 100.0, decim=decim, **kw)
    assert power.dtype == itc.dtype == np.float32 and power.shape == itc.shape == (3, len(f), len(t))
    np.testing.assert_array_equal(t, np.arange(0, n, decim) / 100.0)
    bins = np.rint(f * n / 100.0).astype(int)
    want_power, want_itc = reference(x.astype(np.float64), bins, decim, kw.get("width", 1.0))
    np.testing.assert_allclose(power, want_power, rtol=2e-5, atol=2e-6 * want_power.max())
    np.testing.assert_allclose(itc, want_itc, rtol=0, atol=2e-5)
    # The burst is phase-locked, the noise is not.
    at12 = np.argmin(np.abs(f - 12.0))
    assert itc[:, at12, len(t) // 2].min() > 0.8


def test_matches_stransform_of_each_epoch():
    x = epochs_of((5, 2, 160), seed=1) + 1j * epochs_of((5, 2, 160), seed=2)
    kw = dict(fmin=3.0, fmax=33.0, df=2.0, decim=5)
    f, t, power, itc = ot.tfr_power(x, 100.0, **kw)
    s = ot.stransform(x, 100.0, **kw)[2].astype(np.complex128)
    np.testing.assert_allclose(power, (np.abs(s) ** 2).mean(axis=0), rtol=1e-6)
    np.testing.assert_allclose(itc, np.abs((s / np.abs(s)).mean(axis=0)), atol=1e-6)


def test_axes_and_extra_dimensions():
    x = epochs_of((4, 2, 3, 128), seed=3)  # epochs, subjects, channels, time
    kw = dict(fmin=5.0, fmax=20.0, decim=4)
    f, t, power, itc = ot.tfr_power(x, 100.0, **kw)
    assert power.shape == (2, 3, len(f), len(t))
    moved = np.moveaxis(x, (0, 3), (2, 1))  # subjects, time, epochs, channels
    f2, t2, power2, itc2 = ot.tfr_power(moved, 100.0, epochs_axis=2, axis=1, **kw)
    np.testing.assert_array_equal(power2, power)
    np.testing.assert_array_equal(itc2, itc)


def test_zero_coefficients_have_no_coherence():
    f, t, power, itc = ot.tfr_power(np.zeros((3, 64)), 1.0, fmin=0.1)
    assert np.all(power == 0) and np.all(itc == 0)


@pytest.mark.parametrize("channels", [1, 2, 12])
def test_workers_give_the_same_bits(channels):
    x = epochs_of((6, channels, 300), seed=4)
    one = ot.tfr_power(x, 100.0, fmin=1.0, fmax=45.0, decim=3, workers=1)
    for workers in (2, 3):
        other = ot.tfr_power(x, 100.0, fmin=1.0, fmax=45.0, decim=3, workers=workers)
        np.testing.assert_array_equal(other[2], one[2])
        np.testing.assert_array_equal(other[3], one[3])


def composed(s):
    """tfr_power from stransform's voices s (epochs first), in the same
    operations and order, so equal bit for bit: |S|^2 in double; S/|S| in
    single precision (1/sqrt of the float |S|^2, times S) for the rows (one
    epoch's voice) whose float |S|^2 all lie in 2^-100 .. 2^126 or are of
    S = 0, else in double; sums in double. One epoch takes the double
    formulas (whose coherence is exactly 1 or 0 for finite S)."""
    re32, im32 = s.real, s.imag
    re, im = re32.astype(np.float64), im32.astype(np.float64)
    p = re * re + im * im
    with np.errstate(invalid="ignore", over="ignore"):  # inf * 0 in the non-finite voices
        pf = re32 * re32 + im32 * im32
        fits = np.all((pf <= np.float32(2.0**126))
                      & ((pf >= np.float32(2.0**-100)) | ((re32 == 0) & (im32 == 0))),
                      axis=-1, keepdims=True) & (len(s) > 1)
        inv32 = np.float32(1.0) / np.sqrt(pf + (pf == 0).astype(np.float32))
        inv = 1.0 / np.sqrt(p + (p == 0))
        unit_re = np.where(fits, (re32 * inv32).astype(np.float64), re * inv)
        unit_im = np.where(fits, (im32 * inv32).astype(np.float64), im * inv)
        power, sum_re, sum_im = p[0], unit_re[0], unit_im[0]
        for e in range(1, len(s)):
            power, sum_re, sum_im = power + p[e], sum_re + unit_re[e], sum_im + unit_im[e]
    epochs = len(s)
    return ((power / epochs).astype(np.float32),
            (np.sqrt(sum_re * sum_re + sum_im * sum_im) / epochs).astype(np.float32))


@pytest.mark.parametrize("epochs,decim", [(1, 1), (1, 4), (2, 1), (5, 3), (4, 1)])
def test_bits_of_stransform_composed_over_epochs(epochs, decim):
    x = epochs_of((epochs, 3, 256), seed=5 + epochs)
    # Finite samples whose sums overflow single precision: non-finite voices
    # take the general formulas (NaN or infinite samples are refused).
    x[0, 1, 40:42] = 3e38
    x[-1, 2, 7:9] = -3e38
    x[:, 0, :] = 0.0  # zero coefficients: no coherence
    x[0, 0, 100] = 1.0
    kw = dict(fmin=0.0, fmax=45.0, decim=decim)
    f, t, power, itc = ot.tfr_power(x, 100.0, **kw)
    want_power, want_itc = composed(ot.stransform(x, 100.0, **kw)[2])
    np.testing.assert_array_equal(power, want_power)
    np.testing.assert_array_equal(itc, want_itc)
    if epochs == 1:  # finite channel: |S/|S|| is 1 or 0
        assert 1.0 in itc[0] and set(np.unique(itc[0]).tolist()) <= {0.0, 1.0}


def test_coherence_within_single_precision_of_the_float64_mean():
    # From the same coefficients: the float64 |mean S/|S||, against which
    # the single-precision units (2 ulps each) and the final rounding give
    # at most 3e-7; the power is the double sums rounded once.
    x = epochs_of((12, 2, 300), seed=21)
    kw = dict(fmin=1.0, fmax=45.0, decim=2)
    f, t, power, itc = ot.tfr_power(x, 100.0, **kw)
    s = ot.stransform(x, 100.0, **kw)[2].astype(np.complex128)
    with np.errstate(invalid="ignore"):
        unit = np.where(s == 0, 0, s / np.abs(s))
    want_itc = np.abs(unit.mean(axis=0))
    want_power = (np.abs(s) ** 2).mean(axis=0)
    assert np.abs(itc - want_itc).max() <= 3e-7
    np.testing.assert_allclose(power, want_power, rtol=1.2e-7)
