"""Conversion of Python arguments: arrays (pass-through, copies, shape fitting) and scalars."""
import tracemalloc
import warnings

import numpy as np
import pytest

import orbelix


def extra_bytes(call):
    """Peak bytes allocated during call() beyond what was held before."""
    tracemalloc.start()
    try:
        tracemalloc.reset_peak()
        base = tracemalloc.get_traced_memory()[0]
        call()
        return tracemalloc.get_traced_memory()[1] - base
    finally:
        tracemalloc.stop()


IMAGE = np.asfortranarray(np.random.default_rng(1).random((128, 128), dtype=np.float32))
IMAGE_BYTES = IMAGE.nbytes


def readonly(a):
    a = a.copy(order="F")
    a.flags.writeable = False
    return a


# The entry routine reads (in place) or a converted copy, seen from NumPy's allocations.
@pytest.mark.parametrize("image, copied", [
    (IMAGE, False),
    (readonly(IMAGE), False),
    (np.ascontiguousarray(IMAGE), True),
    (IMAGE.astype(">f4", order="F"), True),
    (IMAGE.astype(np.float64, order="F"), True),
    (IMAGE.astype(np.int32, order="F"), True),
    (IMAGE[::2, ::2], True),
], ids=["float32-F", "readonly", "row-major", "big-endian", "float64", "int32", "strided"])
def test_real_input_used_in_place_only_when_it_qualifies(image, copied):
    used = extra_bytes(lambda: orbelix.cmsht2(image, 20, 20))
    if copied:
        assert used >= image.size * 4
    else:
        assert used < 4096


@pytest.mark.parametrize("data, copied", [
    (np.zeros((64, 64), np.complex64, order="F"), False),
    (np.zeros((64, 64), np.complex64), True),
    (np.zeros((64, 64), np.complex128, order="F"), True),
    (np.zeros((64, 64), ">c8", order="F"), True),
    (np.zeros((64, 64), np.float32, order="F"), True),
    (np.zeros((64, 64)).tolist(), True),
], ids=["complex64-F", "row-major", "complex128", "big-endian", "float32", "list"])
def test_complex_input_used_in_place_only_when_it_qualifies(data, copied):
    used = extra_bytes(lambda: orbelix.imfreq(data, 3, 3))
    assert (used >= 64 * 64 * 8) == copied


def test_copies_keep_logical_elements_and_casting_rules():
    rng = np.random.default_rng(2)
    z = (rng.random((16, 16)) + 1j * rng.random((16, 16))).astype(np.complex64)
    expected = orbelix.imfreq(np.asfortranarray(z), 5, 9)
    assert np.array_equal(orbelix.imfreq(np.ascontiguousarray(z), 5, 9), expected)
    assert np.array_equal(orbelix.imfreq(z.astype(">c8"), 5, 9), expected)
    assert np.array_equal(orbelix.imfreq(z.tolist(), 5, 9), expected)
    # real data gets a zero imaginary part; complex data given for float32 keeps its real part
    assert np.array_equal(orbelix.imfreq(z.real.astype(np.float64), 5, 9), expected.real + 0j)
    r = z.real.astype(np.float32)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", np.exceptions.ComplexWarning)
        from_complex = orbelix.cmsht2(z, 8, 8, kernel_size=3)
    assert np.array_equal(from_complex, orbelix.cmsht2(r, 8, 8, kernel_size=3), equal_nan=True)


def test_inputs_and_their_reference_counts_untouched():
    import sys
    a = np.arange(64, dtype=np.complex64)
    b = a.copy()
    before = sys.getrefcount(a)
    s = orbelix.fst(a)
    assert np.array_equal(a, b) and sys.getrefcount(a) == before
    assert s.flags.f_contiguous and s.flags.owndata and s.dtype == np.complex64


# Shapes seen by the routines: cmsht2's m check and fst's result reveal them.
@pytest.mark.parametrize("arg, rows, cols", [
    (np.zeros(5), 5, 1),           # vector for rank 2
    (3.0, 1, 1),                   # scalar for rank 2
    (np.zeros(0), 1, 0),           # empty vector for rank 2
    (np.zeros((1, 4, 4)), 4, 4),
    (np.zeros((4, 1, 4)), 4, 4),
    (np.zeros((4, 4, 2)), 4, 8),
])
def test_rank2_fitting(arg, rows, cols):
    assert orbelix.cmsht2(arg, 0, 0, l=rows, m=cols, kernel_size=-1).shape == (4,)
    with pytest.raises(orbelix._orbelix_error, match=rf"^\(shape\(r,1\)==m\).*m={cols + 1}$"):
        orbelix.cmsht2(arg, 0, 0, m=cols + 1, kernel_size=-1)


@pytest.mark.parametrize("arg, n", [(np.ones((3, 4)), 12), (2.5, 1), (np.ones((1, 1, 6)), 6)])
def test_rank1_fitting_flattens_column_major(arg, n):
    assert orbelix.fst(arg).shape == (n // 2 + 1, n)


def test_fitting_failure_message():
    with pytest.raises(ValueError) as info:
        orbelix.fst(np.zeros((0, 5), np.complex64))
    assert str(info.value.__cause__) == ("unexpected array size: size=5, arr_size=0, rank=1, "
                                         "effrank=1, arr.nd=2, dims=[ 5 ], arr.dims=[ 0 5 ]\n")


# Integer conversion, read back from the message of fst's length check.
@pytest.mark.parametrize("value, expected", [
    (2.9, 2), ("12", 12), (3 + 4j, 3), ([7], 7), ((9, 1), 9), (np.int16(5), 5),
    (np.array([[6]]), 6), (np.float32(4.5), 4), (2147483647, 2147483647),
])
def test_int_conversion(value, expected):
    with pytest.raises(orbelix._orbelix_error, match=rf": fst:n={expected}$"):
        orbelix.fst(np.zeros(1, np.complex64), value)


@pytest.mark.parametrize("value", [True, 1.99, "1", [1.5]])
def test_int_conversion_to_one(value):
    assert orbelix.fst(np.zeros(1, np.complex64), value).shape == (1, 1)


def test_negative_float_truncates_toward_zero():
    with pytest.raises(ValueError) as info:
        orbelix.fst(np.zeros(1, np.complex64), -2.9)
    assert str(info.value.__cause__).endswith("but got (0,-2,)")


INT_ERRMESS = "orbelix.fst() 1st keyword (n) can't be converted to int"


@pytest.mark.parametrize("value, exc, text", [
    (2147483648, OverflowError, "Python int too large to convert to C int"),
    (-2147483649, OverflowError, "Python int too large to convert to C int"),
    (2 ** 70, OverflowError, "Python int too large to convert to C int"),
    (1e300, OverflowError, "Python int too large to convert to C int"),
    (float("inf"), OverflowError, INT_ERRMESS),
    (float("nan"), ValueError, INT_ERRMESS),
    ("abc", ValueError, INT_ERRMESS),
    (b"x", ValueError, INT_ERRMESS),
    ([], IndexError, INT_ERRMESS),
    (object(), TypeError, INT_ERRMESS),
    ({1: 2}, TypeError, INT_ERRMESS),
    ([2 ** 40], OverflowError, INT_ERRMESS),
])
def test_int_conversion_failures(value, exc, text):
    with pytest.raises(exc) as info:
        orbelix.fst(np.zeros(4, np.complex64), value)
    assert type(info.value) is exc and str(info.value) == text


def test_self_containing_sequence_is_refused_not_fatal():
    loop = []
    loop.append(loop)
    with pytest.raises(RecursionError, match=r"^orbelix.fst\(\) 1st keyword"):
        orbelix.fst(np.zeros(4, np.complex64), loop)


# Float conversion, read back through cmsht2 with a one-pixel window.
@pytest.mark.parametrize("value, expected", [
    ("0.5", 0.5), ([0.25], 0.25), (1 + 2j, 1.0), (1e300, np.inf), (-1e300, -np.inf),
    (3, 3.0), (np.float64(0.3), np.float32(0.3)), (None, 0.2),
])
def test_float_conversion(value, expected):
    r = np.full((1, 1), 2.0, np.float32)
    got = orbelix.cmsht2(r, 0, 0, coarse=value, fine=0.0, kernel_size=0)
    want = orbelix.cmsht2(r, 0, 0, coarse=expected, fine=0.0, kernel_size=0)
    assert np.array_equal(got, want, equal_nan=True)


@pytest.mark.parametrize("value, exc", [("x", ValueError), ([], IndexError), (object(), TypeError),
                                        (2 ** 1100, OverflowError)])
def test_float_conversion_failures(value, exc):
    with pytest.raises(exc) as info:
        orbelix.cmsht2(np.zeros((20, 20)), 10, 10, fine=value)
    assert type(info.value) is exc
    assert str(info.value) == "orbelix.cmsht2() 4th keyword (fine) can't be converted to float"
