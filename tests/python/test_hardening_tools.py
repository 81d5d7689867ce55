"""orbelix_tools against hostile arguments and a hostile machine: the input's
owner pinned from the first line, option strings and ndarray subclasses whose
Python code never runs after the pin, every working buffer in the memory
check, threads that cannot start, and messages that name what failed."""
import textwrap

import numpy as np
import pytest

import orbelix_tools as ot
from hostile import (Converts, Lying, Option, armed, give_new_data, run_child,
                     under_asan)
from orbelix_tools import _arrays, _core, _transforms

FS = 64.0


def signals(shape=(3, 128), seed=0):
    return np.random.default_rng(seed).standard_normal(shape)


# Each public function on an input `a` (x, or S of the matching transform), with
# option strings and scalar arguments substituted by `opt` and `num`.
def run(name, a, opt=str, num=lambda v: v, workers=1):
    if name == "stransform":
        return ot.stransform(a, num(FS), phase=opt("absolute"), output=opt("complex"),
                             workers=workers)[2]
    if name == "tfr_power":
        return np.stack(ot.tfr_power(a, num(FS), fmax=num(20.0), workers=workers)[2:])
    f = np.arange(65) * FS / 128
    return ot.istransform(f, a, 128, fs=num(FS), phase=opt("absolute"), workers=workers)


def input_for(name):
    x = signals()
    if name == "istransform":
        return np.asarray(ot.stransform(x, FS, phase="absolute")[2], np.complex64)
    return x


FUNCTIONS = ["stransform", "tfr_power", "istransform"]


# ---- 4: Python code of the arguments after the pin ---------------------------------

@pytest.mark.parametrize("name", ["stransform", "istransform"])
def test_option_strings_become_plain_values_before_any_comparison(name):
    a = input_for(name)
    want = run(name, a.copy())
    with armed(Option, lambda: give_new_data(a)):
        got = run(name, a, opt=Option)
        assert Option.runs == 0
    assert np.array_equal(got, want)


@pytest.mark.parametrize("workers", [1, 2])
@pytest.mark.parametrize("name", FUNCTIONS)
def test_the_owner_is_read_without_its_subclass_attributes(name, workers):
    a = input_for(name)
    want = run(name, a, workers=workers)
    owner = a.copy().view(Lying)
    with armed(Lying, lambda: give_new_data(owner)):
        got = run(name, owner[...], workers=workers)  # a view: the owner is watched
        assert Lying.runs == 0
    assert np.array_equal(got, want)


# ---- 5: the pin from the first line ------------------------------------------------

@pytest.mark.parametrize("name", FUNCTIONS)
def test_the_owner_is_pinned_before_the_finite_check(name, monkeypatch):
    # check_finite's reductions release the interpreter lock: another thread
    # may run then. The owner must already refuse to be resized.
    a = input_for(name)
    want = run(name, a.copy())
    owner = a.copy()
    seen = []
    real_check = _transforms.check_finite

    def check_then_resize(arr, label):
        try:
            owner.resize(4, refcheck=False)
            seen.append("resized")
        except ValueError as e:
            seen.append(str(e).splitlines()[0])
        return real_check(arr, label)

    monkeypatch.setattr(_transforms, "check_finite", check_then_resize)
    got = run(name, owner[...])
    assert seen == ["cannot resize an array that references or is referenced"]
    assert np.array_equal(got, want)


@pytest.mark.parametrize("name", FUNCTIONS)
def test_arguments_that_resize_or_replace_the_owner(name):
    a = input_for(name)
    label = "S" if name == "istransform" else "x"
    owner = a.copy()
    # A resize is refused by NumPy: the argument's own error ends the call.
    with pytest.raises(ValueError, match="^cannot resize an array that references"):
        run(name, owner[...], num=lambda v: Converts(v, lambda: owner.resize(4, refcheck=False)))
    assert owner.shape == a.shape
    # New data cannot be refused: the call stops before reading the old memory.
    with pytest.raises(RuntimeError, match=rf"^the array holding the memory of {label} was "
                                           r"resized or given new data during the call$"):
        run(name, owner[...], num=lambda v: Converts(v, lambda: give_new_data(owner)))


# ---- 6: messages -------------------------------------------------------------------

def test_masked_records_are_refused_naming_the_argument():
    rec = np.dtype([("a", "f4"), ("b", "f4")])
    masked = np.ma.array(np.zeros(8, rec), mask=np.ones(8, [("a", "?"), ("b", "?")]))
    with pytest.raises(TypeError, match=r"^x has dtype \[\('a', '<f4'\), \('b', '<f4'\)\]; "
                                        r"expected real or complex numbers"):
        ot.stransform(masked)
    with pytest.raises(TypeError, match=r"^S has dtype .*: the inverse needs the complex"):
        ot.istransform([0.0], masked.reshape(1, 8), 8)


def test_too_many_signals_name_the_argument(monkeypatch):
    monkeypatch.setattr(_arrays, "_memory_bytes", lambda: 10**15)
    many = np.broadcast_to(np.float32(0), (2**16, 2**15, 1))
    with pytest.raises(ValueError, match=r"^x holds 2147483648 signals \(batch axes "
                                         r"\(65536, 32768\)\); at most 2\*\*31 - 1 are supported"):
        ot.stransform(many, output="power")
    # The extension's own check, behind the Python layer's.
    grid = dict(k0=0, step=1, count=1, decim=1, width=1.0, absolute=False, output="power",
                workers=1)
    with pytest.raises(ValueError, match=r"^the number of signals of x exceeds 2\*\*31 - 1$"):
        _core.stransform_into(many, np.zeros((1, 1, 1), np.float32), **grid)


# ---- 1, 2, 6: in a child process under an address-space limit -----------------------

THREAD_STACK = 64 << 20


def large_thread_stacks():
    # Threads take their stack size from this limit as the process starts.
    import resource
    hard = resource.getrlimit(resource.RLIMIT_STACK)[1]
    if hard != resource.RLIM_INFINITY and hard < THREAD_STACK:
        pytest.skip("the stack limit cannot be raised")
    resource.setrlimit(resource.RLIMIT_STACK, (THREAD_STACK, hard))


def run_limited(body, memory_gb=None):
    """Runs body in a fresh interpreter whose address space is limited to what
    it has mapped after the warm-up plus half a thread's stack (threads get
    64 MB each), so that no thread can start and nothing large can be
    allocated. With memory_gb, orbelix_tools takes the machine to have that
    much memory."""
    child = textwrap.dedent(f"""
        import re, resource
        import numpy as np
        import orbelix_tools as ot
        from orbelix_tools import _arrays
        if {memory_gb!r} is not None:
            _arrays._memory_bytes = lambda: int({memory_gb!r} * 1e9)
        x = np.random.default_rng(0).standard_normal((8, 256))
        f = np.arange(129) * 100.0 / 256
        ot.stransform(x[:1], 100.0), ot.tfr_power(x, 100.0), ot.istransform(f, ot.stransform(x, 100.0)[2], 256, fs=100.0)
        status = open("/proc/self/status").read()
        mapped = int(re.search(r"VmSize:\\s+(\\d+) kB", status).group(1)) * 1024
        resource.setrlimit(resource.RLIMIT_AS, (mapped + {THREAD_STACK // 2}, resource.RLIM_INFINITY))
    """) + textwrap.dedent(body)
    return run_child(child, preexec_fn=large_thread_stacks).splitlines()


@under_asan
def test_workers_that_cannot_start_leave_the_work_to_those_that_did():
    out = run_limited("""
        x = np.random.default_rng(0).standard_normal((8, 256))
        f, t, S = ot.stransform(x, 100.0)
        for call in (lambda w: ot.stransform(x, 100.0, output="power", workers=w)[2],
                     lambda w: ot.stransform(x[0], 100.0, workers=w)[2],  # voices shared out
                     lambda w: np.stack(ot.tfr_power(x, 100.0, workers=w)[2:]),
                     lambda w: ot.istransform(f, S, 256, fs=100.0, workers=w),
                     lambda w: ot.istransform(f, S[0], 256, fs=100.0, workers=w)):
            one = call(1)
            print(np.array_equal(call(4), one), np.array_equal(call(-1), one))
        import threading
        try:
            threading.Thread(target=print).start()
        except RuntimeError as e:
            print(e)
    """)
    assert out == ["True True"] * 5 + ["can't start new thread"]


@under_asan
def test_every_working_buffer_counts_in_the_memory_check():
    # Epochs of two samples: tiny results, but each worker holds the spectra
    # and means of all epochs of a channel (24 bytes an epoch). On a machine
    # of 16 GB, 2**30 + 4 epochs need 25.8 GB of them; before, the check saw
    # only the results and the workers allocated until the system ran out.
    out = run_limited("""
        for call in (
            lambda: ot.tfr_power(np.broadcast_to(np.float32(0), (2**30 + 4, 2)), 1.0),
            # 64 workers with scratch for 2**24 samples each, one voice.
            lambda: ot.stransform(np.broadcast_to(np.float32(0), (256, 2**24)), 1.0, fmin=0.25,
                                  fmax=0.25, decim=2**24, workers=64),
            lambda: ot.istransform([0.25], np.broadcast_to(np.complex64(0), (64, 1, 2**24)),
                                   2**24, workers=16)):
            try:
                call()
                print("returned")
            except MemoryError as e:
                print(e)
    """, memory_gb=16)
    assert len(out) == 3
    assert out[0].startswith("the power and coherence of shape (2, 2, 2) (float32) needs "
                             "3.2e-08 GB and the working buffers of 1 worker 25.8 GB: 25.8 GB, "
                             "more than this machine's 16 GB of memory")
    assert out[1].startswith("the transform of shape (256, 1, 1) (complex64) needs 2.05e-06 GB "
                             "and the working buffers of 64 workers ")
    assert out[2].startswith("the signal of shape (64, 16777216) (float32) needs 4.29 GB and "
                             "the working buffers of 16 workers ")


@under_asan
def test_internal_buffers_that_cannot_be_allocated_are_named_with_their_size():
    # The memory check passes (a machine taken to be huge), the allocation
    # fails under the limit: the MemoryError says what it was.
    out = run_limited("""
        for call in (
            lambda: ot.tfr_power(np.broadcast_to(np.float32(0), (2**26, 2)), 1.0),
            lambda: ot.stransform(np.broadcast_to(np.float32(0), 2**22), 1.0, fmin=0.25,
                                  fmax=0.25, decim=2**22, output="power")):
            try:
                call()
                print("returned")
            except MemoryError as e:
                print(e)
    """, memory_gb=1e6)
    assert out[0] == ("the spectra of one channel's 67108864 epochs of 2 samples (1.61 GB) "
                      "could not be allocated")
    assert out[1] == ("the working buffers of 1 worker for signals of 4194304 samples "
                      "(about 0.495 GB) could not be allocated")


# ---- the finite check, read with the interpreter lock held -------------------------

@pytest.mark.parametrize("dtype", [np.float32, np.float64, np.complex64, np.complex128])
def test_finite_check_finds_the_first_bad_value_in_any_layout(dtype):
    # Against NumPy: the first value in C order that is NaN, infinite, or
    # infinite once rounded to single precision, in views of every stride.
    rng = np.random.default_rng(7)
    owner = (rng.standard_normal((40, 3000)) * 1e3).astype(dtype)
    wide = dtype in (np.float64, np.complex128)  # holds values beyond single precision
    bad_values = [np.nan, -np.inf, 3.5e38] + ([1e300] if wide else [])
    for trial in range(24):
        a = owner.copy()
        view = [a, a.T, a[::-3, 5::7], a[:, ::-1].T, a[7]][trial % 5]
        if trial % 6:  # some views stay all finite
            for _ in range(1 + trial % 3):
                index = tuple(int(rng.integers(e)) for e in view.shape)
                part = "imag" if np.iscomplexobj(a) and trial % 2 else "real"
                getattr(view, part)[index] = bad_values[trial % len(bad_values)]
        with np.errstate(over="ignore", invalid="ignore"):
            parts = (view.real, view.imag) if np.iscomplexobj(a) else (view,)
            bad = np.zeros(view.shape, bool)
            for p in parts:
                bad |= ~np.isfinite(p.astype(np.float32))
        want = int(np.flatnonzero(bad.reshape(-1))[0]) if bad.any() else -1
        assert _core.first_not_finite(view, a, "x") == want
