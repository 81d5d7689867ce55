"""Lazy, chunk-by-chunk versions of ``stransform``, ``sstransform`` and ``tfr_power`` for dask arrays.

The public functions hand a dask array here. Each chunk of the result is the
eager function applied to one chunk of the input, so a chunk's numbers are
exactly those of the eager call on the whole array (every signal is
transformed on its own, whatever else shares its batch).

* The time axis is made one chunk (rechunked if the input splits it): a
  voice needs the whole signal's spectrum.
* ``tfr_power`` also makes the epochs axis one chunk, so each chunk holds all
  epochs of its channels and averages them itself, in the same order as the
  eager call. Splitting epochs and adding partial sums would change the
  rounding; chunk over channels (or any other leading axis) instead.
* A chunk's checks name a bad sample by its index in the chunk; each chunk
  is handed its position (the first index along every axis) and names it by
  its index in the whole array instead.
* ``f`` and ``t``, and the checks of every argument, come from one eager call
  on an empty batch of signals of the same length and dtype, made at once
  and computing nothing: a bad argument raises when the graph is built, not
  when it is computed, and so does a chunk whose result would not fit in
  memory.
"""
from __future__ import annotations

import functools
import re
from typing import Any

import numpy as np

from ._arrays import check_length, result_size


def _dask_array() -> Any:
    try:
        import dask.array as da
    except ImportError as exc:  # only reached with a dask-like input and no dask
        raise ImportError("dask arrays need dask: pip install 'orbelix[dask]'") from exc
    return da


def _axis_index(axis: Any, ndim: int, name: str) -> int:
    if not isinstance(axis, (int, np.integer)) or isinstance(axis, bool):
        raise TypeError(f"{name} must be an integer, not {type(axis).__name__} ({axis!r})")
    if not -ndim <= axis < ndim:
        raise ValueError(f"{name}={axis} is out of range for an array of {ndim} dimensions")
    return int(axis) % ndim


def _known_length(x: Any, axis: int, name: str) -> int:
    n = x.shape[axis]
    if n != n:  # NaN: the length is unknown until computed
        raise ValueError(f"the length of {name} along axis {axis} is unknown; "
                         "call x.compute_chunk_sizes() first")
    return int(n)


def _whole_axes(x: Any, axes: list[int]) -> Any:
    """x with every axis in `axes` in one chunk (no copy planned when it already is)."""
    if all(len(x.chunks[a]) == 1 for a in axes):
        return x
    return x.rechunk({a: -1 for a in axes})


def _check_chunk_result(x: Any, keep: list[int], head: tuple[int, ...],
                        tail: tuple[int, ...], dtype: Any, what: str) -> None:
    """MemoryError now if the largest chunk's result (`head`, x's largest
    chunk over the axes `keep`, `tail`) exceeds the machine's memory."""
    sizes = [max(x.chunks[a]) if x.chunks[a] else 0 for a in keep]
    if any(s != s for s in sizes):  # unknown chunk sizes: checked as computed
        return
    result_size(head + tuple(int(s) for s in sizes) + tail, dtype, what)


# A check's message naming a sample of the chunk: x[i, j, ...]=value ...
_SAMPLE = re.compile(r"^x\[(\d+(?:, \d+)*)\]=")


def _chunk_starts(da: Any, x: Any, keep: list[int]) -> list[Any]:
    """For every axis in `keep`, a dask array holding the first index of each
    of x's chunks along it, one chunk each: with `align_arrays=False` the
    block of x at a position meets its own starts. Empty where a chunk size
    is unknown until computed."""
    starts = []
    for a in keep:
        sizes = x.chunks[a]
        if any(size != size for size in sizes):
            return []
        first = np.concatenate([[0], np.cumsum(sizes[:-1], dtype=np.int64)]).astype(np.int64)
        starts.append(da.from_array(first, chunks=1))
    return starts


def _in_whole_array(call: Any, keep: list[int], starts: tuple[np.ndarray, ...]) -> Any:
    """call(), with a check naming a sample by its index in the chunk
    raised again naming it by its index in the whole array."""
    try:
        return call()
    except ValueError as exc:
        message = str(exc)
        found = _SAMPLE.match(message)
        if found is None or len(starts) != len(keep):
            raise
        index = [int(i) for i in found.group(1).split(", ")]
        for a, first in zip(keep, starts):
            index[a] += int(first[0])
        whole = "x[" + ", ".join(str(i) for i in index) + "]="
        raise ValueError(whole + message[found.end():]) from None


def _block_stransform(block: np.ndarray, *starts: np.ndarray, fs: float,
                      keywords: dict[str, Any], keep: list[int],
                      name: str = "stransform") -> np.ndarray:
    import orbelix_tools
    transform = getattr(orbelix_tools, name)
    return _in_whole_array(lambda: transform(block, fs, **keywords)[2], keep, starts)


def _block_tfr_power(block: np.ndarray, *starts: np.ndarray, fs: float,
                     keywords: dict[str, Any], keep: list[int]) -> np.ndarray:
    """Power and ITC of one chunk stacked on a new leading axis of length 2."""
    from orbelix_tools import tfr_power
    _, _, power, itc = _in_whole_array(lambda: tfr_power(block, fs, **keywords), keep, starts)
    return np.stack([power, itc])


def stransform(x: Any, fs: float = 1.0, **keywords: Any) -> tuple[np.ndarray, np.ndarray, Any]:
    """Lazy ``orbelix_tools.stransform`` of a dask array, one chunk at a time.

    Returns ``f`` and ``t`` as NumPy arrays and ``S`` as a dask array whose
    chunks follow the input's over every axis but the transformed one,
    followed by one chunk for the frequencies and one for the times.
    """
    return _transform("stransform", x, fs, keywords)


def sstransform(x: Any, fs: float = 1.0, **keywords: Any) -> tuple[np.ndarray, np.ndarray, Any]:
    """Lazy ``orbelix_tools.sstransform`` of a dask array, chunked as
    :func:`stransform` (the squeezing moves coefficients along frequency
    only, so each signal is squeezed on its own)."""
    return _transform("sstransform", x, fs, keywords)


def _transform(name: str, x: Any, fs: float, keywords: dict[str, Any]
               ) -> tuple[np.ndarray, np.ndarray, Any]:
    import orbelix_tools

    eager = getattr(orbelix_tools, name)
    da = _dask_array()
    axis = _axis_index(keywords.get("axis", -1), x.ndim, "axis")
    n = _known_length(x, axis, "x")
    check_length(n, "x", keywords.get("axis", -1), x.shape)
    f, t, probe = eager(np.zeros((0, n), dtype=x.dtype), fs, **{**keywords, "axis": -1})

    x = _whole_axes(x, [axis])
    keep = [a for a in range(x.ndim) if a != axis]
    _check_chunk_result(x, keep, (), (len(f), len(t)), probe.dtype, "the transform of one chunk")
    out_index = tuple(keep) + (x.ndim, x.ndim + 1)
    starts = _chunk_starts(da, x, keep)
    block = functools.partial(_block_stransform, fs=fs, keywords={**keywords, "axis": axis},
                              keep=keep if starts else [], name=name)
    s = da.blockwise(block, out_index, x, tuple(range(x.ndim)),
                     *[arg for a, first in zip(keep, starts) for arg in (first, (a,))],
                     new_axes={x.ndim: len(f), x.ndim + 1: len(t)}, concatenate=True,
                     align_arrays=False,
                     dtype=probe.dtype, meta=np.empty((0,) * len(out_index), probe.dtype))
    return f, t, s


def tfr_power(x: Any, fs: float, **keywords: Any) -> tuple[np.ndarray, np.ndarray, Any, Any]:
    """Lazy ``orbelix_tools.tfr_power`` of a dask array, one chunk at a time.

    Returns ``f`` and ``t`` as NumPy arrays and ``power`` and ``itc`` as
    dask arrays over the input's axes other than the epochs and time axes,
    followed by frequency and time. Power and ITC of a chunk are computed in
    one task; computing both together (``dask.compute(power, itc)``) runs it
    once.
    """
    from orbelix_tools import tfr_power as eager

    da = _dask_array()
    if x.ndim < 2:
        raise ValueError(f"x must have an epochs axis and a time axis, not shape {x.shape}")
    epochs_axis = _axis_index(keywords.get("epochs_axis", 0), x.ndim, "epochs_axis")
    axis = _axis_index(keywords.get("axis", -1), x.ndim, "axis")
    if epochs_axis == axis:
        raise ValueError(f"epochs_axis={keywords.get('epochs_axis', 0)} and "
                         f"axis={keywords.get('axis', -1)} name the same axis")
    n = _known_length(x, axis, "x")
    check_length(n, "x", keywords.get("axis", -1), x.shape)
    epochs = _known_length(x, epochs_axis, "x")
    if epochs == 0:
        raise ValueError(f"x has no epochs along epochs_axis={keywords.get('epochs_axis', 0)!r} "
                         f"(shape {x.shape})")
    f, t, power, _ = eager(np.zeros((epochs, 0, n), dtype=x.dtype), fs,
                           **{**keywords, "epochs_axis": 0, "axis": -1})

    x = _whole_axes(x, [epochs_axis, axis])
    keep = [a for a in range(x.ndim) if a not in (epochs_axis, axis)]
    _check_chunk_result(x, keep, (2,), (len(f), len(t)), power.dtype,
                        "the power and coherence of one chunk")
    stacked_axis = x.ndim  # a new leading axis: 0 power, 1 itc
    out_index = (stacked_axis,) + tuple(keep) + (x.ndim + 1, x.ndim + 2)
    starts = _chunk_starts(da, x, keep)
    block = functools.partial(_block_tfr_power, fs=fs,
                              keywords={**keywords, "epochs_axis": epochs_axis, "axis": axis},
                              keep=keep if starts else [])
    both = da.blockwise(block, out_index, x, tuple(range(x.ndim)),
                        *[arg for a, first in zip(keep, starts) for arg in (first, (a,))],
                        new_axes={stacked_axis: 2, x.ndim + 1: len(f), x.ndim + 2: len(t)},
                        concatenate=True, align_arrays=False,
                        dtype=power.dtype, meta=np.empty((0,) * len(out_index), power.dtype))
    return f, t, both[0], both[1]
