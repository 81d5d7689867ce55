"""Input conversion and result allocation, with their checks."""

from __future__ import annotations

import functools
import math
import os
import sys
import weakref
from typing import Any

import numpy as np
import numpy.typing as npt

from . import _core
from ._grid import MAX_LENGTH


def refuse_masked(x: object, name: str) -> None:
    """ValueError for a masked array that masks any value: converting it
    would transform whatever the masked slots happen to hold. One of records
    or other non-numbers is left to the caller's dtype check."""
    # No masked array exists before numpy.ma is imported: the check does not
    # import it (NumPy does so lazily, taking longer than many a call).
    ma = sys.modules.get("numpy.ma")
    if (ma is not None and isinstance(x, ma.MaskedArray) and x.dtype.kind in "biufc"
            and ma.is_masked(x)):
        count = int(np.count_nonzero(ma.getmaskarray(x)))
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
    if _read_in_place(a):
        # The extension reads with the interpreter lock held: NumPy's
        # reductions would let another thread free the memory meanwhile.
        first = _core.first_not_finite(a, owner_of(a), name)
        if first < 0:
            return
        where = tuple(int(i) for i in np.unravel_index(first, a.shape))
    else:
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


#: Most signals one call transforms (the extension counts them in 32 bits).
MAX_SIGNALS = 2**31 - 1


def check_signal_count(lead: tuple[int, ...], name: str) -> int:
    """The number of signals, the product of the batch axes `lead`;
    ValueError naming the argument beyond MAX_SIGNALS."""
    count = math.prod(lead)
    if count > MAX_SIGNALS:
        raise ValueError(f"{name} holds {count} signals (batch axes {lead}); at most "
                         "2**31 - 1 are supported in one call")
    return count


def _physical_memory() -> int | None:
    try:
        return os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES")
    except (AttributeError, ValueError, OSError):
        return None


# The machine's physical memory, asked once a process.
_memory_bytes = functools.lru_cache(maxsize=1)(_physical_memory)


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


def working_size(shape: tuple[int, ...], dtype: npt.DTypeLike, what: str, buffers: int,
                 workers: int) -> None:
    """MemoryError, before anything is allocated, when a result (already
    checked alone with result_size) and the extension's working buffers for
    `workers` threads together exceed the machine's memory."""
    nbytes = math.prod(shape) * np.dtype(dtype).itemsize
    memory = _memory_bytes()
    if memory is not None and nbytes + buffers > memory:
        raise MemoryError(
            f"{what} of shape {shape} ({np.dtype(dtype)}) needs {_gb(nbytes)} and the "
            f"working buffers of {workers} worker{'s' if workers != 1 else ''} "
            f"{_gb(buffers)}: {_gb(nbytes + buffers)}, more than this machine's "
            f"{_gb(memory)} of memory")


def allocate(shape: tuple[int, ...], dtype: npt.DTypeLike, what: str,
             zeroed: bool = False) -> npt.NDArray[Any]:
    """An uninitialised result (checked with result_size first); zeroed: one
    of zeros, whose pages the system zeroes as they are first touched."""
    try:
        return (np.zeros if zeroed else np.empty)(shape, dtype=dtype)
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


def _read_in_place(a: npt.NDArray[Any]) -> bool:
    """Whether the extension reads a as it is: a native sample type in whole,
    aligned elements (not a field of a record array, nor at an odd address)."""
    return (a.dtype.type in _NATIVE_TYPES and a.dtype.isnative and a.flags.aligned
            and not any(s % a.itemsize for s in a.strides))


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


# NumPy's own getters of these ndarray attributes, called on the array
# directly: a property of the same name on an ndarray subclass never runs
# (its Python code could free the memory being pinned).
_BASE = np.ndarray.__dict__["base"]
_NBYTES = np.ndarray.__dict__["nbytes"]
_INTERFACE = np.ndarray.__dict__["__array_interface__"]


def owner_of(a: npt.NDArray[Any]) -> npt.NDArray[Any]:
    """The array that owns a's memory: the end of its chain of array bases."""
    owner = a
    while issubclass(type(base := _BASE.__get__(owner)), np.ndarray):
        owner = base
    return owner


def _memory_of(owner: npt.NDArray[Any]) -> tuple[int, int]:
    """Address and size in bytes of an array's memory."""
    return _INTERFACE.__get__(owner)["data"][0], _NBYTES.__get__(owner)


class Pin:
    """The array that owns a's memory, pinned from the first line of a call
    to its end: a weak reference to it makes NumPy refuse to resize it (even
    with refcheck=False), from Python code run while the arguments are
    checked, from a signal handler or from another thread. New data given to
    it (__setstate__) cannot be refused: check() raises RuntimeError when
    its memory is no longer the memory pinned, before each read of it. The
    extension watches `owner` in the same way while it runs, and the finite
    check reads the input only while no other thread can change it."""

    def __init__(self, a: npt.NDArray[Any], name: str) -> None:
        owner = owner_of(a)
        self.owner = owner
        self._ref = weakref.ref(owner)
        self._memory = _memory_of(owner)
        self._name = name

    def check(self) -> None:
        if _memory_of(self.owner) != self._memory:
            raise RuntimeError(f"the array holding the memory of {self._name} was resized or "
                               "given new data during the call")
