"""Whole-image local spectrum maps from the 2-D DOST."""

from __future__ import annotations

from typing import Any

import numpy as np
import numpy.typing as npt

from . import _core
from ._arrays import allocate, result_size
from ._dost import _centre_bins, _dask, _finite_or_raise, _is_dask, _prepare
from ._grid import choice, positive, worker_count

_OUTPUTS = ("dominant", "octaves", "full")


def _spacing(spacing: object) -> tuple[float, float]:
    if not isinstance(spacing, (tuple, list)) or len(spacing) != 2:
        raise TypeError(f"spacing must be a pair (dy, dx) of positive numbers, not {spacing!r}")
    return positive(spacing[0], "spacing[0]"), positive(spacing[1], "spacing[1]")


def _pair_centres(n1: int, n2: int, dy: float, dx: float
                  ) -> tuple[npt.NDArray[np.float64], npt.NDArray[np.float64]]:
    """Centre wave vector (ky, kx) of every band pair, in cycles per unit."""
    ky = _centre_bins(n1) / (n1 * dy)
    kx = _centre_bins(n2) / (n2 * dx)
    return (np.repeat(ky[:, None], kx.size, axis=1), np.repeat(kx[None, :], ky.size, axis=0))


def _octaves(radius: npt.NDArray[np.float64]) -> tuple[npt.NDArray[np.int32], npt.NDArray[np.float64]]:
    """Radial octave of each pair and the octaves' centres: octave 0 holds the
    zero frequency alone, octave o >= 1 the radii from r0*2**(o-1) up to
    (not including) r0*2**o, r0 the smallest non-zero radius of any pair."""
    nonzero = radius[radius > 0]
    if nonzero.size == 0:
        return np.zeros(radius.shape, np.int32), np.zeros(1)
    r0 = float(nonzero.min())
    with np.errstate(divide="ignore"):
        level = np.floor(np.log2(radius / r0) + 1e-9)
    octave = np.where(radius > 0, level + 1, 0).astype(np.int32)
    count = int(octave.max()) + 1
    centres = np.array([0.0] + [1.5 * r0 * 2.0 ** (o - 1) for o in range(1, count)])
    return octave, centres


def local_spectrum(image: npt.ArrayLike, *, spacing: tuple[float, float] = (1.0, 1.0),
                   output: str = "dominant", workers: int = 1) -> tuple[Any, ...]:
    r"""Local spectrum of every pixel of images of any shape, from the 2-D DOST.

    Each pixel is covered by one coefficient of every band pair of
    :func:`dost2` (the row band's place nearest to its row, the column
    band's place nearest to its column, places being circular). Its energy
    there is ``|c|**2 * wr * wc / (n1 * n2)`` for bands of widths ``wr``,
    ``wc``: the coefficient's energy shared over the pixels of its place.
    Summed over all pairs and pixels this is the image's energy exactly when
    the sides are powers of two (every place covers as many pixels), and
    nearly so otherwise. This is what :func:`orbelix.imfreq` picks for one pixel of a
    square power-of-two image, for all pixels of any image at once.

    Parameters
    ----------
    image : array_like
        Real or complex images on the last two axes (rows, columns);
        leading axes are a batch.
    spacing : (float, float), default (1.0, 1.0)
        Pixel spacing ``(dy, dx)`` along the rows and the columns, in any
        unit: frequencies are in cycles per that unit.
    output : {"dominant", "octaves", "full"}, default "dominant"
        What to return (below).
    workers : int, default 1
        Threads; -1 for every core. The numbers do not depend on it.

    Returns
    -------
    For ``output="dominant"``, ``(frequency, orientation)``: float32 arrays
    of the image's shape. The band pair with the most energy at the pixel
    (the zero-frequency pair takes no part), its centre frequency
    ``hypot(ky, kx)`` and the angle ``atan2(ky, kx)`` of its centre wave
    vector folded into ``[0, pi)`` (``kx`` along the columns, ``ky`` along
    the rows; stripes that vary along the columns have orientation 0). A
    pixel with no energy outside the zero frequency gets 0 and 0.

    For ``output="octaves"``, ``(centres, energy)``: the centres of the
    radial octaves in cycles per unit (``centres[0] = 0`` holds the zero
    frequency alone; octave ``o >= 1`` the pairs whose centre radius lies in
    ``[r0 2**(o-1), r0 2**o)``, ``r0`` the smallest non-zero centre radius;
    its centre is ``1.5 r0 2**(o-1)``) and the energy per octave per pixel,
    float32 of shape ``(len(centres),) + image.shape``: ``4 len(centres)``
    bytes per pixel (about ``4 (log2 n + 1)``, 44 for a 1024 x 1024 image,
    5.5 times its complex64 copy), with the coefficients' complex64 copy
    besides it during the call.

    For ``output="full"``, ``(centres, magnitudes)``: the centre wave vector
    ``(ky, kx)`` of every band pair, float64 of shape ``(nr, nc, 2)`` for
    ``nr``, ``nc`` bands along the rows and columns (:func:`dost_bands` of
    each side, in coefficient order), and the magnitude ``|c|`` of each
    pair's coefficient at each pixel, float32 of shape
    ``(nr, nc) + image.shape``: ``4 nr nc`` bytes per pixel (about
    ``4 (2 log2 n)^2``; 1.8 GB for a 1024 x 1024 image), refused with
    MemoryError beyond the machine's memory.

    Raises
    ------
    TypeError
        `image` not numeric, `spacing` not a pair, or arguments of the wrong
        type.
    ValueError
        An image with fewer than two dimensions or an empty side, a NaN or
        infinite pixel, a non-positive or non-finite spacing, an unknown
        `output`.
    MemoryError
        When the results would exceed the machine's memory (stating their
        size), before anything is allocated.

    Notes
    -----
    Memory besides the results: one complex64 copy of the images (their
    coefficients). A dask array gives lazy results chunk by chunk over its
    leading axes.

    Examples
    --------
    Stripes of 8 pixels' period (16 cycles over 128 columns) lie in the
    column octave of 16 .. 31 cycles, centred on 24 cycles, 0.1875 cycles
    per pixel:

    >>> import numpy as np
    >>> from orbelix_tools import local_spectrum
    >>> y, x = np.mgrid[0:96, 0:128]
    >>> frequency, orientation = local_spectrum(np.cos(2 * np.pi * x / 8))
    >>> float(np.median(frequency)), float(np.median(orientation))
    (0.1875, 0.0)

    The same stripes turned by 90 degrees, with pixels 0.5 mm apart along
    the rows (12 cycles over 96 rows: the octave 8 .. 15, centred on 12):

    >>> frequency, orientation = local_spectrum(np.cos(2 * np.pi * y / 8), spacing=(0.5, 1.0))
    >>> float(np.median(frequency)), round(float(np.median(orientation)), 4)
    (0.25, 1.5708)

    The energy per radial octave adds up to the image's energy:

    >>> image = np.random.default_rng(0).standard_normal((64, 64))
    >>> centres, energy = local_spectrum(image, output="octaves")
    >>> energy.shape
    (7, 64, 64)
    >>> bool(np.isclose(energy.sum(), np.sum(image ** 2), rtol=1e-5))
    True
    """
    if _is_dask(image):
        return _dask().local_spectrum(  # type: ignore[no-any-return]
            image, spacing=spacing, output=output, workers=workers)
    dy, dx = _spacing(spacing)
    choice(output, "output", _OUTPUTS)
    threads = worker_count(workers)
    a = np.asarray(image) if not isinstance(image, np.ndarray) else image
    shape = a.shape
    if a.ndim >= 2 and a.dtype.kind in "iufc" and 0 not in shape[-2:]:
        n1, n2 = shape[-2:]
        nr, nc = len(_centre_bins(n1)), len(_centre_bins(n2))
        if output == "dominant":
            result_size((2,) + shape, np.float32, "the frequency and orientation maps")
        elif output == "full":
            result_size((nr, nc) + shape, np.float32, "the band magnitudes")
        result_size(shape, np.complex64, "the coefficients")
    a, _, c = _prepare(image, "image", (-2, -1), "the coefficients")
    n1, n2 = c.shape[-2:]
    flat = c.reshape((-1, n1, n2))
    _finite_or_raise(_core.dost2_inplace(flat, inverse=False, workers=threads,
                                         real=a.dtype.kind != "c"), a, "image")
    ky, kx = _pair_centres(n1, n2, dy, dx)
    radius = np.hypot(ky, kx)
    if output == "dominant":
        angle = np.arctan2(ky, kx)
        angle = np.where(angle < 0, angle + np.pi, angle)
        angle = np.where(angle >= np.pi, angle - np.pi, angle)
        frequency = allocate(shape, np.float32, "the frequency map")
        orientation = allocate(shape, np.float32, "the orientation map")
        _core.dominant_into(flat, radius.astype(np.float32), angle.astype(np.float32),
                            frequency.reshape(flat.shape), orientation.reshape(flat.shape),
                            workers=threads)
        return frequency, orientation
    if output == "octaves":
        octave, centres = _octaves(radius)
        energy_shape = (len(centres),) + shape
        result_size(energy_shape, np.float32, "the octave energies")
        energy = allocate(energy_shape, np.float32, "the octave energies")
        _core.octaves_into(flat, np.ascontiguousarray(octave, np.int32),
                           energy.reshape((len(centres),) + flat.shape), workers=threads)
        return centres, energy
    magnitudes = allocate(radius.shape + shape, np.float32, "the band magnitudes")
    _core.magnitudes_into(flat, magnitudes.reshape(radius.shape + flat.shape), workers=threads)
    return np.stack([ky, kx], axis=-1), magnitudes

