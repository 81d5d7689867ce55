"""Local Hilbert measures of whole images: ratio, orientation, phase and energy maps."""

from __future__ import annotations

import importlib
import math
from collections.abc import Sequence
from typing import Any

import numpy as np
import numpy.typing as npt

from . import _core
from ._arrays import Pin, allocate_together, check_finite, refuse_masked, result_size
from ._grid import choice, integer, real_number, worker_count

BORDERS = ("reflect", "wrap", "constant", "valid")
#: Largest kernel_size the extension takes (a 32-bit count).
MAX_KERNEL_SIZE = 2**31 - 1

Float32Array = npt.NDArray[np.float32]


def _is_dask(x: object) -> bool:
    return type(x).__module__.startswith("dask")


def image_array(image: object, name: str = "image") -> npt.NDArray[Any]:
    """image as an array of real numbers with at least two dimensions."""
    refuse_masked(image, name)
    a = np.asarray(image)
    if a.dtype.kind not in "iuf":
        raise TypeError(f"{name} has dtype {a.dtype}; expected real numbers (integer or float)")
    if a.ndim < 2:
        raise ValueError(f"{name} must have two image axes, not shape {a.shape}")
    return a


def pair_of(value: object) -> tuple[Any, Any] | None:
    """The two items of a sequence (or 1-D array) of two; None for anything else."""
    if isinstance(value, np.ndarray):
        return (value[0], value[1]) if value.shape == (2,) else None
    if isinstance(value, Sequence) and not isinstance(value, (str, bytes)) and len(value) == 2:
        return value[0], value[1]
    return None


def image_axes(axes: object, ndim: int) -> tuple[int, int]:
    """Two distinct, non-negative axes of an array with ndim dimensions."""
    given = pair_of(axes)
    if given is None:
        raise TypeError(f"axes must be a pair of integers (rows, columns), not {axes!r}")
    pair = []
    for a in given:
        i = integer(a, "axes")
        if not -ndim <= i < ndim:
            raise ValueError(f"axes={given!r} is out of range for an array of {ndim} dimensions")
        pair.append(i % ndim)
    if pair[0] == pair[1]:
        raise ValueError(f"axes={given!r} names the same axis twice")
    return pair[0], pair[1]


def scale_pair(coarse: object, fine: object) -> tuple[float, float]:
    """coarse and fine as the single-precision values the kernels use."""
    values = []
    for value, name in ((coarse, "coarse"), (fine, "fine")):
        v = real_number(value, name)
        with np.errstate(over="ignore"):
            single = float(np.float32(v))
        if not math.isfinite(single):
            raise ValueError(f"{name}={value!r} must be finite in single precision")
        values.append(single)
    if values[0] == values[1]:
        raise ValueError(f"fine={fine!r} equals coarse={coarse!r} in single precision: "
                         "every kernel weight would be zero")
    return values[0], values[1]


def spacing_pair(spacing: object) -> tuple[float, float]:
    """A pair (dy, dx) of finite, positive pixel spacings."""
    given = pair_of(spacing)
    if given is None:
        raise TypeError(f"spacing must be a pair (dy, dx) of positive numbers, not {spacing!r}")
    dy, dx = real_number(given[0], "spacing"), real_number(given[1], "spacing")
    if not all(math.isfinite(s) and s > 0.0 for s in (dy, dx)):
        raise ValueError(f"spacing={given!r} must hold two finite, positive numbers")
    return dy, dx


def window_half_width(kernel_size: object, border: str, rows: int, cols: int) -> int:
    """kernel_size, checked against the image's sides for the border."""
    k = integer(kernel_size, "kernel_size")
    if k < 0:
        raise ValueError(f"kernel_size={kernel_size!r} must not be negative")
    if k > MAX_KERNEL_SIZE:
        raise ValueError(f"kernel_size={kernel_size!r} exceeds {MAX_KERNEL_SIZE}")
    side = min(rows, cols)
    if border == "valid" and 2 * k + 1 > side:
        raise ValueError(
            f"kernel_size={k} needs at least {2 * k + 1} rows and columns with border='valid'; "
            f"the image has {rows} x {cols}")
    if border in ("reflect", "wrap") and k >= side:
        raise ValueError(
            f"kernel_size={k} must be smaller than the image's sides ({rows} x {cols}) "
            f"with border={border!r}")
    return k


def measured_extent(n: int, kernel_size: int, border: str) -> int:
    return n - 2 * kernel_size if border == "valid" else n


def scratch_floats(rows: int, cols: int, k: int, border: str, workers: int) -> int:
    """Floats the extension allocates besides the results: five weights per
    window offset, and per worker the completed rows of a band of up to 32
    output rows, padded to whole vector blocks (at most 32 columns). With
    zeros around the image, window rows and columns that reach only zeros
    are left out."""
    kr, kc = (min(k, rows - 1), min(k, cols - 1)) if border == "constant" else (k, k)
    out_rows, out_cols = measured_extent(rows, k, border), measured_extent(cols, k, border)
    strip = (min(out_rows, 32) + 2 * kr) * (out_cols + 32 + 2 * kc)
    return 5 * (2 * kr + 1) * (2 * kc + 1) + workers * strip


def local_measures(image: npt.ArrayLike, *, coarse: float = 0.2, fine: float = 0.1,
                   kernel_size: int = 7, border: str = "reflect",
                   spacing: tuple[float, float] = (1.0, 1.0), axes: tuple[int, int] = (-2, -1),
                   workers: int = 1
                   ) -> tuple[Float32Array, Float32Array, Float32Array, Float32Array]:
    r"""Local Hilbert measures at every pixel: ratio, orientation, phase and energy.

    The measures of :func:`orbelix.cmsht2` for every pixel at once. The
    ``(2K+1) x (2K+1)`` window around a pixel (``K = kernel_size``) is
    filtered with four fixed kernels built from a fine and a coarse scale:
    at the pixel ``j`` rows below and ``i`` columns right of the centre, with
    ``u = i**2 + j**2 + 1``, ``(p1, p2, p3) = (j, i, u - 1)/u`` and
    ``F_s = sqrt(s**2 + p1**2 + p2**2 + p3**2)``, the even response ``E``
    sums ``(fine F_fine - coarse F_coarse) v`` and the odd and radial
    responses ``O1, O2, Q`` sum ``(p1, p2, p3) (F_fine - F_coarse) v``.

    Parameters
    ----------
    image : array_like
        Real image(s), integer or float (rounded to float32 as
        :func:`orbelix.cmsht2` rounds them), with the image axes `axes` and
        any number of other (batch) axes.
    coarse, fine : float, default 0.2 and 0.1
        The two scales, used in single precision; they must differ there.
        Swapping them negates every response.
    kernel_size : int, default 7
        Half-width ``K >= 0`` of the window. ``K = 0`` uses the pixel alone
        (its ratio is NaN: both odd responses and ``Q`` are zero).
    border : {"reflect", "wrap", "constant", "valid"}, default "reflect"
        How windows reaching past the image are completed: ``"reflect"``
        mirrors the image about its edge, repeating the edge pixel
        (``d c b a | a b c d | d c b a``, as ``scipy.ndimage``'s
        ``"reflect"`` and ``numpy.pad``'s ``"symmetric"``); ``"wrap"``
        repeats the image periodically; ``"constant"`` completes with zeros
        (what :func:`orbelix.cmsht2` does at an edge, so every pixel equals
        its result there); ``"valid"`` computes only the pixels whose window
        lies inside, so each image axis of the results is ``2K`` shorter.
        ``"reflect"`` and ``"wrap"`` need ``K`` below both image sides,
        ``"valid"`` at least ``2K + 1`` pixels along each; ``"constant"``
        takes any ``K``.
    spacing : (float, float), default (1.0, 1.0)
        Pixel spacing ``(dy, dx)`` along the two image axes, accepted so
        that the same call fits :func:`local_spectrum` and :func:`plot_map`.
        The measures are defined on the pixel grid: none of them depends on
        it, not even the orientation (which is an angle between pixel axes).
    axes : (int, int), default (-2, -1)
        The image axes: rows (the first index of :func:`orbelix.cmsht2`'s
        pixel, the direction of ``O1``) and columns (``O2``).
    workers : int, default 1
        Threads over bands of rows and over images; -1 uses every core. The
        numbers do not depend on it.

    Returns
    -------
    ratio, orientation, phase, energy : ndarray of float32
        The image's shape (the image axes ``2K`` shorter for
        ``border="valid"``), image axes where they were:

        - ``ratio = hypot(O1, O2) / Q``: in-plane odd magnitude over the
          radial response (infinite or NaN where ``Q = 0``);
        - ``orientation = atan2(O2, O1)`` in radians, in ``[-pi, pi]``,
          measured from the rows axis (downwards) towards the columns axis;
          ``pi/2 - orientation`` is the angle from the columns axis towards
          the rows axis that :func:`local_spectrum` and :func:`plot_map` use;
        - ``phase = atan2(|(O1, O2, Q)|, E)`` in radians, in ``[0, pi]``;
        - ``energy = E**2 + O1**2 + O2**2 + Q**2``.

    Raises
    ------
    TypeError
        For arguments of the wrong type, or an image that does not hold real
        numbers.
    ValueError
        For an empty image, fewer than two dimensions, bad `axes`, a pixel
        that is NaN or infinite (or beyond single precision), `coarse` equal
        to `fine`, a negative `kernel_size` or one too large for the image
        with the chosen `border`, an unknown `border`, a bad `spacing`,
        naming the argument.
    MemoryError
        When the results would exceed the machine's memory, before anything
        is allocated.

    Notes
    -----
    At every pixel whose window lies inside the image the four values are
    those of ``orbelix.cmsht2(image, row, col, coarse=coarse, fine=fine,
    kernel_size=K)``, bit for bit: each pixel's sums run over the window in
    the same order (column offsets outer, row offsets inner, from ``-K`` to
    ``K``) with the same single-precision operations. The speed comes from
    computing many neighbouring pixels side by side in SIMD lanes, not from
    reordering a pixel's sum; every instruction set gives the same bits.

    A dask array gives lazy results: each chunk is computed with a halo of
    ``kernel_size`` pixels from its neighbours (``map_overlap``), exactly
    equal to the eager result.

    Ctrl-C interrupts a long call with KeyboardInterrupt.

    Examples
    --------
    A ramp rising along the columns: the odd responses lie along the
    columns axis. With ``fine < coarse`` (the default) the odd factor
    ``F_fine - F_coarse`` is negative, so they point down the slope, and
    the orientation is -pi/2:

    >>> import numpy as np
    >>> from orbelix_tools import local_measures
    >>> image = np.tile(np.arange(32, dtype=np.float32), (32, 1))
    >>> ratio, orientation, phase, energy = local_measures(image)
    >>> orientation.shape, orientation.dtype
    ((32, 32), dtype('float32'))
    >>> round(float(orientation[16, 16]), 4)
    -1.5708

    The same values as :func:`orbelix.cmsht2` at a pixel:

    >>> import orbelix
    >>> h = orbelix.cmsht2(image, 16, 16)
    >>> bool(h[1] == orientation[16, 16] and h[3] == energy[16, 16])
    True
    """
    if _is_dask(image):
        module = importlib.import_module("._dask_measures", __package__)
        return module.local_measures(image, coarse=coarse, fine=fine, kernel_size=kernel_size,  # type: ignore[no-any-return]
                                     border=border, spacing=spacing, axes=axes, workers=workers)
    a = image_array(image)
    # From here on Python code run by the other arguments' conversions (or a
    # signal handler, or another thread) cannot resize the image's memory.
    pin = Pin(a, "image")
    row_axis, col_axis = image_axes(axes, a.ndim)
    c, f = scale_pair(coarse, fine)
    border = choice(border, "border", BORDERS)
    spacing_pair(spacing)
    rows, cols = a.shape[row_axis], a.shape[col_axis]
    if rows == 0 or cols == 0:
        raise ValueError(f"image is empty along axes={tuple(axes)!r} (shape {a.shape})")
    k = window_half_width(kernel_size, border, rows, cols)
    threads = worker_count(workers)

    moved = np.moveaxis(a, (row_axis, col_axis), (-2, -1))
    shape = moved.shape[:-2] + (measured_extent(rows, k, border), measured_extent(cols, k, border))
    result_size((4,) + shape, np.float32, "the four measures")
    result_size((scratch_floats(rows, cols, k, border, threads),), np.float32,
                "the window's weights and the workers' scratch")
    pin.check()
    check_finite(a, "image")
    maps = allocate_together(shape, np.float32, 4, "the four measures")
    pin.check()
    if not (moved.dtype.type in (np.float32, np.float64) and moved.dtype.isnative):
        moved = moved.astype(np.float32)
    images = moved.reshape((-1,) + moved.shape[-2:])
    # Whole, aligned elements for the extension to step through.
    if not images.flags.aligned or any(s % images.itemsize for s in images.strides):
        images = images.copy()
    pinned = Pin(images, "image")  # pin's owner, or a private copy
    _core.local_measures_into(images, *(m.reshape((-1,) + shape[-2:]) for m in maps),
                              coarse=c, fine=f, kernel_size=k, border=border, workers=threads,
                              owner=pinned.owner)
    del pinned, pin
    ratio, orientation, phase, energy = (np.moveaxis(m, (-2, -1), (row_axis, col_axis))
                                         for m in maps)
    return ratio, orientation, phase, energy
