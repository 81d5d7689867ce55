"""The tour runs end to end: figure written, round trips exact to single precision."""
import re
import subprocess
import sys
from pathlib import Path

TOUR = Path(__file__).resolve().parents[2] / "examples" / "tour.py"


def run_tour(*args, cwd):
    done = subprocess.run([sys.executable, str(TOUR), *args], cwd=cwd,
                          capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    return done.stdout


def test_help_says_what_it_does(tmp_path):
    out = run_tour("--help", cwd=tmp_path)
    assert "--out" in out and "figure" in out
    assert not list(tmp_path.iterdir())


def test_tour_writes_the_figure_and_reports(tmp_path):
    target = tmp_path / "sub" / "figure.png"
    target.parent.mkdir()
    out = run_tour("--out", str(target), cwd=tmp_path)

    assert target.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    assert target.stat().st_size > 50_000
    assert not (tmp_path / "tour.png").exists()

    assert "(2048,) complex64 -> (1025, 2048) complex64" in out
    assert "(256, 256) complex64 ->     (15, 15) complex64" in out
    errors = re.findall(r"round trip: +max \|error\| (\S+), relative L2 (\S+)", out)
    assert len(errors) == 2
    for max_error, relative in errors:
        assert float(max_error) < 1e-5
        assert float(relative) < 1e-5

    # Each texture's orientation, modulo 180 degrees, near its wave direction.
    rows = re.findall(r"^ +\(\d+, \d+\)(?: +\S+){4} +(\S+) +(\S+)$", out, re.M)
    assert len(rows) == 4
    for measured, direction in rows:
        assert abs(float(measured) - float(direction)) < 8
