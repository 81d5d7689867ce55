"""What the hardening and fuzz tests of both packages share: objects whose
conversions, comparisons or attributes run Python code that resizes the
caller's array or gives it new data while a call is being set up, child
processes for what may end a process, and the fuzzers' settings and their
check that no argument was modified."""
import contextlib
import numbers
import os
import subprocess
import sys

import numpy as np
import pytest
from hypothesis import HealthCheck, settings


class Converts:
    """An integer or real argument whose conversion runs `action` first."""

    def __init__(self, value, action):
        self.value, self.action = value, action

    def __index__(self):
        self.action()
        return int(self.value)

    __int__ = __index__

    def __float__(self):
        self.action()
        return float(self.value)


# The analysis package checks real arguments against numbers.Real.
numbers.Real.register(Converts)


class Option(str):
    """An option string whose comparisons run `Option.action` (counted in
    `Option.runs`)."""
    action = staticmethod(lambda: None)
    runs = 0

    def __eq__(self, other):
        Option.runs += 1
        Option.action()
        return str.__eq__(self, other)

    def __ne__(self, other):
        return not self.__eq__(other)

    __hash__ = str.__hash__


class Lying(np.ndarray):
    """An ndarray subclass whose attributes that describe its memory run
    `Lying.action` (counted in `Lying.runs`)."""
    action = staticmethod(lambda: None)
    runs = 0

    def _run(self):
        Lying.runs += 1
        Lying.action()

    @property
    def nbytes(self):
        self._run()
        return np.ndarray.nbytes.__get__(self)

    @property
    def __array_interface__(self):
        self._run()
        return np.ndarray.__array_interface__.__get__(self)

    @property
    def base(self):
        self._run()
        return np.ndarray.base.__get__(self)


@contextlib.contextmanager
def armed(cls, action):
    """cls (Option or Lying) running `action`, counted from 0, in the block;
    doing nothing again after it."""
    cls.action, cls.runs = staticmethod(action), 0
    try:
        yield cls
    finally:
        cls.action = staticmethod(lambda: None)


class HandsOut:
    """Not an array, but hands out one of the caller's arrays (no copy)."""

    def __init__(self, a):
        self.a = a

    def __array__(self, dtype=None, copy=None):
        return self.a


def give_new_data(owner, size=3):
    """owner.__setstate__ with `size` zeros of its dtype: its memory is freed."""
    owner.__setstate__(np.zeros(size, owner.dtype).__reduce__()[2])


def resizes(owner, shape=8):
    """An action resizing owner in place, as only a pin can refuse."""
    return lambda: owner.resize(shape, refcheck=False)


def gives_new_data(owner, size=3):
    """An action giving owner new data (which no pin refuses)."""
    return lambda: give_new_data(owner, size)


def run_child(script, *args, **options):
    """The standard output of `python -c script *args`, stripped, from a
    child process that must end normally (where a read of freed memory may
    end the process instead)."""
    done = subprocess.run([sys.executable, "-c", script, *map(str, args)], capture_output=True,
                          text=True, timeout=600, **options)
    assert done.returncode == 0, done.stderr[-3000:]
    return done.stdout.strip()


# Tests that limit a child's address space: AddressSanitizer's own mappings
# do not fit the limit.
under_asan = pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""),
                                reason="AddressSanitizer's own mappings do not fit an "
                                       "address-space limit")


# The bounded fuzzers: the same examples on every run, however slow.
FUZZ = settings(derandomize=True, deadline=None, database=None,
                suppress_health_check=list(HealthCheck))


def snapshot(x):
    """What `unchanged` compares: an array's dtype, shape, strides and
    values, or another object's repr."""
    if isinstance(x, np.ndarray):
        return ("array", x.dtype, x.shape, x.strides, x.copy())
    return ("other", repr(x))


def unchanged(before, x):
    if before[0] == "other":
        return repr(x) == before[1]
    _, dtype, shape, strides, values = before
    return (x.dtype == dtype and x.shape == shape and x.strides == strides and
            values.tobytes() == x.tobytes())
