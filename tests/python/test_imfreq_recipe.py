"""imfreq reads its matrix around (l/2 - 1, l/2 - 1). The README's recipe moves
dst2's zero frequency there; then entry (i, j) for pixel (x, y) is the
coefficient at signed frequency (sign(i) F_|i|(x), sign(j) F_|j|(y)) cycles per
image, with F_0 = 0, F_1(x) = round(x/l), F_b(x) = 2^(b-2) + round(2^(b-1) x/l)
and halves rounded up. These tests hold the README to that statement and check
what it means for stripes of known period and direction."""
import math
import re
import textwrap
from fractions import Fraction
from pathlib import Path

import numpy as np
import pytest

import orbelix

README = Path(__file__).resolve().parents[2] / "README.md"


def centred(s):
    """The README's recipe: zero frequency to (l/2 - 1, l/2 - 1)."""
    l = s.shape[0]
    return np.roll(s, (l // 2 - 1, l // 2 - 1), axis=(0, 1))


def band_frequency(b, x, l):
    """Frequency (cycles per image) that band b reads for pixel coordinate x."""
    if b == 0:
        return 0
    half_up = lambda q: math.floor(q + Fraction(1, 2))
    if b == 1:
        return half_up(Fraction(x, l))
    return 2 ** (b - 2) + half_up(Fraction(2 ** (b - 1) * x, l))


def octave(f):
    """dst2 band of a frequency along one axis: 0 for 0, b for 2^(b-1) <= |f| < 2^b."""
    return 0 if f == 0 else abs(int(f)).bit_length()


def stripes(l, fr, fc):
    """Plane wave with fr cycles per image down the rows and fc along the columns."""
    rows, cols = np.mgrid[0:l, 0:l]
    return np.cos(2 * np.pi * (fr * rows + fc * cols) / l + 0.4)


def local_domain(image, x, y):
    return orbelix.imfreq(centred(orbelix.dst2(image)), x, y)


def readme_section_code(heading):
    """The indented code of the README section whose heading starts with `heading`."""
    text = README.read_text()
    start = text.index(heading)
    end = text.find("\n#", start + 1)
    body = text[start:end if end >= 0 else len(text)]
    blocks = re.findall(r"(?:^(?: {4}.*)?\n)+", body, re.M)
    return "".join(textwrap.dedent(b) for b in blocks if b.strip())


def test_readme_example_runs_and_finds_its_stripes():
    namespace = {"np": np, "orbelix": orbelix}
    exec(readme_section_code("### `h = imfreq"), namespace)
    local, s, image, (x, y) = (namespace[k] for k in ("local", "s", "stripes", "pixel"))
    l, m = s.shape[0], local.shape[0] // 2
    assert np.array_equal(local, orbelix.imfreq(centred(s), x, y))
    # The example's stripes vary down the rows only: the strongest entries lie
    # in column band 0, at the row band of their octave.
    f = int(np.argmax(np.abs(np.fft.fft(image[:, 0]))[: l // 2]))
    band = octave(f) if x >= l // 2 else octave(f) + 1
    strong = np.argwhere(np.abs(local) > 0.5 * np.abs(local).max()) - m
    assert sorted(map(tuple, strong)) == [(-band, 0), (band, 0)]


@pytest.mark.parametrize("l", [4, 8, 16, 64])
def test_each_entry_reads_the_stated_frequency(l):
    rng = np.random.default_rng(l)
    image = rng.standard_normal((l, l)) + 1j * rng.standard_normal((l, l))
    s = orbelix.dst2(image)
    m = int(math.log2(l)) - 1
    for x, y in [(0, 0), (l - 1, l - 1), (l // 2 - 1, l // 2), (l // 4, 3 * l // 4), (1, l // 2 + 1)]:
        local = orbelix.imfreq(centred(s), x, y)
        for i in range(-m, m + 1):
            for j in range(-m, m + 1):
                fr = int(np.sign(i)) * band_frequency(abs(i), x, l)
                fc = int(np.sign(j)) * band_frequency(abs(j), y, l)
                assert local[i + m, j + m] == s[fr % l, fc % l], (x, y, i, j)


def test_zero_frequency_is_band_zero_at_every_pixel():
    l = 16
    image = np.full((l, l), 3.0)
    s = orbelix.dst2(image)
    for x in range(l):
        for y in range(l):
            local = orbelix.imfreq(centred(s), x, y)
            m = local.shape[0] // 2
            assert local[m, m] == pytest.approx(3.0, abs=1e-5)
            # Nothing but band 0 (and band 1 where it reads frequency 0).
            zero_rows = [m] + ([m - 1, m + 1] if x < l // 2 else [])
            zero_cols = [m] + ([m - 1, m + 1] if y < l // 2 else [])
            mask = np.zeros(local.shape, bool)
            mask[np.ix_(zero_rows, zero_cols)] = True
            assert np.allclose(local[mask], 3.0, atol=1e-5)
            assert np.abs(local[~mask]).max() < 1e-5


# (fr, fc): cycles per image down the rows and along the columns, l = 64.
# Directions 0, 90, 45, -45 degrees and oblique; periods 5 to 21 pixels.
WAVES = [(12, 0), (5, 0), (0, 12), (0, 3), (6, 6), (9, -9), (10, 4), (-3, 12), (7, -2)]


@pytest.mark.parametrize("fr, fc", WAVES)
def test_stripes_show_at_their_octave_and_direction(fr, fc):
    l = 64
    m = int(math.log2(l)) - 1
    image = stripes(l, fr, fc)
    s = orbelix.dst2(image)
    for x in range(0, l, 3):
        for y in range(0, l, 3):
            local = np.abs(orbelix.imfreq(centred(s), x, y))
            # Below the top octave every pixel sees the stripes.
            assert local.max() > 0.1, (x, y)
            strong = np.argwhere(local > 1e-3 * local.max()) - m
            for i, j in strong:
                read_r = int(np.sign(i)) * band_frequency(abs(i), x, l)
                read_c = int(np.sign(j)) * band_frequency(abs(j), y, l)
                # The entry reads the stripes' own octave pair ...
                assert (octave(read_r), octave(read_c)) == (octave(fr), octave(fc)), (x, y, i, j)
                # ... on the side of the wave vector or its mirror: same direction.
                assert np.sign(read_r) * np.sign(read_c) == np.sign(fr) * np.sign(fc)
                if fc == 0:
                    assert read_c == 0
                if fr == 0:
                    assert read_r == 0
            # The band index: octave b in rows (columns) l/2 ... l-1, one
            # higher in rows (columns) 0 ... l/2-1, up to rounding at l/2.
            i, j = np.abs(np.unravel_index(np.argmax(local), local.shape) - np.array([m, m]))
            for band, coord, f in ((i, x, fr), (j, y, fc)):
                if f != 0:
                    assert band in ((octave(f),) if coord >= l // 2 else (octave(f) + 1, octave(f)))


def test_top_octave_is_seen_only_from_the_second_half():
    # 20 cycles per image lies in the top octave 16 ... 31 of l = 64: band 5 reads
    # it from rows 32 on; rows above l/2 read 8 ... 16 and see nothing.
    l = 64
    s = orbelix.dst2(stripes(l, 20, 0))
    seen = [np.abs(orbelix.imfreq(centred(s), x, 7)).max() > 0.1 for x in range(l)]
    assert not any(seen[:30]) and all(seen[32:])


def test_fftshift_misses_the_zero_frequency():
    # The shift the README used to give puts the zero frequency at l/2, one
    # after the place imfreq reads, and axis-aligned stripes vanish.
    l = 64
    s = orbelix.dst2(stripes(l, 12, 0))
    empty = sum(np.abs(orbelix.imfreq(np.fft.fftshift(s), x, y)).max() < 1e-3
                for x in range(0, l, 4) for y in range(0, l, 4))
    assert empty > 0
    assert all(np.abs(local_domain(stripes(l, 12, 0), x, y)).max() > 0.1
               for x in range(0, l, 4) for y in range(0, l, 4))


def test_half_coordinates_read_the_pixel_itself():
    # Stripes of 12 cycles per image along the columns, present only around
    # column 128. Called at (x // 2, y // 2), imfreq sees them at pixels near
    # column 128 and not far from it; called at (x, y) it reads other places.
    l = 256
    rows, cols = np.mgrid[0:l, 0:l]
    envelope = (0.5 - 0.5 * np.cos(2 * np.pi * cols / l)) ** 8   # 1 at column 128, < 0.01 beyond 64 of it
    s = orbelix.dst2(np.cos(2 * np.pi * 12 * cols / l) * envelope)
    seen = lambda x, y: np.abs(orbelix.imfreq(centred(s), x, y)).max()
    near = [seen(100 // 2, y // 2) for y in range(120, 137, 4)]
    far = [seen(100 // 2, y // 2) for y in list(range(0, 40, 8)) + list(range(216, 256, 8))]
    assert min(near) > 1.0 and max(far) < 0.1 * min(near)
    # The pixel coordinates themselves read column 2y or y - 128.
    assert seen(100, 128) < 0.1 * min(near)
    assert seen(100, 64) > 1.0 and seen(100, 255) > 1.0
