"""Input conversion and result allocation, with their checks."""

from __future__ import annotations

import math
import os
import weakref
from typing import Any

import numpy as np
import numpy.typing as npt

from ._grid import MAX_LENGTH


def refuse_masked(x: object, name: str) -> None:
    """ValueError for a masked array that masks any value: converting it
    would transform whatever the masked slots happen to hold."""
    if isinstance(x, np.ma.MaskedArray) and np.ma.is_masked(x):
        count = int(np.count_nonzero(np.ma.getmaskarray(x)))
        raise ValueError(
            f"{name} is a masked array with {count} masked value{'s' if count != 1 else ''}; "
            f"fill or interpolate them first (for example {name}.filled(0))")


def signal_array(x: object, name: str) -> npt.NDArray[Any]:
    """x as an array of real or complex numbers (integers included); TypeError otherwise."""
    refuse_masked(x, name)
    a = np.asarray(x)
    if a.dtype.kind not in "iufc":
        raise TypeError(
            f"{name} has dtype {a.dtype}; expected real or complex numbers "
            "(integer, float or complex)")
    if a.ndim == 0:
        raise ValueError(f"{name} is a scalar; it needs a time axis")
    return a


def check_finite(a: npt.NDArray[Any], name: str) -> None:
    """ValueError naming the first value of `a` that is NaN or infinite, or
    that becomes infinite in single precision: through the FFTs one such
    value makes the whole signal's result NaN. Integers always pass."""
    if a.dtype.kind not in "fc" or a.size == 0:
        return
    parts = (a.real, a.imag) if a.dtype.kind == "c" else (a,)
    # Extremes propagate NaN; no temporary the size of the input.
    with np.errstate(over="ignore"):
        if all(np.isfinite(np.float32(p.min())) and np.isfinite(np.float32(p.max()))
               for p in parts):
            return
        bad = np.zeros(a.shape, dtype=bool)
        for p in parts:
            bad |= ~np.isfinite(p.astype(np.float32))
    where = tuple(int(i) for i in np.argwhere(bad)[0])
    value = a[where].item()
    index = ", ".join(str(i) for i in where)
    if np.isfinite(value):
        raise ValueError(f"{name}[{index}]={value!r} is beyond single precision "
                         f"(largest {float(np.finfo(np.float32).max):.8g})")
    raise ValueError(f"{name}[{index}]={value!r} is not finite: a NaN or infinity "
                     "would spread over its whole signal")


def check_length(n: int, name: str, axis: object, shape: tuple[int, ...]) -> None:
    """A signal length the transform takes."""
    if n == 0:
        raise ValueError(f"{name} is empty along axis={axis!r} (shape {shape})")
    if n > MAX_LENGTH:
        raise ValueError(
            f"{name} has {n} samples along axis={axis!r}; at most {MAX_LENGTH} are supported")


def _memory_bytes() -> int | None:
    try:
        return os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES")
    except (AttributeError, ValueError, OSError):
        return None


def _gb(nbytes: int) -> str:
    return f"{nbytes / 1e9:.3g} GB"


def result_size(shape: tuple[int, ...], dtype: npt.DTypeLike, what: str) -> int:
    """Bytes of a result of this shape, refused before anything is allocated:
    ValueError when NumPy cannot index it, MemoryError when it exceeds the
    machine's memory."""
    elements = math.prod(shape)
    nbytes = elements * np.dtype(dtype).itemsize
    if elements > np.iinfo(np.intp).max or nbytes > np.iinfo(np.intp).max:
        raise ValueError(
            f"{what} of shape {shape} would hold {elements} elements of "
            f"{np.dtype(dtype).itemsize} bytes, more than a NumPy array can index")
    memory = _memory_bytes()
    if memory is not None and nbytes > memory:
        raise MemoryError(
            f"{what} of shape {shape} ({np.dtype(dtype)}) needs {_gb(nbytes)}, "
            f"more than this machine's {_gb(memory)} of memory")
    return nbytes


def allocate(shape: tuple[int, ...], dtype: npt.DTypeLike, what: str) -> npt.NDArray[Any]:
    """An uninitialised result (checked with result_size first)."""
    try:
        return np.empty(shape, dtype=dtype)
    except MemoryError:
        nbytes = math.prod(shape) * np.dtype(dtype).itemsize
        raise MemoryError(
            f"{what} of shape {shape} ({np.dtype(dtype)}) needs {_gb(nbytes)}, "
            "which cannot be allocated") from None


def allocate_together(shape: tuple[int, ...], dtype: npt.DTypeLike, count: int,
                      what: str) -> list[npt.NDArray[Any]]:
    """count uninitialised results of one shape, each its own array; when
    they cannot all be had, MemoryError states what all of them need."""
    made: list[npt.NDArray[Any]] = []
    try:
        for _ in range(count):
            made.append(np.empty(shape, dtype=dtype))
    except MemoryError:
        made.clear()
        nbytes = math.prod(shape) * np.dtype(dtype).itemsize
        raise MemoryError(
            f"{what} of shape {shape} ({np.dtype(dtype)}) need {_gb(count * nbytes)} "
            f"({_gb(nbytes)} each), which cannot be allocated") from None
    return made


# Sample types the extension reads in place (in native byte order); others
# are converted first.
_NATIVE_TYPES: tuple[type[np.generic], ...] = (np.float32, np.float64, np.complex64,
                                               np.complex128)


def signal_view(x: npt.NDArray[Any], axes: tuple[int, ...], dest: tuple[int, ...],
                shape: tuple[int, int, int]) -> npt.NDArray[Any]:
    """x with `axes` moved to `dest` and reshaped to (outer, inner, n): a view
    in x's own dtype when it can be (the extension converts one signal at a
    time), else a copy; dtypes it does not read become complex64."""
    native = x.dtype.type in _NATIVE_TYPES and x.dtype.isnative
    a = x if native else x.astype(np.complex64)
    if any(s != d % a.ndim for s, d in zip(axes, dest)):
        a = np.moveaxis(a, axes, dest)
    view = a.reshape(shape)
    # The extension steps through whole, aligned elements: a field of a
    # record array (strides that are not a multiple of the item size) or
    # data at an odd address is copied first.
    if not view.flags.aligned or any(s % view.itemsize for s in view.strides):
        view = view.copy()  # a fresh, aligned buffer even when view is contiguous
    return view


def pin_memory(a: npt.NDArray[Any]) -> weakref.ref[npt.NDArray[Any]]:
    """A weak reference to the array that owns a's memory, to hold while the
    extension reads it in place: NumPy refuses to resize an array that has
    one (even with refcheck=False), so neither a signal handler run during
    the call nor another thread can free that memory this way. The extension
    also watches that array for new data given by a signal handler."""
    owner = a
    while isinstance(owner.base, np.ndarray):
        owner = owner.base
    return weakref.ref(owner)
