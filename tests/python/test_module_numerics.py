"""Results through Python against the C entry routines and float64 references; leaks, threads,
allocation failure and a broad sweep of bad inputs."""
import os
import subprocess
import sys
import textwrap
import threading
import time

import numpy as np
import pytest

import orbelix
from cabi import f32, i32, ptr
from leaks import assert_no_leaks
from references import fst as fst_reference
from references import ifst as ifst_reference

RNG = np.random.default_rng(7)


def complex_signal(*shape):
    return (RNG.standard_normal(shape) + 1j * RNG.standard_normal(shape)).astype(np.complex64)


def imfreq_reference(s, x, y):
    l = s.shape[0]
    bands = l.bit_length() - 2
    beta = [0] + [2 ** (b - 1) for b in range(1, bands + 1)]
    nu = [0] + [beta[b] + beta[b - 1] for b in range(1, bands + 1)]

    def offsets(v):
        c = np.float32(1) - np.float32(v) / np.float32(l)
        return [int(np.floor(np.float32(nu[b]) - c * np.float32(beta[b]) + 0.5)) for b in range(bands + 1)]

    rows, cols, c0 = offsets(x), offsets(y), l // 2 - 1
    h = np.empty((2 * bands + 1, 2 * bands + 1), complex)
    for i in range(-bands, bands + 1):
        for j in range(-bands, bands + 1):
            h[i + bands, j + bands] = s[c0 + np.sign(i) * rows[abs(i)], c0 + np.sign(j) * cols[abs(j)]]
    return h


def cmsht2_reference(r, x, y, coarse=0.2, fine=0.1, k=7):
    i, j = np.meshgrid(np.arange(-k, k + 1), np.arange(-k, k + 1), indexing="ij")
    u = i * i + j * j + 1.0
    p1, p2, p3 = j / u, i / u, (u - 1) / u
    a = p1 ** 2 + p2 ** 2 + p3 ** 2
    f_fine, f_coarse = np.sqrt(fine ** 2 + a), np.sqrt(coarse ** 2 + a)
    v = r.astype(np.float64)[x + j, y + i]
    e = np.sum((fine * f_fine - coarse * f_coarse) * v)
    d = v * (f_fine - f_coarse)
    o1, o2, q = np.sum(p1 * d), np.sum(p2 * d), np.sum(p3 * d)
    return np.array([np.hypot(o1, o2) / q, np.arctan2(o2, o1), np.arctan2(np.sqrt(o1 ** 2 + o2 ** 2 + q ** 2), e),
                     e * e + o1 * o1 + o2 * o2 + q * q])


def close(got, want, rtol):
    scale = max(np.abs(want).max(), 1e-30)
    return np.abs(got - want).max() <= rtol * scale


@pytest.mark.parametrize("n", [1, 2, 7, 8, 30, 64, 100])
def test_fst_and_ifst(lib, n):
    h = complex_signal(n)
    s = orbelix.fst(h)
    c = np.zeros((n // 2 + 1, n), np.complex64, order="F")
    lib.fst(i32(n), ptr(h), ptr(c))
    assert np.array_equal(s, c)
    assert close(s, fst_reference(h), 2e-5)
    if n % 2 == 0:  # the wrapper admits even lengths only
        back = orbelix.ifst(s)
        c = np.zeros(n, np.complex64)
        lib.ifst(i32(n), ptr(s), ptr(c))
        assert np.array_equal(back, c)
        assert close(back, ifst_reference(s), 2e-5)
        assert close(orbelix.ifst(orbelix.fst(h.real)), h.real, 2e-5)


@pytest.mark.parametrize("n", [1, 2, 7, 8, 255, 1000, 1031])
def test_fst_writes_every_element_of_its_result(n):
    # The result is not zero-filled before the routine writes it: memory
    # freed just before (here full of NaN) must not show through anywhere.
    h = complex_signal(n)
    want = orbelix.fst(h)
    for _ in range(3):
        garbage = np.full(want.shape, np.nan, np.complex64, order="F")
        del garbage
        s = orbelix.fst(h)
        assert np.array_equal(s, want)
        assert np.isfinite(s).all()
    assert s.flags.f_contiguous and s.dtype == np.complex64


@pytest.mark.parametrize("n", [1, 2, 4, 64, 1024])
def test_dst2_and_idst2_write_every_element_of_their_results(n):
    # Neither result is zero-filled first: memory freed just before (full
    # of NaN) must not show through, the right half and the image included.
    g = complex_signal(n, n)
    want_s = orbelix.dst2(g)
    want_h = orbelix.idst2(want_s)
    for _ in range(3):
        garbage = np.full((n, n), np.nan, np.complex64, order="F")
        del garbage
        s = orbelix.dst2(g)
        garbage = np.full((n, n), np.nan, np.complex64, order="F")
        del garbage
        h = orbelix.idst2(s)
        assert np.array_equal(s, want_s) and np.array_equal(h, want_h)
        assert np.isfinite(s).all() and np.isfinite(h).all()
    assert s.flags.f_contiguous and h.flags.f_contiguous


@pytest.mark.parametrize("n", [1, 2, 8, 64])
def test_dst2_and_idst2(lib, n):
    g = RNG.standard_normal((n, n)).astype(np.float32)
    s = orbelix.dst2(g)
    c = np.zeros((n, n), np.complex64, order="F")
    lib.dst2(i32(n), ptr(np.asfortranarray(g, np.complex64)), ptr(c))
    assert np.array_equal(s, c)
    back = orbelix.idst2(s)
    lib.idst2(i32(n), ptr(s), ptr(c))
    assert np.array_equal(back, c)
    assert close(back, g.astype(np.float64), 2e-5)


@pytest.mark.parametrize("l, x, y", [(2, 1, 0), (4, 2, 2), (16, 12, 3), (32, 31, 0), (23, 5, 17)])
def test_imfreq(lib, l, x, y):
    s = np.asfortranarray(complex_signal(l, l))
    h = orbelix.imfreq(s, x, y)
    m = l.bit_length() - 2
    c = np.zeros((2 * m + 1, 2 * m + 1), np.complex64, order="F")
    lib.imfreq(i32(l), i32(m), ptr(s), i32(x), i32(y), ptr(c))
    assert np.array_equal(h, c)
    assert np.array_equal(h, imfreq_reference(s, x, y))


@pytest.mark.parametrize("shape, x, y, k, coarse, fine", [
    ((20, 20), 10, 10, 7, 0.2, 0.1), ((9, 30), 4, 20, 4, 0.5, 0.05), ((31, 17), 15, 8, 8, 0.1, 0.3)])
def test_cmsht2(lib, shape, x, y, k, coarse, fine):
    r = np.asfortranarray(RNG.random(shape, dtype=np.float32))
    h = orbelix.cmsht2(r, x, y, coarse=coarse, fine=fine, kernel_size=k)
    c = np.zeros(4, np.float32)
    lib.cmsht2(i32(shape[0]), i32(shape[1]), ptr(r), i32(x), i32(y), ptr(c), f32(coarse), f32(fine), i32(k))
    assert np.array_equal(h, c)
    want = cmsht2_reference(r, x, y, np.float32(coarse), np.float32(fine), k)
    assert np.allclose(h, want, rtol=1e-3, atol=1e-4)


CALLS = {
    "fst": (lambda: orbelix.fst(SIG), lambda: orbelix.fst(SIG, 99)),
    "ifst": (lambda: orbelix.ifst(COEF), lambda: orbelix.ifst(COEF, 3)),
    "dst2": (lambda: orbelix.dst2(IMG), lambda: orbelix.dst2(IMG.tolist(), "x")),
    "idst2": (lambda: orbelix.idst2(IMG), lambda: orbelix.idst2(IMG, 5)),
    "imfreq": (lambda: orbelix.imfreq(IMG, 3, 4), lambda: orbelix.imfreq(np.ones((1, 1)), 0, 0)),
    "cmsht2": (lambda: orbelix.cmsht2(REAL, 9, 9), lambda: orbelix.cmsht2(REAL, 0, 0, coarse=[])),
}
SIG = complex_signal(64)
COEF = np.asfortranarray(complex_signal(33, 64))
IMG = np.asfortranarray(complex_signal(32, 32))
REAL = RNG.random((20, 20))


@pytest.mark.parametrize("name", CALLS)
def test_no_leaks(name):
    good, bad = CALLS[name]
    arguments = (SIG, COEF, IMG, REAL)

    def run(count):
        for _ in range(count):
            good()
            try:
                bad()
            except Exception:
                pass

    assert_no_leaks(run, arguments)


def test_two_threads_get_their_own_results():
    signals = [complex_signal(256), complex_signal(256)]
    expected = [orbelix.fst(s) for s in signals]
    results = [[], []]

    def work(k):
        for _ in range(20):
            results[k].append(orbelix.fst(signals[k]))

    threads = [threading.Thread(target=work, args=(k,)) for k in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for k in range(2):
        assert len(results[k]) == 20 and all(np.array_equal(r, expected[k]) for r in results[k])


def test_other_threads_wait_for_a_computation():
    # With no forced switching, the counting thread runs only while this one
    # blocks or releases the interpreter lock; the call keeps the lock, so the
    # counter cannot advance while it runs.
    signal = complex_signal(4096)
    ticks = []
    started = threading.Event()
    stop = threading.Event()

    def count():
        started.set()
        while not stop.is_set():
            ticks.append(None)
            time.sleep(0)  # lets a waiting thread take the lock

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1000)
    try:
        counter = threading.Thread(target=count)
        counter.start()
        started.wait()
        before = len(ticks)
        orbelix.fst(signal)
        during = len(ticks) - before
        stop.set()
        counter.join()
    finally:
        sys.setswitchinterval(interval)
    assert len(ticks) > 0 and during == 0


def run_python(code):
    env = dict(os.environ, PYTHONPATH=os.path.dirname(orbelix.__file__))
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], env=env,
                          capture_output=True, text=True, timeout=600)


@pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""),
                    reason="AddressSanitizer reserves more address space than the limit allows")
def test_allocation_failure_inside_a_routine_raises_memory_error():
    out = run_python("""
        import resource, numpy as np, orbelix
        h = np.zeros((2048, 2048), np.complex64, order="F")
        with open("/proc/self/statm") as f:
            used = int(f.read().split()[0]) * resource.getpagesize()
        soft, hard = resource.getrlimit(resource.RLIMIT_AS)
        # Room for the result and 1 MB: dst2 works in its result, but its
        # batch of rows needs a 2 MB work array.
        resource.setrlimit(resource.RLIMIT_AS, (used + h.nbytes + (1 << 20), hard))
        try:
            orbelix.dst2(h)
            print("no error")
        except MemoryError as e:
            print("MemoryError", e.__cause__)
        resource.setrlimit(resource.RLIMIT_AS, (soft, hard))
        print(orbelix.dst2(h).shape)
    """)
    assert out.returncode == 0, out.stderr
    assert out.stdout.split("\n")[:2] == ["MemoryError None", "(2048, 2048)"]


def test_bad_inputs_never_end_the_interpreter():
    out = run_python("""
        import itertools, random, warnings
        import numpy as np, orbelix
        warnings.simplefilter("ignore")
        arrays = [None, "abc", b"x", [], [[1, 2], [3]], {}, object(), 1.5, float("nan"), 2 ** 40,
                  np.zeros(0), np.zeros((0, 0)), np.zeros((0, 7)), np.zeros((7, 0)), np.zeros((1,)),
                  np.zeros((3, 5)), np.zeros((5, 3)), np.zeros((6, 6)), np.zeros((2, 2, 2)),
                  np.full((8, 8), np.nan), np.full((16, 16), np.inf), np.zeros((16, 4)),
                  np.zeros((8, 8), ">c16"), np.zeros((8, 8), bool), np.zeros((8, 8), object),
                  np.zeros((9, 9), np.float32)[::2, 1::2], np.array(3 + 1j), np.zeros((4, 4), "U3"),
                  np.zeros((16, 16), np.complex64, order="F"), np.ones((20, 20), np.float32)]
        scalars = [None, 0, 1, -1, 2, 3, 7, 8, 15, 16, 64, 2 ** 31 - 1, -2 ** 31, 2 ** 31, 2 ** 63,
                   1e300, -1e300, float("nan"), float("inf"), "7", "x", [], [3], 2 + 1j, object()]
        random.seed(11)
        calls = outcomes = 0
        names = ["fst", "ifst", "dst2", "idst2", "imfreq", "cmsht2"]
        keywords = {"fst": ["n"], "ifst": ["n"], "dst2": ["n"], "idst2": ["n"], "imfreq": ["l"],
                    "cmsht2": ["l", "m", "coarse", "fine", "kernel_size"]}
        for name in names:
            f = getattr(orbelix, name)
            required = 3 if name in ("imfreq", "cmsht2") else 1
            for a in arrays:
                for _ in range(60):
                    args = [a] + [random.choice(scalars) for _ in range(required - 1)]
                    kw = {k: random.choice(scalars) for k in keywords[name] if random.random() < 0.5}
                    calls += 1
                    try:
                        f(*args, **kw)
                        outcomes += 1
                    except Exception:
                        outcomes += 1
        print(calls, outcomes)
    """)
    assert out.returncode == 0, out.stderr[-2000:]
    calls, outcomes = map(int, out.stdout.split())
    assert calls == outcomes == 6 * 30 * 60
