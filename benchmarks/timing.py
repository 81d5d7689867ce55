"""Shared timing helpers: interleaved rounds, medians, one thread per contender."""
import ctypes
import importlib.util
import platform
import statistics
import time

import numpy as np


def library():
    """The orbelix shared object, for calling its C routines by address."""
    found = importlib.util.find_spec("orbelix")
    if found is None:
        raise SystemExit("orbelix is not installed: pip install .")
    return ctypes.CDLL(found.origin)


def ref_int(v):
    return ctypes.byref(ctypes.c_int(v))


def fptr(a):
    return a.ctypes.data_as(ctypes.POINTER(ctypes.c_float))


def median_times(contenders, rounds=7, min_time=0.05):
    """Median seconds per call of each contender (name -> callable).

    Contenders run interleaved round by round, so a burst of load on the
    shared machine hits all of them alike.
    """
    reps = {}
    for name, f in contenders.items():
        f()  # warm-up
        t0 = time.perf_counter()
        f()
        once = max(time.perf_counter() - t0, 1e-7)
        reps[name] = max(1, int(min_time / once))
    samples = {name: [] for name in contenders}
    for _ in range(rounds):
        for name, f in contenders.items():
            r = reps[name]
            t0 = time.perf_counter()
            for _ in range(r):
                f()
            samples[name].append((time.perf_counter() - t0) / r)
    return {name: statistics.median(v) for name, v in samples.items()}


def machine():
    return f"{platform.machine()} {platform.processor() or ''} python {platform.python_version()} numpy {np.__version__}".strip()


def fmt_time(t):
    if t < 1e-3:
        return f"{t * 1e6:9.1f} us"
    if t < 1:
        return f"{t * 1e3:9.2f} ms"
    return f"{t:9.3f} s "
