"""plot_map: frequency, orientation and energy maps placed by the pixel
spacing, the cyclic colour map and the segments of orientations, decibels,
strict inputs."""
import numpy as np
import pytest

matplotlib = pytest.importorskip("matplotlib")
matplotlib.use("Agg")
from matplotlib.figure import Figure  # noqa: E402

from orbelix_tools import plot_map  # noqa: E402


def new_axes():
    return Figure().add_subplot()


def test_frequency_map_placed_by_spacing():
    values = np.arange(12.0).reshape(3, 4)
    ax = plot_map(values, spacing=(0.5, 2.0), ax=new_axes())
    image = ax.images[0]
    np.testing.assert_array_equal(image.get_array(), values)
    # Pixel centres at x = col * dx, y = row * dy, rows running downwards.
    assert image.get_extent() == [-1.0, 7.0, 1.25, -0.25]
    assert image.colorbar.ax.get_ylabel() == "frequency (cycles per unit)"
    assert (ax.get_xlabel(), ax.get_ylabel()) == ("x (columns)", "y (rows)")


def test_orientation_modulo_pi_on_a_cyclic_map_in_either_convention():
    theta = np.array([[0.1, np.pi + 0.1], [-0.5, 3.0]])
    ax = plot_map(theta, kind="orientation", ax=new_axes())
    image = ax.images[0]
    np.testing.assert_allclose(image.get_array(), np.mod(theta, np.pi))
    assert image.get_clim() == (0.0, np.pi)
    assert image.get_cmap().name == "twilight"
    assert image.colorbar.ax.get_ylabel() == "orientation (rad)"
    # Angles from the rows axis (local_measures) become angles from the columns axis.
    ax = plot_map(theta, kind="orientation", angles="rows", ax=new_axes())
    np.testing.assert_allclose(ax.images[0].get_array(), np.mod(np.pi / 2 - theta, np.pi))


def test_orientation_segments_over_an_image():
    rows, cols = 12, 20
    theta = np.full((rows, cols), np.pi / 2)  # along the rows axis, from the columns axis
    backdrop = np.random.default_rng(0).standard_normal((rows, cols))
    ax = plot_map(theta, spacing=(2.0, 1.0), kind="orientation", image=backdrop, step=4,
                  ax=new_axes())
    np.testing.assert_array_equal(ax.images[0].get_array(), backdrop)
    lines = ax.collections[0]
    segments = lines.get_segments()
    assert len(segments) == 3 * 5  # centres at rows 2, 6, 10 and columns 2, 6, ..., 18
    first = np.asarray(segments[0])
    # Centred on pixel (2, 2): x = 2 * dx, y = 2 * dy; vertical, stretched by dy.
    np.testing.assert_allclose(first.mean(axis=0), [2.0, 4.0], atol=1e-12)
    np.testing.assert_allclose(first[1] - first[0], [0.0, 2 * 0.4 * 4 * 2.0], atol=1e-12)
    assert lines.get_cmap().name == "twilight" and lines.colorbar is not None


def test_energy_in_decibels_with_a_floor():
    energy = np.array([[1.0, 10.0], [100.0, 0.0]])
    ax = plot_map(energy, kind="energy", ax=new_axes())
    np.testing.assert_allclose(ax.images[0].get_array(), [[0.0, 10.0], [20.0, 20.0 - 120.0]])
    assert ax.images[0].colorbar.ax.get_ylabel() == "energy (dB)"
    ax = plot_map(energy, kind="energy", label="E", ax=new_axes())
    assert ax.images[0].colorbar.ax.get_ylabel() == "E"


BAD = [
    (np.zeros((2, 2), complex), {}, TypeError, r"^values must hold real numbers, not dtype complex128$"),
    (np.zeros(4), {}, ValueError, r"^values must be a non-empty 2-D map, not shape \(4,\)$"),
    (np.zeros((2, 2)), {"kind": "phase"}, ValueError,
     r"^kind='phase' is not one of 'frequency', 'orientation', 'energy'$"),
    (np.zeros((2, 2)), {"spacing": (1.0, -1.0)}, ValueError,
     r"^spacing=\(1.0, -1.0\) must hold two finite, positive numbers$"),
    (np.zeros((2, 2)), {"spacing": 1.0}, TypeError, r"^spacing must be a pair \(dy, dx\)"),
    (np.zeros((2, 2)), {"kind": "orientation", "angles": "x"}, ValueError,
     r"^angles='x' is not one of 'columns', 'rows'$"),
    (np.zeros((2, 2)), {"kind": "orientation", "step": 0}, ValueError, r"^step=0 must be a positive integer$"),
    (np.zeros((2, 2)), {"kind": "orientation", "image": np.zeros((3, 2))}, ValueError,
     r"^image must be a real map of the values' shape \(2, 2\), not float64 of shape \(3, 2\)$"),
    (np.zeros((2, 2)), {"image": np.zeros((2, 2))}, ValueError,
     r"^image is drawn under orientation segments only, not kind='frequency'$"),
    (-np.ones((2, 2)), {"kind": "energy"}, ValueError, r"^kind='energy' needs values >= 0; the smallest is -1$"),
    (np.zeros((2, 2)), {"ax": 3}, TypeError, r"^ax must be a matplotlib Axes, not int \(3\)$"),
]


@pytest.mark.parametrize("values, keywords, error, message", BAD)
def test_bad_input(values, keywords, error, message):
    with pytest.raises(error, match=message):
        plot_map(values, **keywords)

