"""Transforms as labelled xarray arrays (xarray is an optional dependency)."""

from __future__ import annotations

import importlib
from collections.abc import Mapping, Sequence
from typing import Any

import numpy as np
import numpy.typing as npt


def _xarray() -> Any:
    try:
        return importlib.import_module("xarray")
    except ImportError as e:
        raise ModuleNotFoundError(
            "to_xarray needs xarray (pip install xarray, or the orbelix[xarray] extra)") from e


def _axis_values(values: npt.ArrayLike, name: str, length: int, what: str) -> np.ndarray:
    a = np.asarray(values)
    if a.dtype.kind not in "iuf":
        raise TypeError(f"{name} has dtype {a.dtype}; expected real {what}")
    if a.ndim != 1 or a.size != length:
        raise ValueError(f"{name} has shape {a.shape} but S has {length} {what} (expected ({length},))")
    return a.astype(np.float64)


def to_xarray(f: npt.ArrayLike, t: npt.ArrayLike, S: Any, dims: Sequence[str] | str | None = None,
              *, coords: Mapping[str, Any] | None = None, name: str | None = None) -> Any:
    """A transform as an :class:`xarray.DataArray` labelled in Hz and seconds.

    Takes the ``(f, t, S)`` that :func:`stransform` returns (or ``f``, ``t``
    and one of the maps of :func:`tfr_power`) and wraps `S` without copying
    it: its last two dimensions become ``"frequency"`` (coordinate `f`, in
    Hz) and ``"time"`` (coordinate `t`, in s), the leading ones are named by
    `dims`.

    Parameters
    ----------
    f : array_like
        Frequencies in Hz, one per voice: ``S.shape[-2]`` values.
    t : array_like
        Times in s: ``S.shape[-1]`` values.
    S : array_like
        The transform, power or coherence, with frequency and time last. A
        dask array stays lazy (xarray wraps it as it is).
    dims : str or sequence of str, optional
        Names of the leading dimensions of `S` (``S.ndim - 2`` names, a
        single string for one). By default ``"dim_0"``, ``"dim_1"``, ...
    coords : mapping, optional
        Labels of leading dimensions, by dimension name (for example the
        channel names), passed on to xarray.
    name : str, optional
        Name of the array.

    Returns
    -------
    xarray.DataArray
        Dimensions ``(*dims, "frequency", "time")``; the ``units`` attribute
        of the coordinates is ``"Hz"`` and ``"s"``.

    Raises
    ------
    ModuleNotFoundError
        When xarray is not installed.
    TypeError
        For `f` or `t` that are not real numbers, or `dims` that are not
        strings.
    ValueError
        When `S` has fewer than two dimensions, `f` or `t` do not match its
        last two, or `dims` has the wrong number of names or repeats one.

    See Also
    --------
    stransform, tfr_power

    Examples
    --------
    Two channels of a 10 Hz cosine, labelled by channel name:

    >>> import numpy as np
    >>> from orbelix_tools import stransform, to_xarray
    >>> fs = 100.0
    >>> x = np.cos(2 * np.pi * 10.0 * np.arange(200) / fs)
    >>> f, t, S = stransform(np.stack([x, 2 * x]), fs, fmin=5.0, fmax=15.0, decim=10,
    ...                      output="magnitude")
    >>> da = to_xarray(f, t, S, dims="channel", coords={"channel": ["Fz", "Cz"]},
    ...                name="|S|")
    >>> da.dims, da.shape
    (('channel', 'frequency', 'time'), (2, 21, 20))
    >>> da.frequency.attrs["units"], da.time.attrs["units"]
    ('Hz', 's')

    Selection by label, in Hz and seconds:

    >>> round(float(da.sel(channel="Cz", frequency=10.0, time=1.0)), 3)
    2.0
    >>> float(da.sel(channel="Fz").mean("time").idxmax("frequency"))
    10.0
    """
    xr = _xarray()
    if not hasattr(S, "shape") or not hasattr(S, "ndim"):
        S = np.asarray(S)
    if S.ndim < 2:
        raise ValueError(f"S must have a frequency and a time axis, not shape {tuple(S.shape)}")
    freqs = _axis_values(f, "f", S.shape[-2], "frequencies")
    times = _axis_values(t, "t", S.shape[-1], "times")
    lead = S.ndim - 2
    if dims is None:
        names = [f"dim_{i}" for i in range(lead)]
    else:
        names = [dims] if isinstance(dims, str) else list(dims)
        for d in names:
            if not isinstance(d, str):
                raise TypeError(f"dims must hold strings, not {type(d).__name__}")
        if len(names) != lead:
            raise ValueError(
                f"dims names {len(names)} dimensions but S has {lead} before frequency and time "
                f"(shape {tuple(S.shape)})")
    all_dims = names + ["frequency", "time"]
    if len(set(all_dims)) != len(all_dims):
        raise ValueError(f"dims {tuple(names)} repeats a name or uses 'frequency' or 'time'")
    labels: dict[str, Any] = dict(coords or {})
    labels["frequency"] = ("frequency", freqs, {"units": "Hz", "long_name": "frequency"})
    labels["time"] = ("time", times, {"units": "s", "long_name": "time"})
    return xr.DataArray(S, dims=all_dims, coords=labels, name=name)
