"""The discrete orthonormal S-transform (DOST) of signals and images of any size."""

from __future__ import annotations

import importlib
from dataclasses import dataclass
from typing import Any

import numpy as np
import numpy.typing as npt

from . import _core
from ._arrays import allocate, check_finite, check_length, result_size, signal_array
from ._grid import axis_index, integer, positive, worker_count

Complex64Array = npt.NDArray[np.complex64]


def _is_dask(x: object) -> bool:
    return type(x).__module__.startswith("dask")


def _dask() -> Any:
    return importlib.import_module("._dask_images", __package__)


@dataclass(frozen=True)
class DostBand:
    """One band of the DOST of `n` samples (see :func:`dost_bands`).

    Attributes
    ----------
    fmin, fmax : float
        Lowest and highest frequency of the band in Hz, inclusive (both
        negative for a band of negative frequencies, ``fmin <= fmax``).
    centre : float
        The frequency the band is re-centred on, in Hz: its middle bin.
    slice : slice
        Where the band's coefficients lie along the transformed axis, in the
        order of their times (a negative step for negative bands).
    times : ndarray of float64
        Time of each coefficient in s: coefficient ``k`` of a band of
        ``width`` bins is the band's signal at sample ``k * n / width``.
    first : int
        The band's lowest ``|bin|``.
    width : int
        Number of bins (and of coefficients).
    """

    fmin: float
    fmax: float
    centre: float
    slice: slice
    times: npt.NDArray[np.float64]
    first: int
    width: int

    @property
    def negative(self) -> bool:
        """Whether the band holds negative frequencies."""
        return self.centre < 0


def _band_layout(n: int) -> list[tuple[int, int, bool]]:
    """(first |bin|, width, negative) of each band of n samples, in coefficient order."""
    highest = (n - 1) // 2
    octaves = []
    x = 1
    while x <= highest:
        octaves.append((x, min(2 * x - 1, highest) - x + 1, False))
        x *= 2
    bands = [(0, 1, False)] + octaves
    if n % 2 == 0:
        bands.append((n // 2, 1, False))
    return bands + [(b, w, True) for b, w, _ in reversed(octaves)]


def _centre_bins(n: int) -> npt.NDArray[np.float64]:
    """Signed centre bin of each band of n samples, in coefficient order."""
    return np.array([-(b + w // 2) if neg else b + w // 2 for b, w, neg in _band_layout(n)],
                    dtype=np.float64)


def dost_bands(n: int, fs: float = 1.0) -> list[DostBand]:
    """The bands of the DOST of `n` samples, in coefficient order.

    Parameters
    ----------
    n : int
        Signal length (at least 1).
    fs : float, default 1.0
        Sampling rate in Hz.

    Returns
    -------
    list of DostBand
        The zero frequency; the positive octaves ``x .. 2x-1`` bins for
        ``x = 1, 2, 4, ...``, the last one ending at bin ``(n-1)//2``; the
        Nyquist bin ``n/2`` when `n` is even; then the negative octaves,
        mirror images of the positive ones, from the highest frequencies
        down to bin ``-1``. Together they hold the `n` coefficients once
        each.

    Examples
    --------
    Ten samples at 10 Hz: bins and Hz coincide.

    >>> from orbelix_tools import dost_bands
    >>> [(b.fmin, b.fmax) for b in dost_bands(10, fs=10.0)]
    [(0.0, 0.0), (1.0, 1.0), (2.0, 3.0), (4.0, 4.0), (5.0, 5.0), (-4.0, -4.0), (-3.0, -2.0), (-1.0, -1.0)]
    >>> band = dost_bands(10, fs=10.0)[6]
    >>> band.slice, band.centre, band.times
    (slice(8, 6, -1), -3.0, array([0. , 0.5]))
    """
    length = integer(n, "n")
    if length < 1:
        raise ValueError(f"n={n!r} must be at least 1")
    rate = positive(fs, "fs")
    bands = []
    for first, width, negative in _band_layout(length):
        lo, hi, mid = first, first + width - 1, first + width // 2
        if negative:
            lo, hi, mid = -hi, -lo, -mid
            where = slice(length - first, length - first - width, -1)
        else:
            where = slice(first, first + width, 1)
        times = np.arange(width, dtype=np.float64) * (length / width / rate)
        bands.append(DostBand(lo * rate / length, hi * rate / length, mid * rate / length, where,
                              times, first, width))
    return bands


# Inputs of at most this many values fit in any machine's memory (their
# result takes 8 bytes a value): no need to ask the system.
_SMALL = 1 << 20
# Sample types whose conversion to complex64 can neither overflow nor fail.
_EXACT_CASTS: tuple[type[np.generic], ...] = (np.complex64, np.float32, np.float16, np.int8,
                                               np.uint8, np.int16, np.uint16)


def _prepare(x: object, name: str, axes: tuple[object, ...], what: str
             ) -> tuple[npt.NDArray[Any], tuple[int, ...], Complex64Array]:
    """x checked, its `axes` moved last into a fresh contiguous complex64
    copy. Values are checked for NaN and infinity after the transform
    (:func:`_finite_or_raise`), where a bad one shows in the coefficients."""
    a = signal_array(x, name)
    if len(axes) > a.ndim:
        raise ValueError(f"{name} has {a.ndim} dimension{'s' if a.ndim != 1 else ''}; "
                         f"expected at least {len(axes)}")
    label = "axis" if len(axes) == 1 else "axes"
    idx = tuple(axis_index(ax, a.ndim, label) for ax in axes)
    if len(set(idx)) != len(idx):
        raise ValueError(f"axes={tuple(axes)!r} names the same axis twice")
    for i, ax in zip(idx, axes):
        check_length(a.shape[i], name, ax if len(axes) == 1 else tuple(axes), a.shape)
    dest = tuple(range(a.ndim - len(axes), a.ndim))
    moved = a if idx == dest else np.moveaxis(a, idx, dest)
    if a.size > _SMALL:
        result_size(moved.shape, np.complex64, what)
    c = allocate(moved.shape, np.complex64, what)
    if a.dtype.type in _EXACT_CASTS:
        np.copyto(c, moved)
    else:
        with np.errstate(over="ignore", invalid="ignore"):  # reported by the check
            np.copyto(c, moved, casting="unsafe")
    return a, idx, c


def _finite_or_raise(finite: bool, a: npt.NDArray[Any], name: str) -> None:
    """ValueError naming the first bad value of `a` when the transform did
    not come out finite."""
    if not finite:
        check_finite(a, name)


def _transform(x: object, axes: tuple[object, ...], inverse: bool, workers: int,
               name: str, what: str) -> Complex64Array:
    threads = worker_count(workers)
    a, idx, c = _prepare(x, name, axes, what)
    if len(axes) == 1:
        finite = _core.dost_inplace(c.reshape(-1, c.shape[-1]), inverse=inverse, workers=threads)
    else:
        finite = _core.dost2_inplace(c.reshape((-1,) + c.shape[-2:]), inverse=inverse,
                                     workers=threads, real=a.dtype.kind != "c")
    _finite_or_raise(finite, a, name)
    dest = tuple(range(a.ndim - len(axes), a.ndim))
    return c if idx == dest else np.moveaxis(c, dest, idx)


def dost(x: npt.ArrayLike, *, axis: int = -1, workers: int = 1) -> Complex64Array:
    r"""Discrete orthonormal S-transform of signals of any length.

    The unitary spectrum of each signal (``fft(x, norm="ortho")``) is cut into
    the bands of :func:`dost_bands`; each band's slice is re-centred on its
    middle bin and transformed back with the band's own length (unitary, any
    length, in O(w log w)). Band ``[b, b+w)`` gives the coefficients

    .. math:: c_{b+k} = \frac{1}{\sqrt{w}} \sum_{d=-h}^{w-1-h} X_{\nu+d}\, e^{2\pi i dk/w},
              \quad \nu = b + h,\ h = \lfloor w/2 \rfloor,

    and its mirror band of negative frequencies
    ``c[n-b-k] = (1/sqrt(w)) * sum_{d=-(w-1-h)}^{h} X[-nu+d] exp(2 pi i d k / w)``,
    so a real signal has ``c[(n-m) % n] == conj(c[m])``, as its spectrum.
    The transform is unitary: ``sum |c|**2 == sum |x|**2``.

    Parameters
    ----------
    x : array_like
        Real or complex signals (converted to complex64), transformed along
        `axis`; any other axes are a batch.
    axis : int, default -1
        The time axis.
    workers : int, default 1
        Threads over the signals; -1 for every core. The numbers do not
        depend on it.

    Returns
    -------
    c : ndarray of complex64
        The `n` coefficients of each signal along `axis` (the input's shape).
        :func:`dost_bands` tells which band, frequencies and times each
        one stands for.

    Raises
    ------
    TypeError
        `x` not numeric, or arguments of the wrong type.
    ValueError
        An empty signal, an axis out of range, or a value that is NaN or
        infinite (or beyond single precision), naming the first one.
    MemoryError
        When the result would exceed the machine's memory (stating its size),
        before anything is allocated.

    See Also
    --------
    idost : The inverse.
    dost2 : The tensor-product transform of images.

    Notes
    -----
    A dask array `x` gives a lazy result chunk by chunk (the time axis made
    one chunk). Memory: the result plus a few signal lengths per worker.

    Examples
    --------
    >>> import numpy as np
    >>> from orbelix_tools import dost, idost
    >>> x = np.random.default_rng(0).standard_normal(1000)
    >>> c = dost(x)
    >>> bool(np.isclose(np.sum(np.abs(c) ** 2), np.sum(x ** 2), rtol=1e-5))
    True
    >>> bool(np.allclose(idost(c).real, x, atol=1e-5))
    True
    """
    if _is_dask(x):
        return _dask().dost(x, axis=axis, workers=workers)  # type: ignore[no-any-return]
    return _transform(x, (axis,), False, workers, "x", "the transform")


def idost(c: npt.ArrayLike, *, axis: int = -1, workers: int = 1) -> Complex64Array:
    """Signals from their DOST coefficients (the inverse of :func:`dost`).

    Parameters
    ----------
    c : array_like
        Coefficients along `axis` (complex; converted to complex64).
    axis : int, default -1
        The axis of the coefficients.
    workers : int, default 1
        Threads over the signals; -1 for every core.

    Returns
    -------
    x : ndarray of complex64
        The signals (take ``.real`` for real ones), the shape of `c`.

    Raises
    ------
    TypeError, ValueError, MemoryError
        As for :func:`dost`.

    Examples
    --------
    >>> import numpy as np
    >>> from orbelix_tools import dost, idost
    >>> x = np.exp(2j * np.pi * 5 * np.arange(97) / 97)  # a prime length
    >>> c = dost(x)
    >>> back = idost(c)
    >>> back.dtype
    dtype('complex64')
    >>> bool(np.allclose(back, x, atol=1e-5))
    True
    """
    if _is_dask(c):
        return _dask().idost(c, axis=axis, workers=workers)  # type: ignore[no-any-return]
    return _transform(c, (axis,), True, workers, "c", "the inverse")


def dost2(image: npt.ArrayLike, *, axes: tuple[int, int] = (-2, -1),
          workers: int = 1) -> Complex64Array:
    """2-D discrete orthonormal S-transform of images of any shape.

    The tensor product of :func:`dost` along the two `axes`: coefficient
    ``(r, s)`` belongs to the pair of the row band holding position ``r``
    and the column band holding position ``s`` (:func:`dost_bands` of each
    side), and is the 2-D band transform of that rectangle of the unitary
    2-D spectrum. Both halves of the spectrum are computed, so complex
    images are transformed exactly; a real image gives coefficients with
    ``c[(n1-r) % n1, (n2-s) % n2] == conj(c[r, s])``. Unitary:
    ``sum |c|**2 == sum |image|**2``.

    Parameters
    ----------
    image : array_like
        Real or complex images (converted to complex64); other axes are a
        batch.
    axes : tuple of two ints, default (-2, -1)
        The image's row and column axes.
    workers : int, default 1
        Threads over rows, columns and images; -1 for every core. The
        numbers do not depend on it.

    Returns
    -------
    c : ndarray of complex64
        The coefficients, the shape of `image`.

    Raises
    ------
    TypeError, ValueError, MemoryError
        As for :func:`dost`; also for `axes` that are not two distinct axes.

    Notes
    -----
    Relation to :func:`orbelix.dst2` for a real square image of side ``n``
    (a power of two): ``orbelix.dst2`` keeps the layout of the same bands
    but scales band pair ``(x, y)`` (widths) by ``x*y/n``, and builds its
    negative row octaves from the bins in increasing order (centred one bin
    higher), which multiplies their coefficient ``k`` by ``exp(-2 pi i k/x)``.
    With ``c = dost2(g)`` and ``s = orbelix.dst2(g)``: ``s[r, q] = c[r, q] * x*y/n``
    for rows ``r`` in the zero, positive or Nyquist bands and columns
    ``q <= n/2``, and for the rest the same times ``exp(-2 pi i k/x)`` (rows
    ``n-x-k`` of the negative octave of width ``x``, columns ``q <= n/2``) or
    ``exp(+2 pi i k/x)`` (rows ``x+k``, columns ``q > n/2``, which ``dst2``
    fills as the conjugate mirror). See docs/images.md.

    Examples
    --------
    >>> import numpy as np
    >>> from orbelix_tools import dost2, idost2
    >>> g = np.random.default_rng(1).standard_normal((48, 80))
    >>> c = dost2(g)
    >>> bool(np.isclose(np.sum(np.abs(c) ** 2), np.sum(g ** 2), rtol=1e-5))
    True
    >>> bool(np.allclose(idost2(c).real, g, atol=1e-5))
    True
    """
    if _is_dask(image):
        return _dask().dost2(image, axes=axes, workers=workers)  # type: ignore[no-any-return]
    return _transform(image, _axes_pair(axes), False, workers, "image", "the transform")


def idost2(c: npt.ArrayLike, *, axes: tuple[int, int] = (-2, -1),
           workers: int = 1) -> Complex64Array:
    """Images from their 2-D DOST coefficients (the inverse of :func:`dost2`).

    Parameters
    ----------
    c : array_like
        Coefficients (complex; converted to complex64).
    axes : tuple of two ints, default (-2, -1)
        The image's row and column axes.
    workers : int, default 1
        Threads; -1 for every core.

    Returns
    -------
    image : ndarray of complex64
        The images (take ``.real`` for real ones), the shape of `c`.

    Raises
    ------
    TypeError, ValueError, MemoryError
        As for :func:`dost2`.

    Examples
    --------
    A stack of complex images, transformed and restored:

    >>> import numpy as np
    >>> from orbelix_tools import dost2, idost2
    >>> rng = np.random.default_rng(2)
    >>> g = rng.standard_normal((2, 31, 17)) + 1j * rng.standard_normal((2, 31, 17))
    >>> back = idost2(dost2(g))
    >>> back.shape
    (2, 31, 17)
    >>> bool(np.allclose(back, g, atol=1e-5))
    True
    """
    if _is_dask(c):
        return _dask().idost2(c, axes=axes, workers=workers)  # type: ignore[no-any-return]
    return _transform(c, _axes_pair(axes), True, workers, "c", "the inverse")


def _axes_pair(axes: object) -> tuple[object, object]:
    if not isinstance(axes, (tuple, list)) or len(axes) != 2:
        raise TypeError(f"axes must be a tuple of two integers, not {axes!r}")
    return (axes[0], axes[1])
