"""Time-frequency maps drawn with matplotlib (an optional dependency)."""

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

    try:
        import matplotlib  # noqa: F401
    except ImportError as exc:
        raise ImportError("plot needs matplotlib: pip install 'orbelix[plot]' "
                          "(or 'orbelix[examples]')") from exc
    if ax is None:
        import matplotlib.pyplot as plt
        ax = plt.figure().add_subplot()
    else:
        import matplotlib.axes
        if not isinstance(ax, matplotlib.axes.Axes):
            raise TypeError(f"ax must be a matplotlib Axes, not {type(ax).__name__} ({ax!r})")

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
    colour_bar = ax.figure.colorbar(mappable, ax=ax)
    colour_bar.set_label(colour_label)
    ax.set_xlabel("time (s)")
    ax.set_ylabel("frequency (Hz)")
    return ax
