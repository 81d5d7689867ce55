"""Repeated calls of the analysis package, good and refused, keep neither
references to their arguments nor memory."""

import os
import sys
import tracemalloc

import numpy as np
import pytest

import orbelix_tools as ot

RNG = np.random.default_rng(11)
X = RNG.standard_normal((3, 256))
EPOCHS = RNG.standard_normal((4, 2, 128)).astype(np.float32)
F, _, S = ot.stransform(X[0], 64.0, fmin=2.0, fmax=20.0)

CALLS = {
    "stransform": (lambda: ot.stransform(X, 64.0, fmin=1.0, fmax=30.0, decim=4, workers=2),
                   lambda: ot.stransform(X, 64.0, fmin=40.0)),
    "istransform": (lambda: ot.istransform(F, S, 256, fs=64.0),
                    lambda: ot.istransform(F, S, 257, fs=64.0)),
    "tfr_power": (lambda: ot.tfr_power(EPOCHS, 64.0, fmax=20.0, workers=2),
                  lambda: ot.tfr_power(EPOCHS, 64.0, epochs_axis=2)),
}


def resident():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


@pytest.mark.parametrize("name", CALLS)
def test_tools_no_leaks(name):
    good, bad = CALLS[name]
    arguments = (X, EPOCHS, F, S)

    def run(count):
        for _ in range(count):
            good()
            try:
                bad()
            except ValueError:
                pass
            else:
                raise AssertionError("the bad call was accepted")

    run(100)
    counts = [sys.getrefcount(a) for a in arguments]
    rss = resident()
    run(1000)
    rss_grown = resident() - rss
    tracemalloc.start()
    try:
        run(20)
        before = tracemalloc.get_traced_memory()[0]
        run(500)
        grown = tracemalloc.get_traced_memory()[0] - before
    finally:
        tracemalloc.stop()
    assert [sys.getrefcount(a) for a in arguments] == counts
    assert grown < 20000  # Python objects and NumPy buffers
    assert rss_grown < 1 << 20  # everything else
