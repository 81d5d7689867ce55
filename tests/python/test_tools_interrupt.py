"""Ctrl-C stops a long orbelix_tools call with KeyboardInterrupt, and the
process goes on working afterwards."""

import signal
import time

import pytest

from children import Child

CHILD = r"""
import sys
import numpy as np
import orbelix
import orbelix_tools as ot

x = np.random.default_rng(0).standard_normal(2**18).astype(np.float32)
call, workers = sys.argv[1], int(sys.argv[2])
print("started", flush=True)
try:
    # Every voice at full length (decim does not divide n): minutes of work.
    if call == "stransform":
        ot.stransform(x, decim=2**18 - 1, output="power", workers=workers)
    elif call == "sstransform":
        ot.sstransform(x, decim=2**18 - 1, workers=workers)
    else:
        ot.tfr_power(x.reshape(2, 1, -1), 1.0, decim=2**17 - 1, workers=workers)
    print("finished", flush=True)
except KeyboardInterrupt:
    print("interrupted", flush=True)
small = x[:101]
assert np.array_equal(ot.stransform(small, workers=workers)[2], orbelix.fst(small))
print("usable", flush=True)
"""


@pytest.mark.parametrize("call,workers", [("stransform", 1), ("stransform", 2), ("tfr_power", 2),
                                          ("sstransform", 1), ("sstransform", 2)])
def test_sigint_interrupts_a_long_call(call, workers):
    # Uninterrupted, the call takes minutes: being interrupted at all is the
    # point; the timeouts only make a failure quick, far above the time an
    # interrupt takes on a loaded machine.
    with Child(CHILD, call, str(workers)) as child:
        assert child.line(timeout=120) == "started"
        time.sleep(0.5)  # into the call
        child.process.send_signal(signal.SIGINT)
        assert child.line(timeout=60) == "interrupted"
        assert child.line(timeout=60) == "usable"
        assert child.process.wait(timeout=60) == 0
