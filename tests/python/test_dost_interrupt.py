"""Ctrl-C stops a long DOST or local spectrum call with KeyboardInterrupt, and
the process goes on working afterwards."""
import signal
import subprocess
import sys
import time

import pytest

CHILD = r"""
import sys
import numpy as np
import orbelix_tools as ot

call, workers = sys.argv[1], int(sys.argv[2])
print("started", flush=True)
try:
    for _ in range(20):  # tens of seconds of work in all
        if call == "dost":
            ot.dost(np.ones((12, 2**21), np.float32), workers=workers)
        else:
            ot.local_spectrum(np.ones((12, 1024, 1024), np.float32), output="octaves",
                              workers=workers)
    print("finished", flush=True)
except KeyboardInterrupt:
    print("interrupted", flush=True)
g = np.random.default_rng(0).standard_normal((5, 7))
assert np.allclose(ot.idost2(ot.dost2(g)).real, g, atol=1e-5)
print("usable", flush=True)
"""


@pytest.mark.parametrize("call,workers", [("dost", 1), pytest.param("dost", 2, marks=pytest.mark.slow),
                                          pytest.param("local_spectrum", 2, marks=pytest.mark.slow)])
def test_sigint_interrupts_a_long_call(call, workers):
    child = subprocess.Popen([sys.executable, "-c", CHILD, call, str(workers)],
                             stdout=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline().strip() == "started"
        time.sleep(1.5)  # inside the first calls
        child.send_signal(signal.SIGINT)
        sent = time.monotonic()
        line = child.stdout.readline().strip()
        latency = time.monotonic() - sent
        assert line == "interrupted"
        assert child.stdout.readline().strip() == "usable"
        assert child.wait(timeout=60) == 0
        assert latency < 10.0
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
