"""Ridges of a time-frequency map and the components around them."""

from __future__ import annotations

import math
from dataclasses import dataclass
from typing import Any

import numpy as np
import numpy.typing as npt

from . import _core
from ._arrays import check_finite, refuse_masked
from ._grid import integer, real_number, worker_count


@dataclass(frozen=True)
class Ridges:
    """Ridges of a map: for each ridge and time, the voice's index, its
    frequency in Hz and the map's value there. Arrays of shape
    ``(..., n_ridges, len(t))``, the leading axes those of the map.

    Examples
    --------
    >>> import numpy as np
    >>> from orbelix_tools import ridges
    >>> m = np.zeros((5, 3))
    >>> m[[1, 2, 2], [0, 1, 2]] = [1.0, 2.0, 3.0]
    >>> r = ridges([0.0, 10.0, 20.0, 30.0, 40.0], [0.0, 0.5, 1.0], m)
    >>> r.index, r.frequency, r.amplitude
    (array([[1, 2, 2]]), array([[10., 20., 20.]]), array([[1., 2., 3.]]))
    """

    index: npt.NDArray[np.int64]
    frequency: npt.NDArray[np.float64]
    amplitude: npt.NDArray[Any]


def _axes(f: object, t: object, shape: tuple[int, ...], name: str
          ) -> tuple[npt.NDArray[np.float64], npt.NDArray[np.float64]]:
    """f and t as 1-D float arrays matching the last two axes of a map."""
    axes = []
    for label, v in (("f", f), ("t", t)):
        a = np.asarray(v)
        if a.dtype.kind not in "iuf":
            raise TypeError(f"{label} has dtype {a.dtype}; expected real numbers")
        if a.ndim != 1:
            raise ValueError(f"{label} must be 1-D, not shape {a.shape}")
        axes.append(a.astype(np.float64))
    if len(shape) < 2:
        raise ValueError(f"{name} must have a frequency and a time axis, not shape {shape}")
    if shape[-2:] != (axes[0].size, axes[1].size):
        raise ValueError(f"{name} has shape {shape} but f and t have {axes[0].size} and "
                         f"{axes[1].size} values: the last two axes must be (len(f), len(t))")
    return axes[0], axes[1]


def _band_rows(f: npt.NDArray[np.float64], band: object) -> tuple[int, int]:
    """First and end index of the voices within band (lo, hi) in Hz."""
    if band is None:
        return 0, f.size
    if not isinstance(band, (tuple, list)) or len(band) != 2:
        raise TypeError(f"band must be a pair (fmin, fmax) in Hz, not {band!r}")
    lo, hi = (real_number(b, "band") for b in band)
    if not (math.isfinite(lo) and math.isfinite(hi) and lo <= hi):
        raise ValueError(f"band={band!r} must be finite with fmin <= fmax")
    first, end = int(np.searchsorted(f, lo, "left")), int(np.searchsorted(f, hi, "right"))
    if first >= end:
        raise ValueError(f"band={band!r} holds none of the frequencies {f[0]!r} .. {f[-1]!r} Hz")
    return first, end


def _clear_hills(m: npt.NDArray[np.float64], path: npt.NDArray[np.int64]) -> None:
    """Zeroes, at each time, the hill of m around the path: the values
    falling away from it on both sides until they rise again."""
    freqs = m.shape[-2]
    rows = np.arange(freqs)[:, None]
    p = path[..., None, :]
    if freqs > 1:
        rising_up = np.diff(m, axis=-2) > 0          # m[i+1] > m[i], i = 0 .. F-2
        above = rising_up & (rows[:-1] >= p)
        end = np.where(above.any(axis=-2), np.argmax(above, axis=-2), freqs - 1)
        rising_down = np.diff(m, axis=-2) < 0        # m[i] > m[i+1]: m[i] rises below i+1
        below = rising_down & (rows[:-1] < p)
        flipped = below[..., ::-1, :]
        start = np.where(below.any(axis=-2), freqs - 1 - np.argmax(flipped, axis=-2), 0)
    else:
        end = start = np.zeros(path.shape, np.int64)
    m[(rows >= start[..., None, :]) & (rows <= end[..., None, :])] = 0.0


def ridges(f: npt.ArrayLike, t: npt.ArrayLike, M: npt.ArrayLike, *, n_ridges: int = 1,
           penalty: float = 0.01, band: tuple[float, float] | None = None,
           workers: int = 1) -> Ridges:
    r"""The curves of largest energy through a time-frequency map.

    Each ridge is the path ``l(t)``, one voice per time, that maximises
    ``sum_t m[l(t), t] - penalty * sum_t (l(t) - l(t-1))**2``, with ``m``
    the map divided by its largest value (so `penalty` is the cost of a
    jump of one voice relative to the map's peak), found exactly by dynamic
    programming over time. After each ridge the hill of the map around it
    (the values falling away on both sides at each time) is removed, and
    the next ridge is sought in what remains.

    Parameters
    ----------
    f, t : array_like
        Frequencies in Hz and times in s of the map.
    M : array_like
        A real map ``(..., len(f), len(t))``: ``abs(T)`` of
        :func:`sstransform` or ``abs(S)`` of :func:`stransform` (their
        squares weigh strong components more). Leading axes are separate maps.
    n_ridges : int, default 1
        How many ridges to extract, strongest first.
    penalty : float, default 0.01
        Cost of a jump by one voice, relative to the map's peak; 0 lets the
        ridge jump freely (the largest value at each time).
    band : (float, float), optional
        Frequencies in Hz the ridges stay within (by default all of `f`).
    workers : int, default 1
        Threads over the maps of a batch.

    Returns
    -------
    Ridges
        ``index`` (int64), ``frequency`` (Hz, float64) and ``amplitude``
        (the values of `M`), each ``(..., n_ridges, len(t))``.

    Raises
    ------
    TypeError
        `M` not real, `band` not a pair, or wrong argument types.
    ValueError
        Shapes that do not match `f` and `t`, a negative or non-finite
        `penalty` (or one above 1e100), `n_ridges` below 1 or beyond the
        voices in `band`, an empty `band`, a value of `M` that is NaN,
        infinite or negative.

    Examples
    --------
    >>> import numpy as np
    >>> from orbelix_tools import sstransform, ridges
    >>> fs = 100.0
    >>> time = np.arange(2000) / fs
    >>> x = np.cos(2 * np.pi * (5 * time + 0.5 * time**2))  # 5 Hz rising 1 Hz/s
    >>> f, t, T = sstransform(x, fs, fmin=1.0, fmax=30.0)
    >>> r = ridges(f, t, np.abs(T))
    >>> r.frequency.shape
    (1, 2000)
    >>> bool(abs(r.frequency[0, 1000] - 15.0) < 0.1)
    True
    """
    refuse_masked(M, "M")
    m_in = np.asarray(M)
    if m_in.dtype.kind not in "iuf":
        raise TypeError(f"M has dtype {m_in.dtype}; expected a real map such as abs(T)")
    fa, ta = _axes(f, t, m_in.shape, "M")
    count = integer(n_ridges, "n_ridges")
    lam = real_number(penalty, "penalty")
    if not (math.isfinite(lam) and 0.0 <= lam <= 1e100):
        raise ValueError(f"penalty={penalty!r} must be finite, from 0 to 1e100")
    first, end = _band_rows(fa, band)
    if not 1 <= count <= end - first:
        raise ValueError(f"n_ridges={n_ridges!r} must be from 1 to the {end - first} voices "
                         "searched")
    threads = worker_count(workers)
    check_finite(m_in, "M")
    if m_in.size and m_in.min() < 0:
        raise ValueError("M has negative values: give a magnitude or power map")
    lead = m_in.shape[:-2]
    times = m_in.shape[-1]
    m = np.array(m_in[..., first:end, :], dtype=np.float64).reshape((-1, end - first, times))
    peak = m.max(axis=(-2, -1), keepdims=True) if m.size else np.ones((m.shape[0], 1, 1))
    m /= np.where(peak > 0, peak, 1.0)
    index = np.zeros((m.shape[0], count, times), np.int64)
    path = np.zeros((m.shape[0], times), np.int32)
    for r in range(count):
        if times and m.shape[0]:
            _core.ridge_paths_into(m, path, penalty=lam, workers=threads)
        index[:, r] = path
        if r + 1 < count:
            _clear_hills(m, path.astype(np.int64))
    index += first
    flat = m_in.reshape((-1,) + m_in.shape[-2:])
    amplitude = np.take_along_axis(flat, index, axis=-2)
    found = index.reshape(lead + (count, times))
    return Ridges(index=found, frequency=fa[found],
                  amplitude=amplitude.reshape(lead + (count, times)))


def component(f: npt.ArrayLike, t: npt.ArrayLike, T: npt.ArrayLike, ridge: Any,
              halfwidth: int) -> npt.NDArray[np.float32]:
    r"""One component of a signal: its squeezed map summed around a ridge.

    ``x_c(t) = Re sum T(t, f_l)`` over the voices within `halfwidth` of the
    ridge's voice at each time, as :func:`isstransform` sums the whole map.

    Parameters
    ----------
    f, t : array_like
        Frequencies in Hz and times in s of `T`.
    T : array_like
        The complex squeezed map of :func:`sstransform`, ``(..., len(f), len(t))``.
    ridge : Ridges or array_like of int
        The voice index per time: a :class:`Ridges` (every ridge it holds:
        a component each) or an integer array ``(..., len(t))``.
    halfwidth : int
        Voices kept on each side of the ridge.

    Returns
    -------
    x : ndarray of float32
        ``(..., len(t))`` for an index array; ``(..., n_ridges, len(t))``
        for a :class:`Ridges`.

    Raises
    ------
    TypeError
        `T` not complex, `ridge` not integers, or wrong argument types.
    ValueError
        Shapes that do not match, indices outside ``0 .. len(f)-1``, a
        negative `halfwidth`, or a value of `T` that is NaN or infinite.

    Examples
    --------
    >>> import numpy as np
    >>> from orbelix_tools import sstransform, ridges, component
    >>> fs = 100.0
    >>> time = np.arange(2000) / fs
    >>> low, high = np.cos(2 * np.pi * 8 * time), 0.5 * np.cos(2 * np.pi * 30 * time)
    >>> f, t, T = sstransform(low + high, fs)
    >>> r = ridges(f, t, np.abs(T), n_ridges=2)
    >>> parts = component(f, t, T, r, 4)
    >>> bool(np.abs(parts[1] - high)[200:-200].max() < 0.01)
    True
    """
    refuse_masked(T, "T")
    s = np.asarray(T)
    if s.dtype.kind != "c":
        raise TypeError(f"T has dtype {s.dtype}: the component needs the complex squeezed map")
    _axes(f, t, s.shape, "T")
    width = integer(halfwidth, "halfwidth")
    if width < 0:
        raise ValueError(f"halfwidth={halfwidth!r} must not be negative")
    several = isinstance(ridge, Ridges)
    idx = np.asarray(ridge.index if several else ridge)
    if idx.dtype.kind not in "iu":
        raise TypeError(f"ridge has dtype {idx.dtype}; expected voice indices (integers)")
    lead = s.shape[:-2]
    want = lead + ((idx.shape[-2],) if several and idx.ndim >= 2 else ()) + s.shape[-1:]
    if idx.shape != want:
        raise ValueError(f"ridge has shape {idx.shape}; expected {want} for T of shape {s.shape}")
    freqs = s.shape[-2]
    if idx.size and (idx.min() < 0 or idx.max() >= freqs):
        raise ValueError(f"ridge holds voice indices outside 0 .. {freqs - 1}")
    check_finite(s, "T")
    # Running sums over the voices: a window of them is a difference of two.
    sums = np.zeros(lead + (freqs + 1, s.shape[-1]), np.float64)
    np.cumsum(s.real, axis=-2, dtype=np.float64, out=sums[..., 1:, :])
    if several:
        sums = sums[..., None, :, :]
        idx = idx[..., None, :]
    else:
        idx = idx[..., None, :]
    hi = np.minimum(idx + width + 1, freqs)
    lo = np.maximum(idx - width, 0)
    out = np.take_along_axis(sums, hi, axis=-2) - np.take_along_axis(sums, lo, axis=-2)
    return out[..., 0, :].astype(np.float32)
