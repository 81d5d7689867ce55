"""A signal handler that runs while a long call reads the caller's array in
place (the module lets handlers run every 100 ms) and gives that array new
data: the call stops with RuntimeError instead of reading the freed memory.
Resizing it from a handler is refused by NumPy while the call runs; so is
resizing it from another thread while the analysis package's workers read
it (the exact module keeps the interpreter lock, so the other thread waits
for the call to end). Each case runs in a child process, where reading
freed memory may end the process."""

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

def act():
    if change == "resize":
        owner.resize((1,), refcheck=False)
    else:
        owner.__setstate__(np.zeros(3, np.complex64).__reduce__()[2])
    # Reuse what was freed, so that a read of it goes wrong visibly.
    junk = [np.full(1 << 20, np.nan, np.complex64) for _ in range(64)]

def call():
    global inside
    inside = True  # no handler runs between this and the call's own turn
    return getattr(orbelix, routine)(arg)

def handler(signum, frame):
    if not inside:  # due before the call began (a loaded machine): try again
        signal.setitimer(signal.ITIMER_REAL, 0.01)
        return
    act()

inside = False
signal.signal(signal.SIGALRM, handler)
# Due while the call runs: its handler can only run at the call's own turn.
signal.setitimer(signal.ITIMER_REAL, 0.02)
try:
    call()
    print("returned")
except (RuntimeError, ValueError) as e:
    print(f"{type(e).__name__}: {str(e).splitlines()[0]}")
"""


def run_child(routine, change, side):
    done = subprocess.run([sys.executable, "-c", CHILD, routine, change, str(side)],
                          capture_output=True, text=True, timeout=600)
    assert done.returncode == 0, done.stderr[-2000:]
    return done.stdout.strip()


@pytest.mark.parametrize("routine, side", [
    pytest.param("idst2", 2048, marks=pytest.mark.slow),  # reads its input throughout
    ("fst", 8192),       # the view's base owns the memory
])
def test_input_given_new_data_by_a_signal_handler_stops_the_call(routine, side):
    outcome = run_child(routine, "setstate", side)
    assert outcome == (f"RuntimeError: the input array of orbelix.{routine} "
                       "was resized or given new data during the call")


@pytest.mark.slow
def test_input_resized_by_a_signal_handler_is_refused_by_numpy():
    # The handler's own exception ends the call.
    assert run_child("idst2", "resize", 2048) == (
        "ValueError: cannot resize an array that references or is referenced")


THREAD_CHILD = r"""
import sys, threading, time
import numpy as np

package, workers = sys.argv[1], int(sys.argv[2])
rng = np.random.default_rng(1)
if package == "orbelix":
    import orbelix
    owner = np.asfortranarray(rng.standard_normal((4096, 4096)).astype(np.complex64))

    def call():
        global entered
        entered = True  # the other thread runs no more until the call returns
        return orbelix.idst2(owner)
else:
    import orbelix_tools as ot
    owner = rng.standard_normal(8192)
    # Every voice at full length (decim does not divide the prime n = 8191).
    call = lambda: ot.stransform(owner[:8191], decim=8190, output="power", workers=workers)[2]
want = call()
refused = []
# Set once the call is under way: as the exact module's routine is entered
# (it keeps the lock, so the other thread runs again only after it
# returns), or once the analysis package has pinned the input for its
# workers.
entered = False

def watch(frame, event, arg):
    global entered
    if event == "return" and frame.f_code.co_name == "owner_of":
        entered = True

def resize_during_the_call():
    while not entered:
        time.sleep(0.001)
    try:
        owner.resize((1,), refcheck=False)
    except ValueError as e:
        refused.append(str(e).splitlines()[0])

thread = threading.Thread(target=resize_during_the_call)
thread.start()
sys.setprofile(watch)
got = call()
sys.setprofile(None)
thread.join()
print(entered, refused, np.array_equal(got, want, equal_nan=True))
"""


def run_thread_child(package, workers):
    done = subprocess.run([sys.executable, "-c", THREAD_CHILD, package, str(workers)],
                          capture_output=True, text=True, timeout=600)
    assert done.returncode == 0, done.stderr[-2000:]
    return done.stdout.strip()


def test_another_thread_cannot_resize_an_input_read_in_place():
    assert run_thread_child("tools", 2) == (
        "True ['cannot resize an array that references or is referenced'] True")


@pytest.mark.slow
def test_another_thread_resizes_only_after_the_exact_module_returns():
    # The resize runs once the call has returned and let go of the array.
    assert run_thread_child("orbelix", 1) == "True [] True"


TOOLS_HANDLER_CHILD = r"""
import signal
import numpy as np
import orbelix_tools as ot

owner = np.random.default_rng(2).standard_normal(1 << 16)

def handler(signum, frame):
    if frame.f_code.co_name != "stransform" or "pinned" not in frame.f_locals:
        signal.setitimer(signal.ITIMER_REAL, 0.01)  # not yet inside the extension
        return
    owner.resize((1,), refcheck=False)

signal.signal(signal.SIGALRM, handler)
signal.setitimer(signal.ITIMER_REAL, 0.05)
try:
    # Every voice at full length (decim does not divide n): seconds of work.
    ot.stransform(owner[:-1], decim=(1 << 16) - 2, output="power", workers=2)
    print("returned")
except ValueError as e:
    print(str(e).splitlines()[0])
"""


def test_a_signal_handler_cannot_resize_an_input_the_tools_workers_read():
    # The workers go on reading while the handler runs: a check after it
    # would come too late, so the resize itself must fail.
    done = subprocess.run([sys.executable, "-c", TOOLS_HANDLER_CHILD],
                          capture_output=True, text=True, timeout=600)
    assert done.returncode == 0, done.stderr[-2000:]
    assert done.stdout.strip() == "cannot resize an array that references or is referenced"


TOOLS_SETSTATE_CHILD = r"""
import signal, sys
import numpy as np
import orbelix_tools as ot

workers = int(sys.argv[1])
x = np.random.default_rng(3).standard_normal((64, 8192))  # seconds of work

def handler(signum, frame):
    if frame.f_code.co_name != "stransform" or "pinned" not in frame.f_locals:
        signal.setitimer(signal.ITIMER_REAL, 0.01)  # not yet inside the extension
        return
    x.__setstate__(np.zeros(3).__reduce__()[2])
    # Reuse what was freed, so that a read of it goes wrong visibly.
    junk = [np.full(1 << 20, np.nan) for _ in range(64)]

signal.signal(signal.SIGALRM, handler)
signal.setitimer(signal.ITIMER_REAL, 0.05)
try:
    ot.stransform(x, output="power", workers=workers)
    print("returned")
except RuntimeError as e:
    print(str(e).splitlines()[0])
"""


@pytest.mark.parametrize("workers", [1, pytest.param(2, marks=pytest.mark.slow)])
def test_input_given_new_data_by_a_signal_handler_stops_a_tools_call(workers):
    # The handler runs while no worker reads the signals, and the call stops
    # before any worker reads them again.
    done = subprocess.run([sys.executable, "-c", TOOLS_SETSTATE_CHILD, str(workers)],
                          capture_output=True, text=True, timeout=600)
    assert done.returncode == 0, done.stderr[-2000:]
    assert done.stdout.strip() == "the input array was resized or given new data during the call"
