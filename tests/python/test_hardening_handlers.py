"""A signal handler that runs while a long call reads the caller's array in
place (the module lets handlers run every 100 ms) and resizes that array or
gives it new data: the call stops with RuntimeError instead of reading the
freed memory. Each case runs in a child process, where reading freed memory
may end the process."""

import subprocess
import sys

import pytest

CHILD = r"""
import signal, sys, time
import numpy as np
import orbelix

routine, change, side = sys.argv[1], sys.argv[2], int(sys.argv[3])

def prepare(side):
    rng = np.random.default_rng(0)
    if routine == "fst":
        owner = rng.standard_normal(2 * side).astype(np.complex64)
        arg = owner[:side]  # a view: the memory is its base's
    else:
        owner = arg = np.asfortranarray(rng.standard_normal((side, side)).astype(np.complex64))
    return owner, arg

# A size whose call lasts well past the handlers' first turn (100 ms in).
while True:
    owner, arg = prepare(side)
    start = time.perf_counter()
    getattr(orbelix, routine)(arg)
    if time.perf_counter() - start > 0.25 or side >= 16384:
        break
    side *= 2

def handler(signum, frame):
    if change == "resize":
        owner.resize((1,), refcheck=False)
    else:
        owner.__setstate__(np.zeros(3, np.complex64).__reduce__()[2])
    # Reuse what was freed, so that a read of it goes wrong visibly.
    junk = [np.full(1 << 20, np.nan, np.complex64) for _ in range(64)]

signal.signal(signal.SIGALRM, handler)
# Due while the call runs: its handler can only run at the call's own turn.
signal.setitimer(signal.ITIMER_REAL, 0.02)
try:
    getattr(orbelix, routine)(arg)
    print("returned")
except RuntimeError as e:
    print("RuntimeError:", e)
"""


def run_child(routine, change, side):
    done = subprocess.run([sys.executable, "-c", CHILD, routine, change, str(side)],
                          capture_output=True, text=True, timeout=600)
    assert done.returncode == 0, done.stderr[-2000:]
    return done.stdout.strip()


@pytest.mark.parametrize("routine, change, side", [
    ("idst2", "resize", 2048),     # reads its input throughout
    ("idst2", "setstate", 2048),
    ("fst", "setstate", 8192),     # the view's base owns the memory
])
def test_input_freed_by_a_signal_handler_stops_the_call(routine, change, side):
    outcome = run_child(routine, change, side)
    assert outcome == (f"RuntimeError: the input array of orbelix.{routine} "
                       "was resized or given new data during the call")
