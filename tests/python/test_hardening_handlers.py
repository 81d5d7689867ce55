"""A signal handler that runs while a long call reads the caller's array in
place (the module lets handlers run every 100 ms) and gives that array new
data: the call stops with RuntimeError instead of reading the freed memory.
Resizing it from a handler is refused by NumPy while the call runs; so is
resizing it from another thread while the analysis package's workers read
it (the exact module keeps the interpreter lock, so the other thread waits
for the call to end). Another thread giving the input new data during the
analysis package's finite check stops the call too. Each case runs in a
child process, where reading freed memory may end the process."""

import pytest

from hostile import run_child

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

# A size whose call lasts well past the handlers' first turn (100 ms in),
# timed warm: a first call of a size is slower (fresh result pages, cold
# caches) than the one that follows it.
while True:
    owner, arg = prepare(side)
    getattr(orbelix, routine)(arg)
    start = time.perf_counter()
    getattr(orbelix, routine)(arg)
    if time.perf_counter() - start > 0.4 or side >= 16384:
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


@pytest.mark.parametrize("routine, side", [
    pytest.param("idst2", 2048, marks=pytest.mark.slow),  # reads its input throughout
    ("fst", 8192),       # the view's base owns the memory
])
def test_input_given_new_data_by_a_signal_handler_stops_the_call(routine, side):
    outcome = run_child(CHILD, routine, "setstate", side)
    assert outcome == (f"RuntimeError: the input array of orbelix.{routine} "
                       "was resized or given new data during the call")


@pytest.mark.slow
def test_input_resized_by_a_signal_handler_is_refused_by_numpy():
    # The handler's own exception ends the call.
    assert run_child(CHILD, "idst2", "resize", 2048) == (
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


def test_another_thread_cannot_resize_an_input_read_in_place():
    assert run_child(THREAD_CHILD, "tools", 2) == (
        "True ['cannot resize an array that references or is referenced'] True")


@pytest.mark.slow
def test_another_thread_resizes_only_after_the_exact_module_returns():
    # The resize runs once the call has returned and let go of the array.
    assert run_child(THREAD_CHILD, "orbelix", 1) == "True [] True"


TOOLS_HANDLER_CHILD = r"""
import signal, sys
import numpy as np
import orbelix_tools as ot

change, workers = sys.argv[1], int(sys.argv[2])
if change == "resize":
    owner = np.random.default_rng(2).standard_normal(1 << 16)
    # Every voice at full length (decim does not divide n): seconds of work.
    x, options = owner[:-1], dict(decim=(1 << 16) - 2)
else:
    owner = x = np.random.default_rng(3).standard_normal((64, 8192))  # seconds of work
    options = {}

def handler(signum, frame):
    if frame.f_code.co_name != "stransform" or "pinned" not in frame.f_locals:
        signal.setitimer(signal.ITIMER_REAL, 0.01)  # not yet inside the extension
        return
    if change == "resize":
        owner.resize((1,), refcheck=False)
    else:
        owner.__setstate__(np.zeros(3).__reduce__()[2])
        # Reuse what was freed, so that a read of it goes wrong visibly.
        junk = [np.full(1 << 20, np.nan) for _ in range(64)]

signal.signal(signal.SIGALRM, handler)
signal.setitimer(signal.ITIMER_REAL, 0.05)
try:
    ot.stransform(x, output="power", workers=workers, **options)
    print("returned")
except (ValueError, RuntimeError) as e:
    print(str(e).splitlines()[0])
"""


@pytest.mark.parametrize("change, workers, outcome", [
    # The workers go on reading while the handler runs: a check after it
    # would come too late, so the resize itself must fail.
    ("resize", 2, "cannot resize an array that references or is referenced"),
    # The handler runs while no worker reads the signals, and the call stops
    # before any worker reads them again.
    ("setstate", 1, "the input array was resized or given new data during the call"),
    pytest.param("setstate", 2, "the input array was resized or given new data during the call",
                 marks=pytest.mark.slow),
])
def test_a_signal_handler_changing_an_input_the_tools_workers_read(change, workers, outcome):
    assert run_child(TOOLS_HANDLER_CHILD, change, workers) == outcome


FINITE_CHECK_CHILD = r"""
import sys, threading
import numpy as np
import orbelix_tools as ot
from orbelix_tools import _transforms

change = sys.argv[1]
sys.setswitchinterval(1e-5)  # the other thread runs at the check's first turns
real_check = _transforms.check_finite
# The other thread acts only while the check runs: once it is over, the call
# holds `gate` to its end (a change then would free memory the extension's
# workers read, which no check can refuse).
gate = threading.Lock()

def attempt():
    owner = np.random.default_rng(4).standard_normal((32, 1 << 18))  # 64 MB, mapped apart
    inside, finished, outcome = threading.Event(), threading.Event(), []

    def check(a, name):
        inside.set()
        try:
            return real_check(a, name)
        finally:
            finished.set()
            gate.acquire()

    def other():
        while not inside.is_set():  # runnable throughout, to run at the first turn
            pass
        with gate:
            if finished.is_set():
                outcome.append("late")
                return
            try:
                if change == "setstate":
                    owner.__setstate__(np.zeros(3).__reduce__()[2])
                    # Reuse what was freed, so that a read of it goes wrong visibly.
                    junk = [np.full(1 << 20, np.nan) for _ in range(64)]
                else:
                    owner.resize((4,), refcheck=False)
                outcome.append("changed")
            except ValueError as e:
                outcome.append(str(e).splitlines()[0])

    _transforms.check_finite = check
    thread = threading.Thread(target=other)
    thread.start()
    try:
        ot.stransform(owner, fmin=0.25, fmax=0.25, decim=1 << 18, output="power")
        said = "returned"
    except RuntimeError as e:
        said = str(e)
    finally:
        if gate.locked():
            gate.release()
    thread.join()
    return said, outcome

for _ in range(20):  # a loaded machine may run the other thread too late
    said, outcome = attempt()
    if outcome != ["late"]:
        break
print(said, outcome)
"""


@pytest.mark.parametrize("change, outcome", [
    ("resize", "returned ['cannot resize an array that references or is referenced']"),
    ("setstate", "the array holding the memory of x was resized or given new data during the "
                 "call ['changed']"),
])
def test_another_thread_during_the_finite_check(change, outcome):
    # NumPy refuses to resize the pinned owner; new data cannot be refused,
    # so the check reads the input only while this thread cannot run, and
    # stops once the owner's memory has changed.
    assert run_child(FINITE_CHECK_CHILD, change) == outcome
