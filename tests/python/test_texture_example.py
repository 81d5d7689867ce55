"""The texture example runs on scikit-image's bundled images, writes its
figure and tells the fine grass from the coarse brick wall."""
import importlib.util
from pathlib import Path

import numpy as np
import pytest

pytest.importorskip("matplotlib")
pytest.importorskip("skimage")

EXAMPLE = Path(__file__).resolve().parents[2] / "examples" / "texture_maps.py"


def test_example_writes_its_figure_and_separates_the_textures(tmp_path, monkeypatch):
    monkeypatch.setenv("MPLBACKEND", "Agg")
    loader_spec = importlib.util.spec_from_file_location("texture_maps", EXAMPLE)
    module = importlib.util.module_from_spec(loader_spec)
    loader_spec.loader.exec_module(module)
    out = tmp_path / "maps.png"
    facts = module.main(out=str(out))
    assert out.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    assert facts["round_trip_rms"] < 1e-6
    assert facts["median_frequency_grass"] > 1.5 * facts["median_frequency_brick"]
    assert np.all(np.diff(facts["octave_centres"]) > 0)
