"""Signals during a long call of the module: Python's handlers run while the
transform is computed, one that raises stops it with its exception, and the
process goes on working afterwards."""

import gc
import signal
import time
import tracemalloc

import numpy as np
import pytest

import orbelix
from children import Child

# fst at this length writes a 1 GiB result: hundreds of milliseconds of work
# on any machine, and the handlers are let in every 100 ms.
LONG = 16384


class Stop(Exception):
    pass


@pytest.fixture
def ticking():
    """SIGALRM every 10 ms, counted by a handler that raises Stop on its
    `stop_at`-th run (never if None)."""
    state = {"runs": 0, "stop_at": None}

    def handler(signum, frame):
        state["runs"] += 1
        if state["runs"] == state["stop_at"]:
            raise Stop

    previous = signal.signal(signal.SIGALRM, handler)
    signal.setitimer(signal.ITIMER_REAL, 0.01, 0.01)
    try:
        yield state
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)


@pytest.mark.slow
def test_handlers_run_during_a_long_fst_and_the_result_is_unchanged(ticking):
    x = np.random.default_rng(0).standard_normal(LONG).astype(np.float32)
    ticking["runs"] = 0
    s = orbelix.fst(x)
    # Pending signals are coalesced: had the handler waited for the call to
    # return, it would have run once.
    assert ticking["runs"] >= 2
    signal.setitimer(signal.ITIMER_REAL, 0)
    assert np.array_equal(s, orbelix.fst(x))


def test_a_raising_handler_stops_fst_and_frees_its_result(ticking):
    x = np.random.default_rng(1).standard_normal(LONG).astype(np.float32)
    tracemalloc.start()
    try:
        before = tracemalloc.get_traced_memory()[0]
        for _ in range(2):
            ticking["runs"] = 0
            ticking["stop_at"] = 2  # a second run can only come from inside the call
            with pytest.raises(Stop):
                orbelix.fst(x)
        gc.collect()
        grown = tracemalloc.get_traced_memory()[0] - before
    finally:
        tracemalloc.stop()
    assert grown < 16 << 20, f"{grown} bytes still held after two stopped calls"
    signal.setitimer(signal.ITIMER_REAL, 0)
    small = x[:257]
    want = orbelix.fst(small.astype(np.float64))
    assert np.array_equal(orbelix.fst(small), want)


CHILD = r"""
import numpy as np
import orbelix

x = np.random.default_rng(2).standard_normal(16384).astype(np.float32)
print("started", flush=True)
try:
    for _ in range(100):
        orbelix.fst(x)
    print("finished", flush=True)
except KeyboardInterrupt:
    print("interrupted", flush=True)
small = x[:64]
assert np.array_equal(orbelix.fst(small), orbelix.fst(small.copy()))
print("usable", flush=True)
"""


def test_sigint_interrupts_a_long_call_of_the_module():
    # Uninterrupted, the child runs for minutes: the timeouts only make a
    # failure quick, far above the time an interrupt takes on a loaded machine.
    with Child(CHILD) as child:
        assert child.line(timeout=120) == "started"
        time.sleep(1.0)  # into the loop of calls
        child.process.send_signal(signal.SIGINT)
        assert child.line(timeout=60) == "interrupted"
        assert child.line(timeout=60) == "usable"
        assert child.process.wait(timeout=60) == 0
