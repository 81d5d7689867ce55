"""The tour runs end to end: figures written (the EEG example's and the
texture maps' beside the tour's), round trips exact to single precision, local measures where the textures are, and the README's table of
the cmsht2 orientation bias is the one the tour measures."""
import importlib.util
import re
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

import orbelix

ROOT = Path(__file__).resolve().parents[2]
TOUR = ROOT / "examples" / "tour.py"
README = ROOT / "README.md"


def run_tour(*args, cwd):
    done = subprocess.run([sys.executable, str(TOUR), *args], cwd=cwd,
                          capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    return done.stdout


def test_help_says_what_it_does(tmp_path):
    out = run_tour("--help", cwd=tmp_path)
    assert "--out" in out and "figure" in out
    assert not list(tmp_path.iterdir())


@pytest.fixture(scope="module")
def tour_run(tmp_path_factory):
    """One run of the whole tour: its directory, figure and printed report."""
    where = tmp_path_factory.mktemp("tour")
    target = where / "sub" / "figure.png"
    target.parent.mkdir()
    return where, target, run_tour("--out", str(target), cwd=where)


@pytest.mark.slow
def test_tour_writes_the_figure_and_reports(tour_run):
    tmp_path, target, out = tour_run

    assert target.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    assert target.stat().st_size > 50_000
    assert not (tmp_path / "tour.png").exists()
    # The analysis package's EEG example comes first, its figure beside the tour's.
    eeg = target.with_name("eeg_example.png")
    assert eeg.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    assert "alpha peak 10.00 Hz (made at 10.0 Hz)" in out
    # Then the texture photograph's maps, their figure beside the tour's too:
    # the grass's dominant frequency well above the brick wall's.
    texture = target.with_name("texture_maps.png")
    assert texture.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    maps = re.search(r"local_spectrum of 512 x 812: .* median dominant frequency brick (\S+), "
                     r"grass (\S+) cycles/pixel; idost2\(dost2\(image\)\) rms error (\S+);", out)
    assert maps is not None
    brick, grass, rms = (float(v) for v in maps.groups())
    assert grass > 1.5 * brick and rms < 1e-6

    assert "(2048,) complex64 -> (1025, 2048) complex64" in out
    assert "(256, 256) complex64 ->     (15, 15) complex64" in out
    errors = re.findall(r"round trip: +max \|error\| (\S+), relative L2 (\S+)", out)
    assert len(errors) == 2
    for max_error, relative in errors:
        assert float(max_error) < 1e-5
        assert float(relative) < 1e-5

    # Each texture's orientation, modulo 180 degrees, near its wave direction.
    rows = re.findall(r"^ +\(\d+, \d+\)(?: +\S+){4} +(\S+) +(\S+) +(\S+)$", out, re.M)
    assert len(rows) == 2
    for measured, direction, period in rows:
        assert abs(float(measured) - float(direction)) < 8

    # imfreq's strongest entry lies in the bands of the texture's octaves,
    # or their mirror, each labelled by its octave's centre frequency.
    found = re.findall(r"wave \((-?\d+), (-?\d+)\) cycles per image\): strongest at bands "
                       r"\(-?\d+, -?\d+\), the octaves around \((-?[\d.]+), (-?[\d.]+)\) "
                       r"cycles per image", out)
    assert len(found) == 2
    octave = lambda f: int(abs(float(f))).bit_length() * (1 if float(f) >= 0 else -1)
    for fr, fc, read_r, read_c in found:
        wave, read = (octave(fr), octave(fc)), (octave(read_r), octave(read_c))
        assert read in (wave, (-wave[0], -wave[1]))


def load_tour():
    loader_spec = importlib.util.spec_from_file_location("tour", TOUR)
    tour = importlib.util.module_from_spec(loader_spec)
    loader_spec.loader.exec_module(tour)
    return tour


def test_imfreq_bands_are_labelled_by_their_octave_not_the_pixel():
    # Called at a pixel's halved coordinates, band b >= 2 holds octave b - 1
    # (frequencies 2^(b-2) ... 2^(b-1) - 1) wherever the pixel lies: one
    # label per band, the mean of its octave's frequencies.
    tour = load_tour()
    centres = tour.band_centres(256)
    assert len(centres) == 8 and centres[:2] == [0.0, 0.0]
    for b in range(2, 8):
        assert centres[b] == np.mean(np.arange(2 ** (b - 2), 2 ** (b - 1)))
    # Grass-like texture, the same everywhere: its strongest band is the
    # same at pixels across the image, and so is its label.
    l = 256
    rows, cols = np.mgrid[0:l, 0:l]
    image = np.cos(2 * np.pi * (11 * rows + 5 * cols) / l)
    centred = tour.centred_for_imfreq(orbelix.dst2(image))
    strongest = set()
    # (Pixels below 224: from there rounding makes band 4 read the first
    # frequency of the next octave, as the README says.)
    for x, y in ((40, 40), (100, 200), (200, 60), (150, 150), (10, 220)):
        local = np.abs(orbelix.imfreq(centred, x // 2, y // 2))
        i, j = np.unravel_index(np.argmax(local), local.shape)
        strongest.add((abs(i - 7), abs(j - 7)))
    assert strongest == {(5, 4)}
    assert (centres[5], centres[4]) == (11.5, 5.5)


def bias_table(text, row_pattern):
    return {int(m[0]): [float(v) for v in re.split(r"[ |]+", m[1].strip(" |"))]
            for m in re.findall(row_pattern, text, re.M)}


@pytest.mark.slow
def test_readme_bias_table_is_what_the_tour_measures(tour_run):
    out = tour_run[2]
    measured = bias_table(out[out.index("cmsht2 orientation bias"):],
                          r"^ +(\d+) +((?:-?\d+\.\d +)*-?\d+\.\d)$")
    stated = bias_table(README.read_text(), r"^\| (\d+) ((?:\| -?\d+\.\d )+)\|$")
    assert sorted(measured) == [6, 8, 12, 16, 24, 32, 48]
    assert stated == measured
    # The bias the README describes: 30 degrees reads 25.8 at period 16 and
    # 18.3 at period 8; axis-aligned and diagonal waves are not pulled.
    assert measured[16][2] == 25.8 and measured[8][2] == 18.3
    assert all(row[0] == 0.0 and row[3] == 45.0 and row[6] == 90.0 for row in measured.values())


def test_test_image_is_periodic():
    tour = load_tour()
    image = tour.make_image().astype(np.float64)
    # Neighbouring pixels, across the edges too, differ by no more than the
    # stripes' steepest slope plus the blend's (2 pi 16.1 / 256 + 0.1 < 0.6);
    # a seam between two textures jumps by up to 2.
    for axis in (0, 1):
        steps = np.abs(np.diff(image, axis=axis, append=np.take(image, [0], axis)))
        assert steps.max() < 0.6
