"""Lazy, chunk-by-chunk versions of the DOST functions and ``local_spectrum``
for dask arrays.

Each chunk of a result is the eager function applied to one chunk of the
input: the transformed axes are made one chunk (rechunked if the input
splits them), so a chunk's numbers are those of the eager call on the whole
array bit for bit. Every argument is checked at once by an eager call on an
empty batch of the same sides and dtype, which also gives the octave
centres and band-pair centres: a bad argument raises when the graph is
built, not when it is computed.
"""
from __future__ import annotations

import functools
from typing import Any

import numpy as np

from ._dask import _axis_index, _check_chunk_result, _dask_array, _known_length, _whole_axes


def _axes(x: Any, axes: tuple[Any, ...]) -> list[int]:
    idx = [_axis_index(a, x.ndim, "axis" if len(axes) == 1 else "axes") for a in axes]
    if len(set(idx)) != len(idx):
        raise ValueError(f"axes={tuple(axes)!r} names the same axis twice")
    for i in idx:
        _known_length(x, i, "x")
    return idx


def _probe(x: Any, idx: list[int]) -> np.ndarray:
    """An empty batch with x's dtype and the sides of the transformed axes."""
    return np.zeros((0,) + tuple(int(x.shape[i]) for i in idx), dtype=x.dtype)


def _block(block: np.ndarray, name: str, keywords: dict[str, Any], part: int | None) -> Any:
    import orbelix_tools
    out = getattr(orbelix_tools, name)(block, **keywords)
    if part is None:
        return out
    if name == "local_spectrum" and keywords["output"] == "dominant":
        return np.stack(out)
    return out[part]


def _same_shape(x: Any, name: str, axes: tuple[Any, ...], keyword: str, workers: int) -> Any:
    import orbelix_tools
    da = _dask_array()
    idx = _axes(x, axes)
    eager = getattr(orbelix_tools, name)
    probe_axes = tuple(range(1, 1 + len(idx)))
    eager(_probe(x, idx), **{keyword: probe_axes[0] if len(idx) == 1 else probe_axes},
          workers=workers)
    x = _whole_axes(x, idx)
    kw = {keyword: idx[0] if len(idx) == 1 else tuple(idx), "workers": workers}
    _check_chunk_result(x, list(range(x.ndim)), (), (), np.complex64, "the transform of one chunk")
    block = functools.partial(_block, name=name, keywords=kw, part=None)
    return da.map_blocks(block, x, dtype=np.complex64,
                         meta=np.empty((0,) * x.ndim, np.complex64))


def dost(x: Any, *, axis: int = -1, workers: int = 1) -> Any:
    """Lazy ``orbelix_tools.dost`` of a dask array (the time axis one chunk)."""
    return _same_shape(x, "dost", (axis,), "axis", workers)


def idost(c: Any, *, axis: int = -1, workers: int = 1) -> Any:
    """Lazy ``orbelix_tools.idost`` of a dask array."""
    return _same_shape(c, "idost", (axis,), "axis", workers)


def dost2(image: Any, *, axes: tuple[int, int] = (-2, -1), workers: int = 1) -> Any:
    """Lazy ``orbelix_tools.dost2`` of a dask array (both image axes one chunk)."""
    from ._dost import _axes_pair
    return _same_shape(image, "dost2", _axes_pair(axes), "axes", workers)


def idost2(c: Any, *, axes: tuple[int, int] = (-2, -1), workers: int = 1) -> Any:
    """Lazy ``orbelix_tools.idost2`` of a dask array."""
    from ._dost import _axes_pair
    return _same_shape(c, "idost2", _axes_pair(axes), "axes", workers)


def local_spectrum(image: Any, *, spacing: tuple[float, float] = (1.0, 1.0),
                   output: str = "dominant", workers: int = 1) -> tuple[Any, ...]:
    """Lazy ``orbelix_tools.local_spectrum`` of a dask array chunked over its
    leading axes: the maps as dask arrays; the octave or band-pair centres as
    NumPy arrays."""
    from orbelix_tools import local_spectrum as eager
    da = _dask_array()
    if image.ndim < 2:
        raise ValueError(f"image has {image.ndim} dimension{'s' if image.ndim != 1 else ''}; "
                         "expected at least 2")
    idx = _axes(image, (-2, -1))
    probe = eager(_probe(image, idx), spacing=spacing, output=output, workers=workers)
    x = _whole_axes(image, idx)
    keep = list(range(x.ndim))
    kw = {"spacing": spacing, "output": output, "workers": workers}
    if output == "dominant":
        front: tuple[int, ...] = (2,)
    elif output == "octaves":
        front = (len(probe[0]),)
    else:
        front = probe[0].shape[:2]
    _check_chunk_result(x, keep, front, (), np.float32, "the maps of one chunk")
    new = tuple(range(x.ndim, x.ndim + len(front)))
    block = functools.partial(_block, name="local_spectrum", keywords=kw, part=1)
    maps = da.blockwise(block, new + tuple(keep), x, tuple(keep),
                        new_axes=dict(zip(new, front)), concatenate=True, dtype=np.float32,
                        meta=np.empty((0,) * (len(new) + x.ndim), np.float32))
    if output == "dominant":
        return maps[0], maps[1]
    return probe[0], maps
