"""plot: what is drawn where, the colour-bar label, strict inputs, and the
message when matplotlib is missing."""
import doctest
import sys

import numpy as np
import pytest

matplotlib = pytest.importorskip("matplotlib")
matplotlib.use("Agg")
from matplotlib.figure import Figure  # noqa: E402

import orbelix_tools  # noqa: E402
from orbelix_tools import plot  # noqa: E402
from orbelix_tools import plotting  # noqa: E402

F = np.array([2.0, 4.0, 6.0])
T = np.array([0.0, 0.5, 1.0, 1.5])


def new_axes():
    return Figure().add_subplot()


def drawn(ax):
    """The drawn values (rows = frequencies) and the colour-bar label."""
    mappable = (ax.images or ax.collections)[0]
    values = np.asarray(mappable.get_array()).reshape(len(F), len(T))
    return values, mappable.colorbar.ax.get_ylabel()


def test_complex_values_drawn_as_magnitude_on_seconds_and_hertz():
    rng = np.random.default_rng(3)
    s = (rng.standard_normal((3, 4)) + 1j * rng.standard_normal((3, 4))).astype(np.complex64)
    ax = new_axes()
    assert plot(F, T, s, ax=ax) is ax
    values, label = drawn(ax)
    np.testing.assert_allclose(values, np.abs(s), rtol=1e-6)
    assert label == "|S|"
    assert (ax.get_xlabel(), ax.get_ylabel()) == ("time (s)", "frequency (Hz)")
    # Each value's cell is centred on its time and frequency, lowest frequency at the bottom.
    assert ax.images[0].get_extent() == pytest.approx([-0.25, 1.75, 1.0, 7.0])
    assert ax.images[0].origin == "lower"


@pytest.mark.parametrize("values, db, label, expected, expected_label", [
    (np.full((3, 4), 100.0), False, None, np.full((3, 4), 100.0), "power"),
    (np.full((3, 4), 100.0), True, None, np.full((3, 4), 20.0), "power (dB)"),
    (np.full((3, 4), 100.0 + 0j), True, None, np.full((3, 4), 40.0), "|S| (dB)"),
    (np.full((3, 4), 0.5), False, "ITC", np.full((3, 4), 0.5), "ITC"),
    (np.full((3, 4), 0.5, np.float32), True, "ITC", np.full((3, 4), 10 * np.log10(0.5)), "ITC (dB)"),
    # Magnitudes (output="magnitude") drawn as the complex transform is.
    (np.full((3, 4), 100.0), False, "magnitude", np.full((3, 4), 100.0), "|S|"),
    (np.full((3, 4), 100.0, np.float32), True, "magnitude", np.full((3, 4), 40.0), "|S| (dB)"),
])
def test_values_and_labels(values, db, label, expected, expected_label):
    if label == "magnitude":
        ax = plot(F, T, values, ax=new_axes(), db=db, magnitude=True)
    else:
        ax = plot(F, T, values, ax=new_axes(), db=db, label=label)
    got, got_label = drawn(ax)
    np.testing.assert_allclose(got, expected, rtol=1e-6)
    assert got_label == expected_label


def test_decibels_floor_120_below_the_peak():
    power = np.zeros((3, 4))
    power[1, 2] = 1e3
    got, _ = drawn(plot(F, T, power, ax=new_axes(), db=True))
    assert got[1, 2] == pytest.approx(30.0)
    np.testing.assert_allclose(np.delete(got.ravel(), 6), 30.0 - 120.0)
    magnitude = np.where(power > 0, 1e3 + 0j, 0j)
    got, _ = drawn(plot(F, T, magnitude, ax=new_axes(), db=True))
    np.testing.assert_allclose(np.delete(got.ravel(), 6), 60.0 - 120.0)


def test_uneven_axes_drawn_as_a_mesh():
    f = np.array([1.0, 2.0, 5.0])
    values = np.arange(12.0).reshape(3, 4)
    ax = plot(f, T, values, ax=new_axes())
    assert not ax.images
    np.testing.assert_array_equal(np.asarray(ax.collections[0].get_array()).reshape(3, 4), values)
    single = plot([10.0], [0.0], [[1.0]], ax=new_axes())
    assert single.collections[0].colorbar.ax.get_ylabel() == "power"


def test_new_figure_when_no_axes_given():
    import matplotlib.pyplot as plt
    ax = plot(F, T, np.ones((3, 4)))
    try:
        assert ax.figure in [plt.figure(n) for n in plt.get_fignums()]
    finally:
        plt.close(ax.figure)


@pytest.mark.parametrize("f, t, values, keywords, error, message", [
    (F, T, np.ones((4, 3)), {}, ValueError, r"values has shape \(4, 3\); \(len\(f\), len\(t\)\) is \(3, 4\)"),
    (F, T, np.ones(12), {}, ValueError, "values has shape"),
    (F[:, None], T, np.ones((3, 4)), {}, ValueError, "f must be a non-empty 1-D array"),
    ([], T, np.ones((0, 4)), {}, ValueError, "f must be a non-empty 1-D array"),
    (F, T[::-1], np.ones((3, 4)), {}, ValueError, "t must be strictly increasing"),
    (F, np.array([0.0, 1.0, 1.0, 2.0]), np.ones((3, 4)), {}, ValueError, "t must be strictly increasing"),
    (F.astype(complex), T, np.ones((3, 4)), {}, TypeError, "f must hold real numbers"),
    (F, [0.0, np.nan, 1.0, 2.0], np.ones((3, 4)), {}, ValueError, "t holds non-finite"),
    (F, T, np.full((3, 4), "a"), {}, TypeError, "values must be numeric"),
    (F, T, -np.ones((3, 4)), {"db": True}, ValueError, "db=True needs values >= 0"),
    (F, T, np.ones((3, 4)), {"db": "yes"}, TypeError, "db must be True or False"),
    (F, T, np.ones((3, 4)), {"label": 3}, TypeError, "label must be a string"),
    (F, T, np.ones((3, 4)), {"magnitude": 1}, TypeError, "magnitude must be True or False"),
    (F, T, np.ones((3, 4)), {"ax": 5}, TypeError, r"^ax must be a matplotlib Axes, not int \(5\)$"),
])
def test_bad_input(f, t, values, keywords, error, message):
    with pytest.raises(error, match=message):
        plot(f, t, values, **{"ax": new_axes(), **keywords})


def test_missing_matplotlib_names_the_extra(monkeypatch):
    monkeypatch.setitem(sys.modules, "matplotlib", None)
    with pytest.raises(ImportError, match=r"orbelix\[plot\]"):
        plot(F, T, np.ones((3, 4)))


def test_docstring_example():
    assert orbelix_tools.plot is plotting.plot
    result = doctest.testmod(plotting, raise_on_error=False)
    assert result.attempted > 0 and result.failed == 0
