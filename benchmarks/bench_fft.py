"""cfft1f, cfftmf and cfft2f on each SIMD path against FFTW and SciPy, complex64.

FFTW runs through pyfftw, planned once with FFTW_MEASURE and one thread on
aligned arrays; only execute() is timed. scipy.fft runs with workers=1.
orbelix is called through ctypes with its tables built once; each SIMD path
(ORBELIX_SIMD=sse2|avx2|avx512, the ones this CPU has) runs in its own
worker process, which times the calls it is asked for while this process
waits, so all contenders are timed in one run, round by round, the order
rotating each round, after a warm-up. Times are the CPU time of the calling
thread (the machines these run on are shared: waiting for a core is not
counted), medians over the rounds. Ratios are orbelix time / FFTW time
(below 1: orbelix is faster); the 1-D table also gives them net of the cost
of a call that transforms nothing (N = 1 through ctypes and pyfftw), which
dominates below a few thousand points.

The two call paths differ, though: pyfftw's execute() is compiled Cython, a
ctypes call goes through libffi and costs orbelix about 0.1 us more at
N = 256 than the same call repeated inside one C function (the caches and
predictors the interpreter disturbed between calls). So the 1-D table also
times FFTW's own C library (the one pyfftw ships), planned the same way and
called through ctypes exactly as orbelix is ("FFTW ctypes"): the like-for-like
comparison of the two engines from Python.

    python benchmarks/bench_fft.py            # all tables
    python benchmarks/bench_fft.py --quick    # fewer rounds and sizes
"""
import ctypes
import ctypes.util
import glob
import os
import sys

import numpy as np
import scipy
import scipy.fft

from path_workers import PathWorker, cpu_paths, local, serve
from path_workers import median_round_times as median_times
from timing import fmt_time, fptr, library, machine, ref_int

SIZES_1D = (1, 256, 1024, 4096, 8192, 65536, 1 << 20, 1000, 4099)
MANY = ((1024, 1024), (4096, 256))  # (lot, n): sequences interleaved, as rows
SIZES_2D = (256, 1024, 4096)


def ilog2(n):
    return int(np.float32(np.log(np.float32(n))) / np.float32(0.6931472))


def table_len(n):
    return 2 * n + ilog2(n) + 4


def complex_signal(shape, seed):
    rng = np.random.default_rng(seed)
    return (rng.standard_normal(shape) + 1j * rng.standard_normal(shape)).astype(np.complex64)


# --- orbelix calls, built once so that a call costs little more than the transform

class OneSequence:
    """cfft1f on a contiguous array of length n."""

    def __init__(self, lib, n):
        self.c = complex_signal(n, 1)
        lensav = table_len(n)
        self.wsave = np.zeros(lensav, np.float32)
        self.work = np.zeros(2 * n, np.float32)
        lib.cfft1i(ref_int(n), fptr(self.wsave), ref_int(lensav), ref_int(0))
        self.f = lib.cfft1f
        self.args = (ref_int(n), ref_int(1), fptr(self.c), ref_int(n), fptr(self.wsave),
                     ref_int(lensav), fptr(self.work), ref_int(2 * n), ref_int(0))

    def __call__(self):
        self.f(*self.args)


class ManySequences:
    """cfftmf on lot interleaved sequences of length n (the rows of a
    column-major lot x n array), as the 2-D transform runs them."""

    def __init__(self, lib, lot, n):
        self.c = np.asfortranarray(complex_signal((lot, n), 2))
        lensav = table_len(n)
        self.wsave = np.zeros(lensav, np.float32)
        self.work = np.zeros(2 * lot * n, np.float32)
        lib.cfftmi(ref_int(n), fptr(self.wsave), ref_int(lensav), ref_int(0))
        self.f = lib.cfftmf
        self.args = (ref_int(lot), ref_int(1), ref_int(n), ref_int(lot), fptr(self.c),
                     ref_int(lot * n), fptr(self.wsave), ref_int(lensav), fptr(self.work),
                     ref_int(2 * lot * n), ref_int(0))

    def __call__(self):
        self.f(*self.args)


class TwoDimensional:
    """cfft2f on an n x n column-major array."""

    def __init__(self, lib, n):
        self.c = np.asfortranarray(complex_signal((n, n), 3))
        lensav = 2 * table_len(n)
        self.wsave = np.zeros(lensav, np.float32)
        self.work = np.zeros(2 * n * n, np.float32)
        lib.cfft2i(ref_int(n), ref_int(n), fptr(self.wsave), ref_int(lensav), ref_int(0))
        self.f = lib.cfft2f
        self.args = (ref_int(n), ref_int(n), ref_int(n), fptr(self.c), fptr(self.wsave),
                     ref_int(lensav), fptr(self.work), ref_int(2 * n * n), ref_int(0))

    def __call__(self):
        self.f(*self.args)


def orbelix_call(lib, kind, *shape):
    return {"1d": OneSequence, "many": ManySequences, "2d": TwoDimensional}[kind](lib, *shape)


def worker():
    lib = library()
    serve(lambda kind, *shape: orbelix_call(lib, kind, *shape))


def fftw_plan(shape, axes):
    import pyfftw
    a = pyfftw.empty_aligned(shape, dtype="complex64")
    b = pyfftw.empty_aligned(shape, dtype="complex64")
    plan = pyfftw.FFTW(a, b, axes=axes, flags=("FFTW_MEASURE",), threads=1)
    a[...] = complex_signal(shape, 4)
    return plan.execute


def fftw_library():
    """FFTW's single-precision C library as pyfftw ships it (else the
    system's), for calling through ctypes; None where there is neither."""
    import pyfftw
    shipped = glob.glob(os.path.join(os.path.dirname(pyfftw.__file__), os.pardir, "pyfftw.libs",
                                     "libfftw3f-*"))
    name = shipped[0] if shipped else ctypes.util.find_library("fftw3f")
    if name is None:
        return None
    lib = ctypes.CDLL(name)
    lib.fftwf_plan_dft_1d.restype = ctypes.c_void_p
    lib.fftwf_plan_dft_1d.argtypes = [ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int,
                                      ctypes.c_uint]
    lib.fftwf_execute.argtypes = [ctypes.c_void_p]
    return lib


class FftwThroughCtypes:
    """A 1-D forward FFTW plan as pyfftw makes it (FFTW_MEASURE, out of place,
    aligned arrays), executed through ctypes."""

    FORWARD, MEASURE = -1, 0

    def __init__(self, lib, n):
        import pyfftw
        self.a = pyfftw.empty_aligned(n, dtype="complex64")
        self.b = pyfftw.empty_aligned(n, dtype="complex64")
        self.plan = lib.fftwf_plan_dft_1d(n, self.a.ctypes.data, self.b.ctypes.data,
                                          self.FORWARD, self.MEASURE)
        if not self.plan:
            raise RuntimeError(f"FFTW made no plan for n = {n}")
        self.a[...] = complex_signal(n, 4)  # planning overwrote it
        self.execute = lib.fftwf_execute

    def __call__(self):
        self.execute(self.plan)


def print_net(rows, paths, peers):
    """Ratios of the 1-D table net of the N = 1 row's call cost."""
    base = dict(rows)["1"]
    print("net of the call cost (time - time at N = 1):")
    print(f"{'size':>12}" + "".join(f" {p + '/' + q:>18}" for q in peers for p in paths))
    for label, t in rows:
        if label != "1":
            print(f"{label:>12}" + "".join(
                f" {(t[p] - base[p]) / (t[q] - base[q]):18.2f}" for q in peers for p in paths))


def print_table(title, rows, paths, peer_names):
    print(f"\n{title}")
    head = f"{'size':>12} {'FFTW':>12}" + "".join(f" {p:>12}" for p in peer_names if p != "FFTW")
    head += "".join(f" {p:>12}" for p in paths)
    head += "".join(f" {p + '/FFTW':>12}" for p in paths)
    head += "".join(f" {p + '/FFTW':>12}" for p in peer_names if p != "FFTW")
    print(head)
    for label, t in rows:
        line = f"{label:>12} {fmt_time(t['FFTW'])}"
        line += "".join(f" {fmt_time(t[p])}" for p in peer_names if p != "FFTW")
        line += "".join(f" {fmt_time(t[p])}" for p in paths)
        line += "".join(f" {t[p] / t['FFTW']:12.2f}" for p in paths)
        line += "".join(f" {t[p] / t['FFTW']:12.2f}" for p in peer_names if p != "FFTW")
        print(line, flush=True)


def print_ratios(title, rows, paths, peer):
    print(title)
    print(f"{'size':>12}" + "".join(f" {p + '/' + peer:>18}" for p in paths))
    for label, t in rows:
        print(f"{label:>12}" + "".join(f" {t[p] / t[peer]:18.2f}" for p in paths))


def main(quick=False):
    import pyfftw
    paths = cpu_paths()
    workers = {p: PathWorker(__file__, p) for p in paths}
    rounds = 5 if quick else 11
    print(f"FFT engine benchmark on {machine()}, scipy {scipy.__version__}, "
          f"pyfftw {pyfftw.__version__} (FFTW_MEASURE, 1 thread); SIMD paths: {', '.join(paths)}")
    print("Times per call; orbelix called through ctypes (about 0.3 us), FFTW's execute() "
          "through pyfftw, scipy.fft through Python (a few us)")
    fftw_c = fftw_library()
    peers_1d = ["FFTW", "scipy"] + (["FFTW ctypes"] if fftw_c else [])
    try:
        rows = []
        for n in SIZES_1D[:6] if quick else SIZES_1D:
            x = complex_signal(n, 5)
            contenders = {"FFTW": local(fftw_plan((n,), (0,))),
                          "scipy": local(lambda: scipy.fft.fft(x, workers=1))}
            if fftw_c:
                contenders["FFTW ctypes"] = local(FftwThroughCtypes(fftw_c, n))
            for p, w in workers.items():
                contenders[p] = w.contender(f"1d {n}", "1d", n)
            rows.append((f"{n}", median_times(contenders, rounds)))
        print_table("1-D forward FFT (cfft1f)", rows, paths, peers_1d)
        if fftw_c:
            print_ratios("against FFTW's C library called through ctypes, as orbelix is:", rows,
                         paths, "FFTW ctypes")
        print_net(rows, paths, [q for q in peers_1d if q.startswith("FFTW")])

        rows = []
        for lot, n in MANY[:1] if quick else MANY:
            a = np.asfortranarray(complex_signal((lot, n), 6))
            contenders = {"FFTW": local(fftw_plan((lot, n), (1,))),
                          "scipy": local(lambda: scipy.fft.fft(a, axis=1, workers=1))}
            for p, w in workers.items():
                contenders[p] = w.contender(f"many {lot} {n}", "many", lot, n)
            rows.append((f"{lot} x {n}", median_times(contenders, rounds)))
        print_table("Multiple FFT along rows of a column-major array (cfftmf, jump 1)", rows,
                    paths, ["FFTW", "scipy"])

        rows = []
        for n in SIZES_2D[:2] if quick else SIZES_2D:
            a = np.asfortranarray(complex_signal((n, n), 7))
            contenders = {"FFTW": local(fftw_plan((n, n), (0, 1))),
                          "scipy": local(lambda: scipy.fft.fft2(a, workers=1))}
            for p, w in workers.items():
                contenders[p] = w.contender(f"2d {n}", "2d", n)
            rows.append((f"{n} x {n}", median_times(contenders, 3 if n >= 4096 else rounds)))
        print_table("2-D forward FFT (cfft2f)", rows, paths, ["FFTW", "scipy"])
    finally:
        for w in workers.values():
            w.close()


if __name__ == "__main__":
    if "--worker" in sys.argv:
        worker()
    else:
        main(quick="--quick" in sys.argv)
