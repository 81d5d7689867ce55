"""The exported fst/ifst routines against float64 NumPy references of the transform."""
import numpy as np
import pytest

from cabi import i32, ptr
from references import analytic_spectrum
from references import fst as fst_reference
from references import ifst as ifst_reference

LENGTHS = list(range(1, 65)) + [127, 1000, pytest.param(4096, marks=pytest.mark.slow)]
ROUND_TRIP_LENGTHS = list(range(1, 65)) + [1000, 4096]


# ---- calling the C routines -------------------------------------------------

def c_fst(lib, h):
    h = np.ascontiguousarray(h, dtype=np.complex64)
    n = h.size
    s = np.zeros((n // 2 + 1, n), dtype=np.complex64, order="F")
    lib.fst(i32(n), ptr(h), ptr(s))
    return s


def c_ifst(lib, s):
    s = np.asfortranarray(s, dtype=np.complex64)
    n = s.shape[1]
    h = np.zeros(n, dtype=np.complex64)
    lib.ifst(i32(n), ptr(s), ptr(h))
    return h


def random_complex(n, seed):
    rng = np.random.default_rng(seed)
    return (rng.standard_normal(n) + 1j * rng.standard_normal(n)).astype(np.complex64)


def max_err(got, want):
    return float(np.max(np.abs(np.asarray(got, np.complex128) - want)))


# ---- forward transform --------------------------------------------------------

@pytest.mark.parametrize("n", LENGTHS)
def test_fst_matches_reference(lib, n):
    h = random_complex(n, seed=n)
    want = fst_reference(h)
    got = c_fst(lib, h)
    assert got.shape == want.shape
    assert max_err(got, want) <= 1e-5 * np.max(np.abs(want))


TONES = [(8, 1), (8, 3), (7, 2), (64, 5), (127, 40), (1000, 333)]


def tone(n, f, sign=1):
    t = np.arange(n)
    return np.exp(sign * 2j * np.pi * f * t / n)


@pytest.mark.parametrize("n,f", TONES)
def test_fst_unit_cosine_gives_voice_one(lib, n, f):
    s = c_fst(lib, tone(n, f).real)
    np.testing.assert_allclose(s[f], np.ones(n), rtol=0, atol=2e-5)


@pytest.mark.parametrize("n,f", TONES)
def test_fst_unit_exponential_gives_voice_two_and_zero_mean(lib, n, f):
    s = c_fst(lib, tone(n, f))
    np.testing.assert_allclose(s[f], np.full(n, 2.0), rtol=0, atol=4e-5)
    np.testing.assert_allclose(s[0], np.zeros(n), rtol=0, atol=1e-6)


@pytest.mark.parametrize("n,f", TONES)
def test_fst_negative_frequency_is_removed(lib, n, f):
    s = c_fst(lib, tone(n, f, sign=-1))
    assert np.max(np.abs(s)) <= 2e-5


@pytest.mark.parametrize("n", [1, 2, 7, 8, 100])
def test_fst_constant_signal(lib, n):
    c = np.complex64(0.75 - 0.5j)
    s = c_fst(lib, np.full(n, c))
    np.testing.assert_allclose(s[0], np.full(n, c), rtol=1e-6)
    # Each voice is only the window's tail exp(-19.74) ~ 2.7e-9 of c, plus rounding.
    assert np.max(np.abs(s[1:]), initial=0.0) <= 1e-6


@pytest.mark.parametrize("n", [5, 16, 127, 1000])
def test_fst_row_sums_are_the_analytic_spectrum(lib, n):
    h = random_complex(n, seed=100 + n)
    a = analytic_spectrum(h) * n
    sums = c_fst(lib, h).astype(np.complex128).sum(axis=1)
    k = np.arange(n // 2 + 1)
    assert max_err(sums, a[k]) <= 1e-5 * np.max(np.abs(a))


# ---- inverse transform ----------------------------------------------------------

@pytest.mark.parametrize("n", ROUND_TRIP_LENGTHS)
def test_round_trip_of_real_signals(lib, n):
    x = np.random.default_rng(n).standard_normal(n).astype(np.float32)
    back = c_ifst(lib, c_fst(lib, x))
    assert max_err(back, x) <= 1e-5 * np.max(np.abs(x))


@pytest.mark.parametrize("n", [1, 2, 3, 8, 9, 64, 127, 1000])
def test_ifst_matches_reference_on_any_coefficients(lib, n):
    # Not an fst output: every row of s contributes through its sum alone.
    s = random_complex((n // 2 + 1) * n, seed=7 * n).reshape(n // 2 + 1, n)
    want = ifst_reference(s)
    assert max_err(c_ifst(lib, s), want) <= 1e-5 * np.max(np.abs(want))


@pytest.mark.parametrize("n,f", TONES)
def test_round_trip_of_complex_exponentials(lib, n, f):
    # Only bins 0..n/2 survive, and the rest is rebuilt by conjugate symmetry.
    assert np.max(np.abs(c_ifst(lib, c_fst(lib, tone(n, f, sign=-1))))) <= 2e-5
    np.testing.assert_allclose(c_ifst(lib, c_fst(lib, tone(n, f))), 2 * tone(n, f).real,
                               rtol=0, atol=2e-5)


# ---- arguments ---------------------------------------------------------------------

@pytest.mark.parametrize("n", [1, 7, 64])
def test_inputs_are_not_modified(lib, n):
    h = random_complex(n, seed=n)
    h_before = h.copy()
    s = np.asfortranarray(c_fst(lib, h))
    s_before = s.copy()
    lib.ifst(i32(n), ptr(s), ptr(np.zeros(n, dtype=np.complex64)))
    assert np.array_equal(h, h_before)
    assert np.array_equal(s, s_before)


def test_length_zero_touches_nothing(lib):
    a = np.full(4, 3 - 4j, dtype=np.complex64)
    b = np.full(4, -1 + 2j, dtype=np.complex64)
    lib.fst(i32(0), ptr(a), ptr(b))
    lib.ifst(i32(0), ptr(a), ptr(b))
    assert np.all(a == np.complex64(3 - 4j)) and np.all(b == np.complex64(-1 + 2j))


@pytest.mark.parametrize("n", [-1, -8, -(2**31)])
def test_negative_length_touches_nothing(lib, n):
    a = np.full(4, 3 - 4j, dtype=np.complex64)
    b = np.full(4, -1 + 2j, dtype=np.complex64)
    lib.fst(i32(n), ptr(a), ptr(b))
    lib.ifst(i32(n), ptr(a), ptr(b))
    assert np.all(a == np.complex64(3 - 4j)) and np.all(b == np.complex64(-1 + 2j))
