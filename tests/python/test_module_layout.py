"""The f2py-compatible layout rules, pinned by value: an array whose rank differs from
the declared one is read in column-major order, any strides or element type reach the
routine as the same logical elements, and fitted shapes drop axes of extent 1."""
import numpy as np
import pytest

import orbelix

RNG = np.random.default_rng(11)


def cplx(*shape):
    return (RNG.standard_normal(shape) + 1j * RNG.standard_normal(shape)).astype(np.complex64)


@pytest.mark.parametrize("order", ["C", "F"])
def test_two_dimensional_array_for_a_vector_is_flattened_column_major(order):
    a = np.asarray(cplx(3, 4), order=order)
    assert np.array_equal(orbelix.fst(a), orbelix.fst(a.ravel(order="F")))
    # ... and not row-major, which would differ.
    assert not np.array_equal(orbelix.fst(a), orbelix.fst(a.ravel(order="C")))


def test_three_dimensional_array_for_a_vector_is_flattened_column_major():
    a = cplx(2, 3, 2)
    assert np.array_equal(orbelix.fst(a), orbelix.fst(a.ravel(order="F")))


def test_surplus_axes_fold_into_the_last_declared_one_column_major():
    r = RNG.standard_normal((8, 4, 2)).astype(np.float32)
    folded = r.reshape(8, 8, order="F")
    assert np.array_equal(orbelix.cmsht2(r, 4, 4, kernel_size=2),
                          orbelix.cmsht2(folded, 4, 4, kernel_size=2), equal_nan=True)


def test_axes_of_extent_one_are_dropped():
    s = cplx(16, 16)
    assert np.array_equal(orbelix.imfreq(s[None], 5, 9), orbelix.imfreq(s, 5, 9))
    assert np.array_equal(orbelix.imfreq(s[:, None, :], 5, 9), orbelix.imfreq(s, 5, 9))
    h = cplx(8, 8)
    assert np.array_equal(orbelix.dst2(h[None, :, :, None]), orbelix.dst2(h))


def test_vector_for_a_matrix_is_one_column():
    v = RNG.standard_normal(25).astype(np.float32)
    assert np.array_equal(orbelix.cmsht2(v, 12, 0, kernel_size=0),
                          orbelix.cmsht2(v.reshape(25, 1), 12, 0, kernel_size=0), equal_nan=True)


@pytest.mark.parametrize("view", [
    lambda a: a[::2], lambda a: a[::-1], lambda a: a[1::3],
    lambda a: np.broadcast_to(a[:1], (64,)),
], ids=["step2", "reversed", "offset-step3", "stride0"])
def test_strided_vectors_are_read_as_their_logical_elements(view):
    a = cplx(128)
    v = view(a)
    assert np.array_equal(orbelix.fst(v), orbelix.fst(np.ascontiguousarray(v)))


@pytest.mark.parametrize("view", [
    lambda a: a.T, lambda a: a[::-1, ::2], lambda a: a[:, ::-1][::2],
    lambda a: np.lib.stride_tricks.as_strided(a, (8, 8), (a.strides[0], 0)),
], ids=["transposed", "reversed-rows-step2", "mixed", "zero-column-stride"])
def test_strided_matrices_are_read_as_their_logical_elements(view):
    a = np.ascontiguousarray(cplx(16, 16))
    v = view(a)[:8, :8]
    assert np.array_equal(orbelix.dst2(v), orbelix.dst2(np.asfortranarray(v)))


@pytest.mark.parametrize("dtype", [np.bool_, np.int8, np.uint16, np.int64, np.float16,
                                   np.float64, np.complex128, np.longdouble])
def test_any_numeric_element_type_is_cast_like_numpy(dtype):
    x = (RNG.standard_normal(32) * 3).astype(dtype)
    assert np.array_equal(orbelix.fst(x), orbelix.fst(x.astype(np.complex64)))


def test_big_endian_and_unaligned_inputs_are_copied_to_the_same_values():
    a = cplx(32)
    assert np.array_equal(orbelix.fst(a.astype(">c8")), orbelix.fst(a))
    raw = np.zeros(32 * 8 + 1, np.uint8)
    unaligned = raw[1:].view(np.complex64)
    unaligned[:] = a
    assert not unaligned.flags.aligned
    assert np.array_equal(orbelix.fst(unaligned), orbelix.fst(a))
