"""2-D DOST: float64 references on rectangular images of any sides, real and
complex, unitarity, round trips, batches, workers, and the exact relation to
orbelix.dst2 on real square power-of-two images."""
import numpy as np
import pytest

import orbelix
from dost_reference import bands, dost2 as ref_dost2, rel_rms
from orbelix_tools import dost, dost2, idost2

SHAPES = [(1, 1), (1, 7), (2, 3), (4, 4), (5, 8), (8, 8), (13, 17), (16, 31), (37, 50), (64, 48),
          (97, 128), (100, 101)]


@pytest.mark.parametrize("shape", SHAPES)
@pytest.mark.parametrize("kind", ["real", "complex"])
def test_against_float64_reference_and_round_trip(shape, kind):
    rng = np.random.default_rng(shape)
    g = rng.standard_normal(shape)
    if kind == "complex":
        g = g + 1j * rng.standard_normal(shape)
    c = dost2(g)
    assert c.dtype == np.complex64 and c.shape == shape
    ref = ref_dost2(g)
    assert rel_rms(c, ref) < 1e-6
    assert np.sum(np.abs(c.astype(np.complex128)) ** 2) == pytest.approx(
        np.sum(np.abs(g) ** 2), rel=2e-6)
    back = idost2(c)
    assert rel_rms(back, g) < 1e-6
    if kind == "real":
        # Both halves computed, yet the spectrum's symmetry holds.
        n1, n2 = shape
        mirror = c[(-np.arange(n1)) % n1][:, (-np.arange(n2)) % n2]
        assert np.max(np.abs(mirror - np.conj(c))) <= 1e-6 * np.max(np.abs(c))


@pytest.mark.parametrize("shape", [(1, 6), (5, 1), (7, 9), (16, 16), (33, 50), (64, 31)])
def test_real_shortcut_gives_the_numbers_of_the_complex_path(shape):
    # Real images go two rows to a transform and mirror half the columns.
    g = np.random.default_rng(7).standard_normal((3,) + shape).astype(np.float32)
    real, full = dost2(g), dost2(g.astype(np.complex64))
    assert np.max(np.abs(real - full)) <= 2e-6 * np.max(np.abs(full))
    # Image by image, whatever else shares the batch (odd row counts too).
    assert np.array_equal(real, np.stack([dost2(im) for im in g]))


def test_complex_images_keep_both_halves():
    # dst2 folds a complex wave onto its conjugate; dost2 keeps it apart.
    n = 8
    q = np.arange(n)
    g = np.exp(2j * np.pi * q / 4)[None, :] * np.ones((n, 1))
    assert rel_rms(idost2(dost2(g)), g) < 1e-6
    assert not np.allclose(orbelix.idst2(orbelix.dst2(g)), g, atol=1e-3)


def test_tensor_product_of_the_1d_transform():
    g = np.random.default_rng(3).standard_normal((12, 20))
    rows_then_columns = dost(dost(g, axis=1), axis=0)
    assert rel_rms(dost2(g), rows_then_columns) < 1e-6


def test_batches_axes_and_workers_bit_for_bit():
    rng = np.random.default_rng(9)
    stack = rng.standard_normal((3, 33, 40)).astype(np.float32)
    c = dost2(stack)
    assert np.array_equal(c, np.stack([dost2(im) for im in stack]))
    for workers in (2, 3, -1):
        assert np.array_equal(dost2(stack, workers=workers), c)
        assert np.array_equal(idost2(c, workers=workers), idost2(c))
    channels_last = np.moveaxis(stack, 0, -1)
    assert np.array_equal(dost2(channels_last, axes=(0, 1)), np.moveaxis(c, 0, -1))
    assert np.array_equal(dost2(stack, axes=(2, 1)), np.swapaxes(dost2(np.swapaxes(stack, 1, 2)), 1, 2))


def dst2_factor(n):
    """Per coefficient of an n x n matrix: orbelix.dst2(g) / dost2(g) for real g."""
    info = {}
    for b, w, negative in bands(n):
        for k in range(w):
            info[(n - b - k) % n if negative else b + k] = (w, k, negative)
    factor = np.empty((n, n), complex)
    for r in range(n):
        x, k, negative = info[r]
        for col in range(n):
            y = info[col][0]
            phase = 0.0
            if x > 1 and negative and col <= n // 2:
                phase = -2 * np.pi * k / x
            elif x > 1 and not negative and r not in (0, n // 2) and col > n // 2:
                phase = 2 * np.pi * k / x
            factor[r, col] = x * y / n * np.exp(1j * phase)
    return factor


@pytest.mark.parametrize("n", [4, 8, 16, 64, 256])
def test_relation_to_orbelix_dst2(n):
    g = np.random.default_rng(n).standard_normal((n, n)).astype(np.float32)
    s = orbelix.dst2(g)
    c = dost2(g)
    expected = c.astype(np.complex128) * dst2_factor(n)
    # Same bands at the same positions, with another scale and, on the
    # negative row octaves (and their mirror), another centre: equal to
    # single-precision rounding of each coefficient and of the rms size.
    scale = np.abs(expected) + np.sqrt(np.mean(np.abs(expected) ** 2))
    assert np.max(np.abs(s - expected) / scale) < 2e-6


@pytest.mark.parametrize("call, exc, message", [
    (lambda: dost2(np.zeros(4)), ValueError, "image has 1 dimension; expected at least 2"),
    (lambda: dost2(np.zeros((0, 4))), ValueError, "image is empty along axis=(-2, -1)"),
    (lambda: dost2(np.zeros((3, 4)), axes=(0, 0)), ValueError, "names the same axis twice"),
    (lambda: dost2(np.zeros((3, 4)), axes=(0, 2)), ValueError, "axes=2 is out of range"),
    (lambda: dost2(np.zeros((3, 4)), axes=0), TypeError, "axes must be a tuple of two integers"),
    (lambda: dost2(np.full((3, 4), np.nan)), ValueError, "image[0, 0]=nan is not finite"),
    (lambda: idost2(np.zeros((3, 4), dtype=object)), TypeError, "c has dtype object"),
    (lambda: dost2(np.zeros((3, 4)), workers=2000), ValueError, "workers=2000"),
])
def test_bad_input(call, exc, message):
    with pytest.raises(exc) as info:
        call()
    assert message in str(info.value)
