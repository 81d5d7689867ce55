"""Time-frequency maps and per-pixel image maps drawn with matplotlib (an optional dependency)."""

from __future__ import annotations

from typing import TYPE_CHECKING

import numpy as np
import numpy.typing as npt

if TYPE_CHECKING:
    from matplotlib.axes import Axes
    from matplotlib.cm import ScalarMappable

_FLOOR_DB = 120.0  # dB mode draws values down to this far below the largest one


def _axis_values(values: npt.ArrayLike, name: str) -> np.ndarray:
    a = np.asarray(values)
    if a.ndim != 1 or a.size == 0:
        raise ValueError(f"{name} must be a non-empty 1-D array, not shape {a.shape}")
    if a.dtype.kind not in "iuf":
        raise TypeError(f"{name} must hold real numbers, not dtype {a.dtype}")
    a = a.astype(np.float64)
    if not np.all(np.isfinite(a)):
        raise ValueError(f"{name} holds non-finite values")
    if a.size > 1 and not np.all(np.diff(a) > 0):
        raise ValueError(f"{name} must be strictly increasing")
    return a


def _drawn_values(values: npt.ArrayLike, db: bool, label: str | None,
                  magnitude: bool) -> tuple[np.ndarray, str]:
    """What is drawn and its colour-bar label: |S| for complex input, dB on request."""
    v = np.asarray(values)
    if v.dtype.kind not in "iufc":
        raise TypeError(f"values must be numeric, not dtype {v.dtype}")
    if v.dtype.kind == "c":
        drawn, what, decibels_per_decade = np.abs(v).astype(np.float64), "|S|", 20.0
    elif magnitude:
        drawn, what, decibels_per_decade = v.astype(np.float64), "|S|", 20.0
    else:
        drawn, what, decibels_per_decade = v.astype(np.float64), "power", 10.0
    if label is not None:
        if not isinstance(label, str):
            raise TypeError(f"label must be a string, not {type(label).__name__}")
        what = label
    if not db:
        return drawn, what
    if np.any(drawn < 0):
        raise ValueError(f"db=True needs values >= 0 (power or magnitude); "
                         f"the smallest is {np.nanmin(drawn):.6g}")
    peak = np.nanmax(drawn) if np.any(np.isfinite(drawn)) else 0.0
    floor = peak * 10.0 ** (-_FLOOR_DB / decibels_per_decade) if peak > 0 else np.finfo(float).tiny
    with np.errstate(invalid="ignore"):
        drawn = decibels_per_decade * np.log10(np.maximum(drawn, floor))
    return drawn, f"{what} (dB)"


def _uniform(a: np.ndarray) -> bool:
    if a.size < 2:
        return False
    steps = np.diff(a)
    return bool(np.allclose(steps, steps[0], rtol=1e-6, atol=0.0))


def _axes(ax: Axes | None, function: str) -> Axes:
    """The axes to draw into: `ax` checked, or a new figure's; ImportError
    naming `function` without matplotlib."""
    try:
        import matplotlib  # noqa: F401
    except ImportError as exc:
        raise ImportError(f"{function} needs matplotlib: pip install 'orbelix[plot]' "
                          "(or 'orbelix[examples]')") from exc
    if ax is None:
        import matplotlib.pyplot as plt
        return plt.figure().add_subplot()
    import matplotlib.axes
    if not isinstance(ax, matplotlib.axes.Axes):
        raise TypeError(f"ax must be a matplotlib Axes, not {type(ax).__name__} ({ax!r})")
    return ax


def _labelled(ax: Axes, mappable: ScalarMappable, label: str, xlabel: str, ylabel: str) -> Axes:
    """ax with a colour bar of mappable named `label` and its axes named."""
    colour_bar = ax.figure.colorbar(mappable, ax=ax)
    colour_bar.set_label(label)
    ax.set_xlabel(xlabel)
    ax.set_ylabel(ylabel)
    return ax


def plot(f: npt.ArrayLike, t: npt.ArrayLike, values: npt.ArrayLike, ax: Axes | None = None,
         db: bool = False, *, label: str | None = None, magnitude: bool = False,
         mask: npt.ArrayLike | None = None) -> Axes:
    """Draw a time-frequency map with a labelled colour bar.

    Parameters
    ----------
    f : array_like, shape (F,)
        Frequencies in Hz, strictly increasing (the ``f`` of ``stransform``
        or ``tfr_power``).
    t : array_like, shape (T,)
        Times in seconds, strictly increasing.
    values : array_like, shape (F, T)
        One map: rows are frequencies, columns times. Complex values (a
        transform ``S``) are drawn as their magnitude ``|S|``; real values
        are drawn as they are, labelled ``power`` (``|S|`` with
        `magnitude`) unless `label` says otherwise.
    ax : matplotlib.axes.Axes, optional
        Axes to draw into; by default a new figure from ``matplotlib.pyplot``.
    db : bool, optional
        Draw decibels: ``20 log10 |S|`` for complex values, ``10 log10``
        of real values (taken to be a power unless `magnitude`; they must
        not be negative). Values more than 120 dB below the largest are
        drawn at that floor.
    label : str, optional
        Name of the drawn quantity on the colour bar, e.g. ``"ITC"``;
        `` (dB)`` is appended when `db` is true.
    magnitude : bool, optional
        Real values are magnitudes ``|S|`` (``output="magnitude"``), not
        powers: labelled ``|S|``, and ``20 log10`` in decibels.
    mask : array_like of bool, shape (F, T), optional
        Coefficients to hatch, such as :func:`edge_mask`'s cone of
        influence.

    Returns
    -------
    matplotlib.axes.Axes
        The axes drawn into: time (s) on x, frequency (Hz) on y. The colour
        bar is ``ax.images[0].colorbar`` (``ax.collections[0].colorbar``
        when `f` or `t` is not evenly spaced).

    Raises
    ------
    ImportError
        If matplotlib is not installed (``pip install 'orbelix[plot]'``).
    ValueError, TypeError
        If `f` or `t` is not a strictly increasing 1-D array of real
        numbers, `values` is not numeric of shape ``(len(f), len(t))``, or
        `ax` is not a matplotlib ``Axes``.

    Examples
    --------
    >>> import numpy as np
    >>> from matplotlib.figure import Figure
    >>> from orbelix_tools import plot, stransform
    >>> fs = 256.0
    >>> x = np.sin(2 * np.pi * 10.0 * np.arange(512) / fs)
    >>> f, t, S = stransform(x, fs, fmin=1.0, fmax=40.0)
    >>> ax = plot(f, t, S, ax=Figure().add_subplot(), db=True)
    >>> ax.get_xlabel(), ax.get_ylabel(), ax.images[0].colorbar.ax.get_ylabel()
    ('time (s)', 'frequency (Hz)', '|S| (dB)')
    """
    f = _axis_values(f, "f")
    t = _axis_values(t, "t")
    shape = np.shape(values)
    if shape != (f.size, t.size):
        raise ValueError(f"values has shape {shape}; (len(f), len(t)) is {(f.size, t.size)}")
    if not isinstance(db, (bool, np.bool_)):
        raise TypeError(f"db must be True or False, not {db!r}")
    if not isinstance(magnitude, (bool, np.bool_)):
        raise TypeError(f"magnitude must be True or False, not {magnitude!r}")
    drawn, colour_label = _drawn_values(values, bool(db), label, bool(magnitude))
    hatched = None
    if mask is not None:
        hatched = np.asarray(mask)
        if hatched.dtype != np.bool_ or hatched.shape != (f.size, t.size):
            raise ValueError(f"mask must be a bool array of shape (len(f), len(t)) = "
                             f"{(f.size, t.size)}, not {hatched.dtype} of shape {hatched.shape}")

    ax = _axes(ax, "plot")

    mappable: ScalarMappable
    if _uniform(f) and _uniform(t):
        # An image draws a large map far faster than a mesh of one patch per value.
        dt, dfreq = t[1] - t[0], f[1] - f[0]
        mappable = ax.imshow(drawn, origin="lower", aspect="auto",
                             extent=(t[0] - dt / 2, t[-1] + dt / 2, f[0] - dfreq / 2, f[-1] + dfreq / 2))
    else:
        mappable = ax.pcolormesh(t, f, drawn, shading="nearest")
    if hatched is not None and hatched.any():
        # Hatch only (no fill) over the masked cells, drawn above the map.
        ax.contourf(t, f, hatched.astype(float), levels=[0.5, 1.5], colors="none",
                    hatches=["//"], zorder=2)
    return _labelled(ax, mappable, colour_label, "time (s)", "frequency (Hz)")


_MAP_KINDS = ("frequency", "orientation", "energy")
_ANGLE_ORIGINS = ("columns", "rows")


def plot_map(values: npt.ArrayLike, spacing: tuple[float, float] = (1.0, 1.0),
             kind: str = "frequency", ax: Axes | None = None, *,
             image: npt.ArrayLike | None = None, step: int = 8, angles: str = "columns",
             label: str | None = None) -> Axes:
    """Draw a per-pixel map of an image with a labelled colour bar.

    For the maps of :func:`local_spectrum` and :func:`local_measures`: rows
    of `values` run down the picture and columns across, as in the image,
    placed by the pixel `spacing`.

    Parameters
    ----------
    values : array_like, shape (rows, columns)
        One map of real numbers.
    spacing : (float, float), default (1.0, 1.0)
        Pixel spacing ``(dy, dx)``: the axes show ``y = row * dy`` and
        ``x = column * dx``.
    kind : {"frequency", "orientation", "energy"}, default "frequency"
        ``"frequency"``: drawn as it is, in cycles per unit of `spacing`.
        ``"orientation"``: angles in radians, drawn modulo pi (a line at
        ``theta`` and at ``theta + pi`` is the same line) on a cyclic colour
        map, so that the colours wrap around with the angles; with `image`,
        as short line segments over the image instead. ``"energy"``:
        ``10 log10`` of the values (not negative) in dB, down to 120 dB below
        the largest.
    ax : matplotlib.axes.Axes, optional
        Axes to draw into; by default a new figure from ``matplotlib.pyplot``.
    image : array_like, shape (rows, columns), optional
        Orientation only: the image to draw in grey under one segment every
        `step` pixels along each axis, each segment along its pixel's
        orientation and coloured by it.
    step : int, default 8
        Pixels between the segments' centres.
    angles : {"columns", "rows"}, default "columns"
        Orientation only: where the angles are measured from. ``"columns"``:
        from the columns axis (x, to the right) towards the rows axis (y,
        downwards in the picture), as :func:`local_spectrum` gives them;
        ``"rows"``: from the rows axis towards the columns axis, as
        :func:`local_measures` (and :func:`orbelix.cmsht2`) give them. The
        angles are taken on the pixel grid; segments are drawn on it and
        stretched by `spacing`.
    label : str, optional
        Name on the colour bar, replacing the kind's own.

    Returns
    -------
    matplotlib.axes.Axes
        The axes drawn into; the colour bar is ``ax.images[0].colorbar``, or
        ``ax.collections[0].colorbar`` for segments.

    Raises
    ------
    ImportError
        If matplotlib is not installed (``pip install 'orbelix[plot]'``).
    ValueError, TypeError
        For `values` that are not a 2-D map of real numbers, an `image` of
        another shape, a `kind` or `angles` not listed, a bad `spacing` or
        `step`, negative energies, or `ax` that is not a matplotlib ``Axes``.

    Examples
    --------
    >>> import numpy as np
    >>> from matplotlib.figure import Figure
    >>> from orbelix_tools import local_measures, plot_map
    >>> rows, cols = np.mgrid[0:64, 0:64]
    >>> stripes = np.cos(2 * np.pi * (rows + cols) / 16.0)
    >>> _, orientation, _, energy = local_measures(stripes)
    >>> ax = plot_map(orientation, kind="orientation", angles="rows",
    ...               ax=Figure().add_subplot(), image=stripes)
    >>> len(ax.collections[0].get_segments())
    64
    >>> ax = plot_map(energy, kind="energy", ax=Figure().add_subplot())
    >>> ax.images[0].colorbar.ax.get_ylabel()
    'energy (dB)'
    """
    v = np.asarray(values)
    if v.dtype.kind not in "iuf":
        raise TypeError(f"values must hold real numbers, not dtype {v.dtype}")
    if v.ndim != 2 or v.size == 0:
        raise ValueError(f"values must be a non-empty 2-D map, not shape {v.shape}")
    from ._local_measures import spacing_pair
    dy, dx = spacing_pair(spacing)
    if not isinstance(kind, str) or kind not in _MAP_KINDS:
        raise ValueError(f"kind={kind!r} is not one of " + ", ".join(repr(k) for k in _MAP_KINDS))
    if not isinstance(angles, str) or angles not in _ANGLE_ORIGINS:
        raise ValueError(f"angles={angles!r} is not one of 'columns', 'rows'")
    if isinstance(step, bool) or not isinstance(step, (int, np.integer)) or step < 1:
        raise ValueError(f"step={step!r} must be a positive integer")
    if label is not None and not isinstance(label, str):
        raise TypeError(f"label must be a string, not {type(label).__name__}")
    under = None
    if image is not None:
        if kind != "orientation":
            raise ValueError(f"image is drawn under orientation segments only, not kind={kind!r}")
        under = np.asarray(image)
        if under.dtype.kind not in "iuf" or under.shape != v.shape:
            raise ValueError(f"image must be a real map of the values' shape {v.shape}, "
                             f"not {under.dtype} of shape {under.shape}")

    drawn = v.astype(np.float64)
    colour_map, limits = "viridis", None
    if kind == "frequency":
        what = "frequency (cycles per unit)"
    elif kind == "energy":
        if np.any(drawn < 0):
            raise ValueError(f"kind='energy' needs values >= 0; the smallest is {np.nanmin(drawn):.6g}")
        drawn, what = _drawn_values(drawn, True, "energy", False)
    else:
        if angles == "rows":
            drawn = np.pi / 2 - drawn
        drawn = np.mod(drawn, np.pi)
        what, colour_map, limits = "orientation (rad)", "twilight", (0.0, np.pi)
    if label is not None:
        what = label

    ax = _axes(ax, "plot_map")

    rows, cols = v.shape
    extent = (-dx / 2, (cols - 0.5) * dx, (rows - 0.5) * dy, -dy / 2)
    mappable: ScalarMappable
    if under is None:
        mappable = ax.imshow(drawn, cmap=colour_map, extent=extent, interpolation="nearest")
        if limits is not None:
            mappable.set_clim(*limits)
    else:
        from matplotlib.collections import LineCollection
        ax.imshow(under.astype(np.float64), cmap="gray", extent=extent, interpolation="nearest")
        r, c = np.mgrid[step // 2:rows:step, step // 2:cols:step]
        theta = drawn[r, c]
        half = 0.4 * step
        ux, uy = half * np.cos(theta) * dx, half * np.sin(theta) * dy
        x, y = c * dx, r * dy
        segments = np.stack([np.stack([x - ux, y - uy], -1), np.stack([x + ux, y + uy], -1)], -2)
        mappable = LineCollection(list(segments.reshape(-1, 2, 2)), cmap=colour_map,
                                  linewidths=1.5)
        mappable.set_array(theta.ravel())
        mappable.set_clim(*limits)  # type: ignore[misc]
        ax.add_collection(mappable)
    return _labelled(ax, mappable, what, "x (columns)", "y (rows)")
