"""Local spectrum maps: every reduction against the float64 DOST, Parseval over
pixels, stripes and a chirp of known local frequency, orbelix.imfreq's values,
batches, workers and strict input."""
import math

import numpy as np
import pytest

import orbelix
from dost_reference import bands, dost2 as ref_dost2
from orbelix_tools import dost_bands, local_spectrum


def places(n):
    """band x pixel -> coefficient position covering the pixel (nearest place)."""
    out = []
    for b, w, negative in bands(n):
        k = ((2 * np.arange(n) * w + n) // (2 * n)) % w
        out.append((n - b - k) % n if negative else b + k)
    return np.array(out)


def centres(n, d):
    return np.array([b.centre for b in dost_bands(n, 1.0 / d)])


def reference_full(g, spacing=(1.0, 1.0)):
    """(ky, kx) per pair, |c| per pair and pixel, and the energy weights."""
    n1, n2 = g.shape
    c = ref_dost2(g)
    pr, pc = places(n1), places(n2)
    mags = np.abs(c[pr[:, None, :, None], pc[None, :, None, :]])
    ky, kx = np.meshgrid(centres(n1, spacing[0]), centres(n2, spacing[1]), indexing="ij")
    wr = np.array([w for _, w, _ in bands(n1)])
    wc = np.array([w for _, w, _ in bands(n2)])
    weight = np.outer(wr, wc) / (n1 * n2)
    return ky, kx, mags, weight


@pytest.mark.parametrize("shape", [(16, 16), (13, 20), (32, 24)])
def test_full_against_reference(shape):
    g = np.random.default_rng(shape).standard_normal(shape)
    spacing = (0.5, 2.0)
    k, m = local_spectrum(g, spacing=spacing, output="full")
    ky, kx, mags, _ = reference_full(g, spacing)
    assert m.dtype == np.float32 and m.shape == ky.shape + shape
    assert np.array_equal(k, np.stack([ky, kx], axis=-1))
    assert np.max(np.abs(m - mags)) < 2e-6 * np.max(mags)


@pytest.mark.parametrize("shape", [(16, 32), (15, 22)])
def test_octaves_against_reference_and_parseval(shape):
    g = np.random.default_rng(1).standard_normal(shape) + 1j * np.random.default_rng(2).standard_normal(shape)
    cen, energy = local_spectrum(g, output="octaves")
    ky, kx, mags, weight = reference_full(g)
    radius = np.hypot(ky, kx)
    r0 = radius[radius > 0].min()
    with np.errstate(divide="ignore"):
        octave = np.where(radius > 0, np.floor(np.log2(radius / r0) + 1e-9) + 1, 0).astype(int)
    assert len(cen) == octave.max() + 1 and cen[0] == 0
    for o in range(1, len(cen)):
        assert r0 * 2 ** (o - 1) <= cen[o] < r0 * 2 ** o
    dens = mags ** 2 * weight[:, :, None, None]
    want = np.stack([dens[octave == o].sum(axis=0) for o in range(len(cen))])
    assert energy.shape == (len(cen),) + shape
    assert np.max(np.abs(energy - want)) < 1e-5 * np.max(want)
    if all(n & (n - 1) == 0 for n in shape):
        # Places of power-of-two sides tile the pixels evenly: the pixels'
        # energies add up to the image's.
        assert energy.sum(dtype=np.float64) == pytest.approx(np.sum(np.abs(g) ** 2), rel=1e-5)


def test_dominant_is_the_pair_with_most_energy():
    # Complex: a real image ties each pair with its mirror (same answer).
    rng = np.random.default_rng(4)
    g = rng.standard_normal((24, 40)) + 1j * rng.standard_normal((24, 40))
    f, o = local_spectrum(g, spacing=(1.0, 3.0))
    ky, kx, mags, weight = reference_full(g, (1.0, 3.0))
    dens = mags ** 2 * weight[:, :, None, None]
    dens[0, 0] = -1  # the zero-frequency pair takes no part
    flat = dens.reshape(-1, *g.shape)
    best = np.argmax(flat, axis=0)
    want_f = np.hypot(ky, kx).ravel()[best]
    want_o = np.mod(np.arctan2(ky, kx), np.pi).ravel()[best]
    # Near-ties between pairs may go either way in single precision.
    top2 = np.sort(flat, axis=0)[-2:]
    clear = top2[1] > 1.001 * top2[0]
    assert clear.mean() > 0.9
    assert np.allclose(f[clear], want_f[clear], rtol=1e-6)
    assert np.allclose(o[clear], want_o[clear], rtol=1e-6, atol=1e-7)
    assert np.all((o >= 0) & (o < np.pi))


@pytest.mark.parametrize("fr, fc", [(12, 0), (0, 12), (6, 6), (9, -9), (10, 4), (-3, 12), (20, -7)])
def test_stripes_of_known_wave_vector(fr, fc):
    n1, n2 = 64, 96
    dy, dx = 0.25, 0.5
    rows, cols = np.mgrid[0:n1, 0:n2]
    image = np.cos(2 * np.pi * (fr * rows / n1 + fc * cols / n2) + 0.3)
    f, o = local_spectrum(image, spacing=(dy, dx))
    # The pair holding the wave's bins (or its mirror: the same frequency and
    # orientation) wins everywhere: its centre, in cycles per unit.
    by = next(b for b in dost_bands(n1, 1 / dy) if b.fmin <= fr / (n1 * dy) <= b.fmax)
    bx = next(b for b in dost_bands(n2, 1 / dx) if b.fmin <= fc / (n2 * dx) <= b.fmax)
    assert np.allclose(f, np.hypot(by.centre, bx.centre), rtol=1e-6)
    assert np.allclose(o, np.mod(np.arctan2(by.centre, bx.centre), np.pi), rtol=1e-6, atol=1e-7)
    # Within the band's resolution of the wave's own frequency and angle.
    true_f = math.hypot(fr / (n1 * dy), fc / (n2 * dx))
    assert abs(np.median(f) - true_f) <= math.hypot(by.fmax - by.fmin + 1 / (n1 * dy),
                                                    bx.fmax - bx.fmin + 1 / (n2 * dx))


def test_chirp_frequency_rises_across_the_image():
    n1, n2 = 64, 512
    cols = np.arange(n2)
    phase = 2 * np.pi * (0.02 * cols + 0.4 * cols ** 2 / (2 * n2))  # 0.02 .. 0.42 cycles/pixel
    f, o = local_spectrum(np.tile(np.cos(phase), (n1, 1)))
    along = np.median(f, axis=0)
    quarters = [np.median(along[i * n2 // 4:(i + 1) * n2 // 4]) for i in range(4)]
    assert quarters == sorted(quarters) and quarters[-1] > 3 * quarters[0]
    local = 0.02 + 0.4 * cols / n2
    # Octave bands: within a factor of two of the true local frequency.
    inner = slice(n2 // 8, n2 - n2 // 8)
    assert np.all((along[inner] > local[inner] / 2) & (along[inner] < 2 * local[inner]))
    assert np.allclose(o, 0)


def imfreq_reads(l, x, i):
    """Position of the dst2 coefficient that imfreq's band i reads at pixel x
    (its signed frequency, as test_imfreq_recipe states it)."""
    if i == 0:
        return 0
    b = abs(i)
    f = math.floor(x / l + 0.5) if b == 1 else 2 ** (b - 2) + math.floor(2 ** (b - 1) * x / l + 0.5)
    return (int(np.sign(i)) * f) % l


@pytest.mark.parametrize("l", [16, 64])
def test_imfreq_values_are_band_magnitudes(l):
    g = np.random.default_rng(l).standard_normal((l, l)).astype(np.float32)
    s = orbelix.dst2(g)
    k, mags = local_spectrum(g, output="full")
    band_of, place_of, width_of = {}, {}, []
    for index, (b, w, negative) in enumerate(bands(l)):
        width_of.append(w)
        for p in range(w):
            pos = (l - b - p) % l if negative else b + p
            band_of[pos], place_of[pos] = index, p
    m = int(math.log2(l)) - 1
    checked = 0
    for x, y in [(0, 0), (l - 1, 3), (l // 2, l // 4), (5, l - 2)]:
        local = orbelix.imfreq(np.roll(s, (l // 2 - 1, l // 2 - 1), axis=(0, 1)), x, y)
        for i in range(-m, m + 1):
            for j in range(-m, m + 1):
                r, c = imfreq_reads(l, x, i), imfreq_reads(l, y, j)
                bi, bj = band_of[r], band_of[c]
                wr, wc = width_of[bi], width_of[bj]
                # The pixel at the start of that coefficient's place.
                pr, pc = place_of[r] * l // wr, place_of[c] * l // wc
                assert abs(local[i + m, j + m]) == pytest.approx(
                    mags[bi, bj, pr, pc] * wr * wc / l, rel=2e-5, abs=1e-6 * np.abs(s).max())
                checked += 1
    assert checked == 4 * (2 * m + 1) ** 2


def test_batches_and_workers_bit_for_bit():
    stack = np.random.default_rng(8).standard_normal((3, 40, 33)).astype(np.float32)
    for output in ("dominant", "octaves", "full"):
        one = local_spectrum(stack, output=output)
        for w in (2, 3):
            again = local_spectrum(stack, output=output, workers=w)
            assert all(np.array_equal(a, b) for a, b in zip(one, again))
        single = [local_spectrum(im, output=output) for im in stack]
        if output == "dominant":
            assert np.array_equal(one[0], np.stack([s[0] for s in single]))
            assert np.array_equal(one[1], np.stack([s[1] for s in single]))
        else:
            assert np.array_equal(one[1], np.stack([s[1] for s in single], axis=-3))


@pytest.mark.parametrize("call, exc, message", [
    (lambda: local_spectrum(np.zeros(5)), ValueError, "image has 1 dimension; expected at least 2"),
    (lambda: local_spectrum(np.zeros((4, 0))), ValueError, "image is empty"),
    (lambda: local_spectrum(np.zeros((4, 4)), spacing=(1.0, 0.0)), ValueError, "spacing[1]=0.0 must be finite and positive"),
    (lambda: local_spectrum(np.zeros((4, 4)), spacing=(np.inf, 1.0)), ValueError, "spacing[0]=inf"),
    (lambda: local_spectrum(np.zeros((4, 4)), spacing=1.0), TypeError, "spacing must be a pair"),
    (lambda: local_spectrum(np.zeros((4, 4)), output="max"), ValueError, "output='max' is not one of"),
    (lambda: local_spectrum(np.full((4, 4), np.inf)), ValueError, "image[0, 0]=inf is not finite"),
    (lambda: local_spectrum(np.zeros((4, 4), bool)), TypeError, "image has dtype bool"),
])
def test_bad_input(call, exc, message):
    with pytest.raises(exc) as info:
        call()
    assert message in str(info.value)


def test_full_refuses_beyond_memory_before_allocating(monkeypatch):
    from orbelix_tools import _arrays
    monkeypatch.setattr(_arrays, "_memory_bytes", lambda: 10**6)
    with pytest.raises(MemoryError, match=r"the band magnitudes of shape \(12, 12, 64, 64\) "
                                          r"\(float32\) needs 0.00236 GB"):
        local_spectrum(np.zeros((64, 64)), output="full")


def test_constant_image_has_no_dominant_frequency():
    f, o = local_spectrum(np.full((8, 12), 2.0))
    assert not f.any() and not o.any()
