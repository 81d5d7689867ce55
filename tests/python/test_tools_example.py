"""The EEG example runs, writes its figure and finds what was put into its data."""
import importlib.util
import os
import subprocess
import sys
from pathlib import Path

import pytest

pytest.importorskip("matplotlib")

EXAMPLE = Path(__file__).resolve().parents[2] / "examples" / "eeg_example.py"
README = Path(__file__).resolve().parents[2] / "README.md"
PNG = b"\x89PNG\r\n\x1a\n"


@pytest.fixture(scope="module")
def example():
    loader_spec = importlib.util.spec_from_file_location("eeg_example", EXAMPLE)
    module = importlib.util.module_from_spec(loader_spec)
    loader_spec.loader.exec_module(module)
    return module


@pytest.mark.slow
def test_main_writes_the_figure_and_finds_the_sources(example, tmp_path, monkeypatch):
    monkeypatch.setenv("MPLBACKEND", "Agg")
    monkeypatch.chdir(tmp_path)
    out = tmp_path / "figure.png"
    facts = example.main(out=str(out))

    assert out.read_bytes()[:8] == PNG and out.stat().st_size > 50_000
    assert [p.name for p in tmp_path.iterdir()] == ["figure.png"]
    # The alpha rhythm was made at 10 Hz; voices are 0.25 Hz apart.
    assert abs(facts["alpha_peak_hz"] - example.ALPHA_HZ) <= 0.25
    # The sweep's ridge follows its instantaneous frequency.
    for _, expected, found in facts["chirp_track"]:
        assert abs(found - expected) <= 1.5
    # The alpha band cut out by mask-and-invert is the alpha source.
    assert facts["alpha_correlation"] > 0.9
    # Phase locking after the stimulus, in the evoked response's band; none before.
    f_peak, t_peak, itc_peak = facts["itc_peak"]
    assert f_peak < 9.0 and 0.0 < t_peak < 0.4 and itc_peak > 0.5
    assert facts["itc_baseline"] < 0.25
    # Except at low frequencies, whose long windows reach back from the
    # response into the baseline; the README states both figures.
    assert facts["itc_baseline_2_3hz"] > 0.3
    readme = README.read_text()
    assert (f"against {facts['itc_baseline']:.2f} before it" in readme
            and f"At 2-3 Hz\nthe ITC before the stimulus is {facts['itc_baseline_2_3hz']:.2f}" in readme)


@pytest.mark.slow
def test_runs_as_a_script(tmp_path):
    env = {**os.environ, "MPLBACKEND": "Agg"}
    done = subprocess.run([sys.executable, str(EXAMPLE)], cwd=tmp_path, env=env,
                          capture_output=True, text=True, timeout=300)
    assert done.returncode == 0, done.stderr
    assert (tmp_path / "eeg_example.png").read_bytes()[:8] == PNG
    assert "figure written to eeg_example.png" in done.stdout
