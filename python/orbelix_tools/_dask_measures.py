"""Lazy ``local_measures`` of dask images, chunked along any axes.

Each chunk is computed from itself and a halo of its neighbours
(``map_overlap``), so its numbers are exactly those of the eager call on the
whole image:

* ``"reflect"`` and ``"wrap"``: a halo of ``kernel_size`` pixels, completed
  at the image's edges by dask's ``"reflect"`` (which repeats the edge pixel,
  as the eager border does) and ``"periodic"``; each chunk is then the
  ``"valid"`` part of its haloed block.
* ``"constant"``: zeros at the image's edges. No two pixels of an axis of
  ``n`` are farther apart than ``n - 1``, so a halo of
  ``min(kernel_size, n - 1)`` holds every image pixel a window reaches; the
  haloed block is computed with zeros around it and its halo trimmed off.
* ``"valid"``: computed as ``"constant"`` and cut ``kernel_size`` pixels in
  from every edge; those pixels' windows lie inside the image, where the
  border plays no part.

Every argument is checked at once, when the graph is built, by one eager
call on an empty batch of images of the same shape.
"""
from __future__ import annotations

from typing import Any

import numpy as np

from ._arrays import result_size


def _dask_array() -> Any:
    try:
        import dask.array as da
    except ImportError as exc:  # only reached with a dask-like input and no dask
        raise ImportError("dask arrays need dask: pip install 'orbelix[dask]'") from exc
    return da


def _known(n: Any, what: str) -> int:
    if n != n:  # NaN: unknown until computed
        raise ValueError(f"the {what} of image is unknown; call image.compute_chunk_sizes() first")
    return int(n)


def _block(block: np.ndarray, *, halo: tuple[int, int], border: str,
           keywords: dict[str, Any]) -> np.ndarray:
    """The four measures of a haloed block, halo removed, on a new leading axis."""
    from orbelix_tools import local_measures
    maps = local_measures(block, border=border, axes=(-2, -1), **keywords)
    hr, hc = halo
    trimmed = [m[..., hr:m.shape[-2] - hr, hc:m.shape[-1] - hc] for m in maps]
    return np.stack(trimmed)


def local_measures(image: Any, *, coarse: float = 0.2, fine: float = 0.1,
                   kernel_size: int = 7, border: str = "reflect",
                   spacing: tuple[float, float] = (1.0, 1.0), axes: tuple[int, int] = (-2, -1),
                   workers: int = 1) -> tuple[Any, Any, Any, Any]:
    """Lazy ``orbelix_tools.local_measures`` of a dask array: four dask arrays
    chunked as the image (the image axes of ``border="valid"`` cut by
    ``kernel_size`` at each end). The four come from one task per chunk;
    computing them together (``dask.compute(*maps)``) runs it once. Image
    axes with chunks narrower than the halo are rechunked first."""
    from orbelix_tools import local_measures as eager
    from ._local_measures import image_axes

    da = _dask_array()
    from dask.array.overlap import ensure_minimum_chunksize

    if image.ndim < 2:
        raise ValueError(f"image must have two image axes, not shape {image.shape}")
    row_axis, col_axis = image_axes(axes, image.ndim)
    rows = _known(image.shape[row_axis], "number of rows")
    cols = _known(image.shape[col_axis], "number of columns")
    keywords: dict[str, Any] = dict(coarse=coarse, fine=fine, kernel_size=kernel_size,
                                    spacing=spacing, workers=workers)
    # Every check, on no image at all.
    eager(np.zeros((0, rows, cols), dtype=image.dtype), border=border, axes=(-2, -1), **keywords)
    k = int(kernel_size)

    x = da.moveaxis(image, (row_axis, col_axis), (-2, -1))
    lead = x.ndim - 2
    sizes = [max(c) if c else 0 for c in x.chunks]
    if all(s == s for s in sizes):
        result_size((4,) + tuple(int(s) for s in sizes), np.float32,
                    "the four measures of one chunk")
    if border in ("reflect", "wrap"):
        halo = (k, k)
        edge: Any = "reflect" if border == "reflect" else "periodic"
        inner = "valid"
        cut = (0, 0)
    else:
        halo = (min(k, rows - 1), min(k, cols - 1))
        edge = 0
        inner = "constant"
        cut = (k, k) if border == "valid" else (0, 0)
    # Every chunk at least as wide as the halo, which dask's overlap needs.
    narrow = {lead + i: ensure_minimum_chunksize(halo[i], x.chunks[lead + i])
              for i in range(2) if halo[i] > min(x.chunks[lead + i])}
    if narrow:
        x = x.rechunk(narrow)
    depth = {lead: halo[0], lead + 1: halo[1]}
    boundary = {lead: edge, lead + 1: edge}
    trim_halo = (0, 0) if inner == "valid" else halo
    stacked = da.map_overlap(
        _block, x, depth=depth, boundary=boundary, trim=False,
        halo=trim_halo, border=inner, keywords=keywords,
        new_axis=[0], chunks=((4,),) + x.chunks, dtype=np.float32,
        meta=np.empty((0,) * (x.ndim + 1), np.float32))
    if cut != (0, 0):
        stacked = stacked[..., cut[0]:rows - cut[0], cut[1]:cols - cut[1]]
    maps = [da.moveaxis(stacked[i], (-2, -1), (row_axis, col_axis)) for i in range(4)]
    return maps[0], maps[1], maps[2], maps[3]
