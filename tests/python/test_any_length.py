"""fst and ifst at lengths with large prime factors (the chirp-z path) against float64 NumPy.

The voices are checked on a sample of rows: each row of the reference is one
float64 inverse FFT, so the whole check stays fast even where the result has
tens of millions of coefficients.
"""
import numpy as np
import pytest

import orbelix
from references import WINDOW_CONSTANT, analytic_spectrum, voices
from references import ifst as ifst_reference


def sample_voices(n, count, seed):
    top = n // 2
    rng = np.random.default_rng(seed)
    fixed = [0, 1, 2, 3, top // 2, top - 1, top]
    return sorted(set(fixed) | set(rng.integers(1, top + 1, count).tolist()))


# 4097 = 17*241, 4098 = 2*3*683, 2561 = 13*197; 4099 and 10007 are prime;
# 1647 = 27*61 keeps the radix passes for whole transforms, its voices not.
@pytest.mark.parametrize("n", [2561, 4097, 4098, 4099, pytest.param(10007, marks=pytest.mark.slow), 1647])
def test_fst_voices_match_float64(n):
    rng = np.random.default_rng(n)
    h = (rng.standard_normal(n) + 1j * rng.standard_normal(n)).astype(np.complex64)
    s = orbelix.fst(h)
    assert s.shape == (n // 2 + 1, n)
    rows = sample_voices(n, 24, n)
    want = voices(h, rows, constant=WINDOW_CONSTANT)
    err = np.max(np.abs(s[rows].astype(np.complex128) - want))
    assert err <= 1e-5 * np.max(np.abs(want))
    # Every voice sums to n times its analytic-spectrum bin (the window is 1 at offset 0).
    sums = s.astype(np.complex128).sum(axis=1)
    a = analytic_spectrum(h) * n
    assert np.max(np.abs(sums - a[: n // 2 + 1])) <= 1e-5 * np.max(np.abs(a))


@pytest.mark.parametrize("n", [4098, 2 * 4099])
def test_round_trip_through_the_chirp_path(n):
    x = np.random.default_rng(n).standard_normal(n).astype(np.float32)
    back = orbelix.ifst(orbelix.fst(x))
    assert np.max(np.abs(back - x)) <= 1e-5 * np.max(np.abs(x))


def test_ifst_matches_float64_at_a_large_prime_factor():
    n = 2 * 2053  # ifst through Python takes even lengths only
    rng = np.random.default_rng(3)
    s = (rng.standard_normal((n // 2 + 1, n)) + 1j * rng.standard_normal((n // 2 + 1, n)))
    s = np.asfortranarray(s.astype(np.complex64))
    want = ifst_reference(s)
    got = orbelix.ifst(s)
    assert np.max(np.abs(got - want)) <= 1e-5 * np.max(np.abs(want))
