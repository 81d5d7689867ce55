"""Calling the module's exported C routines through ctypes, every argument by address."""
import ctypes
import importlib.util

import numpy as np


def load():
    """The orbelix shared object as a ctypes library."""
    found = importlib.util.find_spec("orbelix")
    if found is None or found.origin is None:
        raise ImportError("orbelix is not installed")
    return ctypes.CDLL(found.origin)


def i32(value):
    """A 32-bit integer passed by address."""
    return ctypes.byref(ctypes.c_int(value))


def f32(value):
    """A 32-bit float passed by address."""
    return ctypes.byref(ctypes.c_float(value))


def ptr(array):
    """Address of the data of a float32/complex64 NumPy array, as float*."""
    assert array.dtype in (np.float32, np.complex64)
    return array.ctypes.data_as(ctypes.POINTER(ctypes.c_float))


class Ier:
    """An output integer; read .value after the call."""

    def __init__(self, value=-999):
        self.cell = ctypes.c_int(value)

    @property
    def ref(self):
        return ctypes.byref(self.cell)

    @property
    def value(self):
        return self.cell.value
