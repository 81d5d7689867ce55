"""The local image analysis entry routines imfreq and cmsht2, called through ctypes.

The references are written here from the definitions: the band offsets in
float32 as the routine computes them, the filter responses in float64.
"""
import math

import numpy as np
import pytest

import cabi
from cabi import f32, i32, ptr

# ---------------------------------------------------------------- imfreq


def bands(l):
    """M: one less than the position of the highest set bit of l."""
    return l.bit_length() - 2


def band_offsets(l, x):
    """Offsets of bands 0..M for pixel coordinate x, in float32, halves away from zero."""
    weight = np.float32(1) - np.float32(x) / np.float32(l)
    out = []
    for b in range(bands(l) + 1):
        width = 0 if b == 0 else 2 ** (b - 1)
        centre = width + (2 ** (b - 2) if b >= 2 else 0)
        t = float(np.float32(centre) - weight * np.float32(width))
        out.append(int(math.copysign(math.floor(abs(t) + 0.5), t)))
    return out


def local_domain_reference(s, x, y):
    """h[i + M, j + M] = s[c0 + sign(i) I_|i|, c0 + sign(j) J_|j|]."""
    l = s.shape[0]
    M = bands(l)
    I, J = band_offsets(l, x), band_offsets(l, y)
    signed_I = np.array([-I[-i] if i < 0 else I[i] for i in range(-M, M + 1)])
    signed_J = np.array([-J[-j] if j < 0 else J[j] for j in range(-M, M + 1)])
    c0 = l // 2 - 1
    return s[np.ix_(c0 + signed_I, c0 + signed_J)]


def call_imfreq(lib, s, x, y):
    l = s.shape[0]
    m = int(math.log2(l)) - 1  # as the Python wrapper sizes the result
    h = np.zeros((2 * m + 1, 2 * m + 1), dtype=np.complex64, order="F")
    s = np.asfortranarray(s, dtype=np.complex64)
    lib.imfreq(i32(l), i32(m), ptr(s), i32(x), i32(y), ptr(h))
    return h


def position_matrix(l):
    """Element (p, q) is p + iq, so every picked value names where it came from."""
    p, q = np.meshgrid(np.arange(l), np.arange(l), indexing="ij")
    return np.asfortranarray((p + 1j * q).astype(np.complex64))


def picked_offsets(h, l):
    """Offsets from the reference point of the elements picked into h."""
    c0 = l // 2 - 1
    return h.real.astype(int) - c0, h.imag.astype(int) - c0


@pytest.mark.parametrize(
    "l, x, expected",
    [(4, 0, [0, 0]), (4, 1, [0, 0]), (4, 2, [0, 1]), (4, 3, [0, 1]),
     (16, 0, [0, 0, 1, 2]), (16, 4, [0, 0, 2, 3]), (16, 8, [0, 1, 2, 4]),
     (16, 12, [0, 1, 3, 5]), (16, 15, [0, 1, 3, 6]),
     (256, 128, [0, 1, 2, 4, 8, 16, 32, 64])],
)
def test_offsets_of_rows_and_columns(lib, l, x, expected):
    assert band_offsets(l, x) == expected
    M = bands(l)
    h = call_imfreq(lib, position_matrix(l), x, x)
    rows, cols = picked_offsets(h, l)
    assert list(rows[M:, M]) == expected  # bands i = 0..M, column band 0
    assert list(cols[M, M:]) == expected
    assert np.all(cols[:, M] == 0)  # the column band alone picks the column


def test_column_offsets_at_the_middle_of_256(lib):
    h = call_imfreq(lib, position_matrix(256), 3, 128)
    assert list(h.imag[7, 7:].astype(int)) == [127, 128, 129, 131, 135, 143, 159, 191]


@pytest.mark.parametrize("l", [2, 3])
def test_smallest_sides_give_the_first_element(lib, l):
    s = np.asfortranarray(np.arange(l * l).reshape(l, l) * (1 + 2j)).astype(np.complex64)
    for x in range(l):
        h = call_imfreq(lib, s, x, l - 1 - x)
        assert h.shape == (1, 1) and h[0, 0] == s[0, 0]


def test_side_four(lib):
    s = position_matrix(4)
    assert np.all(call_imfreq(lib, s, 0, 0) == s[1, 1])
    assert np.array_equal(call_imfreq(lib, s, 2, 2), s[:3, :3])


def test_point_symmetry_through_the_reference(lib):
    l = 128
    c0 = l // 2 - 1
    for x, y in [(0, 0), (5, 100), (64, 63), (127, 127)]:
        h = call_imfreq(lib, position_matrix(l), x, y)
        assert np.all(h.real + h.real[::-1, ::-1] == 2 * c0)
        assert np.all(h.imag + h.imag[::-1, ::-1] == 2 * c0)


@pytest.mark.parametrize("seed", range(6))
def test_picks_exactly_the_named_elements(lib, seed):
    rng = np.random.default_rng(seed)
    for l in list(rng.integers(2, 600, size=10)) + [2 ** int(rng.integers(2, 11))]:
        l = int(l)
        s = (rng.standard_normal((l, l)) + 1j * rng.standard_normal((l, l))).astype(np.complex64)
        for x, y in rng.integers(0, l, size=(5, 2)):
            h = call_imfreq(lib, s, int(x), int(y))
            assert np.array_equal(h, local_domain_reference(s, int(x), int(y))), (l, x, y)


def test_every_pixel_of_a_small_side(lib):
    l = 24
    s = position_matrix(l)
    for x in range(l):
        for y in range(0, l, 5):
            assert np.array_equal(call_imfreq(lib, s, x, y), local_domain_reference(s, x, y))


def test_picks_from_a_transform_result(lib):
    rng = np.random.default_rng(1)
    n = 32
    image = (rng.standard_normal((n, n)) + 1j * rng.standard_normal((n, n))).astype(np.complex64)
    image = np.asfortranarray(image)
    s = np.zeros((n, n), dtype=np.complex64, order="F")
    lib.dst2(i32(n), ptr(image), ptr(s))
    assert np.count_nonzero(s) > n  # a real coefficient matrix, not an empty one
    for x, y in [(0, 0), (7, 21), (16, 15), (31, 16)]:
        assert np.array_equal(call_imfreq(lib, s, x, y), local_domain_reference(s, x, y))


# ---------------------------------------------------------------- cmsht2


def responses64(r, x, y, coarse, fine, k):
    """E, O1, O2, Q in float64 straight from the four kernels."""
    coarse, fine = float(np.float32(coarse)), float(np.float32(fine))
    offsets = np.arange(-k, k + 1)
    j, i = np.meshgrid(offsets, offsets, indexing="ij")  # j: row offset, i: column offset
    rho2 = (i * i + j * j).astype(np.float64)
    u = rho2 + 1
    f_fine = np.sqrt(fine * fine + rho2 / u)
    f_coarse = np.sqrt(coarse * coarse + rho2 / u)
    v = r[x + j, y + i].astype(np.float64)
    d = (f_fine - f_coarse) * v
    return (np.sum((fine * f_fine - coarse * f_coarse) * v),
            np.sum(j / u * d), np.sum(i / u * d), np.sum(rho2 / u * d))


def measures64(r, x, y, coarse=0.2, fine=0.1, k=7):
    E, O1, O2, Q = responses64(r, x, y, coarse, fine, k)
    with np.errstate(divide="ignore", invalid="ignore"):
        ratio = np.hypot(O1, O2) / Q
    return np.array([ratio, np.arctan2(O2, O1), np.arctan2(np.sqrt(O1**2 + O2**2 + Q**2), E),
                     E**2 + O1**2 + O2**2 + Q**2])


def call_cmsht2(lib, r, x, y, coarse=0.2, fine=0.1, k=7):
    r = np.asfortranarray(r, dtype=np.float32)
    h = np.zeros(4, dtype=np.float32)
    lib.cmsht2(i32(r.shape[0]), i32(r.shape[1]), ptr(r), i32(x), i32(y), ptr(h),
               f32(coarse), f32(fine), i32(k))
    return h


def relative_error(got, ref):
    return np.abs(got.astype(np.float64) - ref) / np.abs(ref)


def ramp_image(rng, shape, x, y):
    """Positive noisy ramp through pixel (x, y), sloped both ways, so that no
    response is small next to the terms it sums."""
    p, q = np.meshgrid(np.arange(shape[0]) - x, np.arange(shape[1]) - y, indexing="ij")
    slopes = rng.uniform(0.02, 0.06, 2) * rng.choice([-1, 1], 2)
    noise = rng.uniform(-0.01, 0.01, shape)
    return (rng.uniform(1.0, 2.0) + slopes[0] * p + slopes[1] * q + noise).astype(np.float32)


def random_scales(rng):
    if rng.random() < 0.5:
        return 0.2, 0.1
    coarse, fine = rng.uniform(0.2, 1.0), rng.uniform(0.01, 0.15)
    return (coarse, fine) if rng.random() < 0.5 else (fine, coarse)


@pytest.mark.parametrize("k", range(1, 8))
def test_measures_against_float64(lib, k):
    rng = np.random.default_rng(10 * k)
    for _ in range(40):
        shape = tuple(rng.integers(2 * k + 1, 40, size=2))
        x = int(rng.integers(k, shape[0] - k))
        y = int(rng.integers(k, shape[1] - k))
        r = ramp_image(rng, shape, x, y)
        coarse, fine = random_scales(rng)
        got = call_cmsht2(lib, r, x, y, coarse, fine, k)
        ref = measures64(r, x, y, coarse, fine, k)
        assert np.all(relative_error(got, ref) <= 1e-4), (got, ref)


def measures32(r, x, y, coarse, fine, k):
    """The measures formed step by step in float32, in the order the routine promises."""
    f = np.float32
    coarse, fine = f(coarse), f(fine)
    E = O1 = O2 = Q = f(0)
    for i in range(-k, k + 1):  # column offset, outer
        for j in range(-k, k + 1):  # row offset, inner
            u = f(i * i + j * j + 1)
            p1, p2, p3 = f(j) / u, f(i) / u, (u - f(1)) / u
            a = (p1 * p1 + p2 * p2) + p3 * p3
            f_fine, f_coarse = np.sqrt(fine * fine + a), np.sqrt(coarse * coarse + a)
            v = r[x + j, y + i]
            E = E + (fine * f_fine - coarse * f_coarse) * v
            d = v * (f_fine - f_coarse)
            O1, O2, Q = O1 + p1 * d, O2 + p2 * d, Q + p3 * d
    scale, total = f(1), f(0)
    for c in (O1, O2, Q):
        if c == 0:
            continue
        c = abs(c)
        if c > scale:
            total, scale = f(1) + (scale / c) ** 2 * total, c
        else:
            total = total + (c / scale) ** 2
    norm = scale * np.sqrt(total)
    with np.errstate(divide="ignore", invalid="ignore"):
        ratio = np.hypot(O1, O2) / Q
    return np.array([ratio, np.arctan2(O2, O1), np.arctan2(norm, E),
                     ((E * E + O1 * O1) + O2 * O2) + Q * Q], dtype=np.float32)


def ulps_apart(a, b):
    return abs(int(np.float32(a).view(np.int32)) - int(np.float32(b).view(np.int32)))


@pytest.mark.parametrize("kind", ["uniform", "normal"])
def test_noise_images_in_single_precision_order(lib, kind):
    """On pure noise the odd and radial sums nearly cancel, so only the
    single-precision order itself fixes the digits; follow it step by step."""
    rng = np.random.default_rng(20 + (kind == "normal"))
    for _ in range(60):
        k = int(rng.integers(0, 8))
        shape = tuple(rng.integers(2 * k + 1, 30, size=2))
        r = (rng.random(shape) if kind == "uniform" else rng.standard_normal(shape)).astype(np.float32)
        x, y = int(rng.integers(k, shape[0] - k)), int(rng.integers(k, shape[1] - k))
        coarse, fine = rng.uniform(0.01, 1.0, 2)
        got = call_cmsht2(lib, r, x, y, coarse, fine, k)
        ref = measures32(r, x, y, coarse, fine, k)
        assert np.array_equal(got[[0, 3]], ref[[0, 3]], equal_nan=True), (got, ref)
        assert ulps_apart(got[1], ref[1]) <= 2 and ulps_apart(got[2], ref[2]) <= 2, (got, ref)


def test_huge_values_keep_a_finite_phase(lib):
    rng = np.random.default_rng(8)
    r = (ramp_image(rng, (15, 15), 7, 7) * np.float32(1e22)).astype(np.float32)
    got = call_cmsht2(lib, r, 7, 7)
    ref = measures64(r, 7, 7)
    assert np.isinf(got[3])  # the energy overflows single precision
    assert np.all(relative_error(got[:3], ref[:3]) <= 1e-4), (got, ref)


def test_defaults_as_single_precision_bits(lib):
    rng = np.random.default_rng(3)
    r = rng.random((30, 30)).astype(np.float32)
    got = call_cmsht2(lib, r, 15, 14)
    assert np.all(relative_error(got, measures64(r, 15, 14)) <= 1e-4)


def test_swapping_coarse_and_fine_negates_the_responses(lib):
    rng = np.random.default_rng(4)
    for _ in range(10):
        r = rng.standard_normal((17, 19)).astype(np.float32)
        a = call_cmsht2(lib, r, 8, 9, 0.2, 0.1, 7)
        b = call_cmsht2(lib, r, 8, 9, 0.1, 0.2, 7)
        assert b[0] == -a[0] and b[3] == a[3]
        assert abs(math.remainder(float(b[1]) - float(a[1]) - math.pi, 2 * math.pi)) < 1e-5
        assert abs(float(b[2]) - (math.pi - float(a[2]))) < 1e-5


def test_image_varying_along_rows_only(lib):
    rng = np.random.default_rng(5)
    r = np.repeat(rng.random((25, 1)), 20, axis=1).astype(np.float32)
    for x, y in [(7, 7), (12, 10), (17, 12)]:
        E, O1, O2, Q = responses64(r, x, y, 0.2, 0.1, 7)
        assert O2 == pytest.approx(0, abs=1e-12)
        h = call_cmsht2(lib, r, x, y)
        assert abs(math.sin(h[1])) < 1e-5
        assert h[0] == pytest.approx(abs(O1) / Q, rel=1e-4)


def test_centre_only(lib):
    r = np.full((5, 5), 7.0, dtype=np.float32)
    r[2, 2] = 2.0
    h = call_cmsht2(lib, r, 2, 2, k=0)
    E = (np.float32(0.1) * np.float32(0.1) - np.float32(0.2) * np.float32(0.2)) * np.float32(2)
    assert math.isnan(h[0]) and h[1] == 0 and h[2] == np.float32(math.pi) and h[3] == E * E
    r[2, 2] = -2.0
    assert call_cmsht2(lib, r, 2, 2, k=0)[2] == 0


@pytest.mark.parametrize("case", ["negative K", "zero window", "fine = coarse"])
def test_no_response(lib, case):
    rng = np.random.default_rng(6)
    r = rng.random((15, 15)).astype(np.float32)
    if case == "negative K":
        h = call_cmsht2(lib, r, 7, 7, k=-3)
    elif case == "zero window":
        r[2:13, 2:13] = 0
        h = call_cmsht2(lib, r, 7, 7, k=5)
    else:
        h = call_cmsht2(lib, r, 7, 7, 0.35, 0.35, 7)
    assert math.isnan(h[0]) and h[1] == 0 and h[2] == 0 and h[3] == 0


def test_window_over_the_edge_reads_nothing_outside(lib):
    rng = np.random.default_rng(7)
    r = rng.random((6, 9)).astype(np.float32)
    padded = np.zeros((6 + 14, 9 + 14), dtype=np.float32)
    padded[7:-7, 7:-7] = r
    for x, y in [(0, 0), (3, 8), (5, 4)]:
        assert np.array_equal(call_cmsht2(lib, r, x, y), call_cmsht2(lib, padded, x + 7, y + 7))
