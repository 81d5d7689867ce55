"""cfft1f, cfftmf and cfft2f against NumPy's and SciPy's FFTs on complex64.

Ratios are orbelix time / peer time (below 1: orbelix is faster). The
orbelix tables are built once, outside the timed loop, as a caller that
transforms many arrays of one length would.
"""
import numpy as np
import scipy
import scipy.fft

from timing import fmt_time, fptr, library, machine, median_times, ref_int


def ilog2(n):
    return int(np.float32(np.log(np.float32(n))) / np.float32(0.6931472))


class Cfft1:
    """cfft1f on one array, its arguments built once so a call costs little
    more than the transform."""

    def __init__(self, lib, n):
        self.lib, self.n = lib, n
        self.lensav = 2 * n + ilog2(n) + 4
        self.wsave = np.zeros(self.lensav, np.float32)
        self.work = np.zeros(2 * n, np.float32)
        lib.cfft1i(ref_int(n), fptr(self.wsave), ref_int(self.lensav), ctypes_int())
        self.args = None

    def bind(self, c):
        self.c = c
        self.args = (ref_int(self.n), ref_int(1), fptr(c), ref_int(self.n), fptr(self.wsave),
                     ref_int(self.lensav), fptr(self.work), ref_int(2 * self.n), ctypes_int())
        return self

    def forward(self):
        self.lib.cfft1f(*self.args)


def ctypes_int():
    import ctypes
    return ctypes.byref(ctypes.c_int(0))


def bench_1d(lib, sizes=(64, 1000, 1024, 4096, 65536, 1048576, 4099)):
    rng = np.random.default_rng(1)
    print("\n1-D forward FFT, complex64 (cfft1f vs numpy.fft.fft, scipy.fft.fft workers=1)")
    one = Cfft1(lib, 1).bind(np.zeros(1, np.complex64))
    overhead = median_times({"call": one.forward})["call"]
    print(f"(times include each call from Python: ctypes for orbelix, {fmt_time(overhead).strip()} at N = 1;"
          " the NumPy and SciPy functions cost a few us more)")
    print(f"{'N':>8} {'orbelix':>12} {'numpy':>12} {'scipy':>12} {'/numpy':>7} {'/scipy':>7}")
    for n in sizes:
        x = (rng.standard_normal(n) + 1j * rng.standard_normal(n)).astype(np.complex64)
        plan = Cfft1(lib, n).bind(x.copy())
        t = median_times({
            "orbelix": plan.forward,
            "numpy": lambda: np.fft.fft(x),
            "scipy": lambda: scipy.fft.fft(x, workers=1),
        })
        print(f"{n:>8} {fmt_time(t['orbelix'])} {fmt_time(t['numpy'])} {fmt_time(t['scipy'])} "
              f"{t['orbelix'] / t['numpy']:7.2f} {t['orbelix'] / t['scipy']:7.2f}")


def bench_many(lib, lot=1024, n=1024):
    rng = np.random.default_rng(2)
    print(f"\nMultiple FFT, {lot} sequences of {n} (cfftmf vs scipy.fft.fft along that axis)")
    lensav = 2 * n + ilog2(n) + 4
    wsave = np.zeros(lensav, np.float32)
    work = np.zeros(2 * lot * n, np.float32)
    lib.cfftmi(ref_int(n), fptr(wsave), ref_int(lensav), ctypes_int())
    # Sequences interleaved (sequence stride 1), as the rows of a
    # column-major array: scipy transforms the same array along axis 1.
    a = np.asfortranarray((rng.standard_normal((lot, n)) + 1j * rng.standard_normal((lot, n)))
                          .astype(np.complex64))
    c = a.copy(order="F")

    def ours():
        lib.cfftmf(ref_int(lot), ref_int(1), ref_int(n), ref_int(lot), fptr(c), ref_int(lot * n),
                   fptr(wsave), ref_int(lensav), fptr(work), ref_int(2 * lot * n), ctypes_int())

    t = median_times({"orbelix": ours, "scipy": lambda: scipy.fft.fft(a, axis=1, workers=1)})
    print(f"  orbelix {fmt_time(t['orbelix'])}  scipy {fmt_time(t['scipy'])}  ratio {t['orbelix'] / t['scipy']:.2f}")


def bench_2d(lib, sizes=(256, 1024, 4096)):
    rng = np.random.default_rng(3)
    print("\n2-D forward FFT, complex64 (cfft2f vs scipy.fft.fft2 workers=1)")
    print(f"{'n x n':>12} {'orbelix':>12} {'scipy':>12} {'ratio':>7}")
    for n in sizes:
        lensav = 2 * (n + n) + 2 * ilog2(n) + 8
        wsave = np.zeros(lensav, np.float32)
        work = np.zeros(2 * n * n, np.float32)
        lib.cfft2i(ref_int(n), ref_int(n), fptr(wsave), ref_int(lensav), ctypes_int())
        a = np.asfortranarray((rng.standard_normal((n, n)) + 1j * rng.standard_normal((n, n)))
                              .astype(np.complex64))
        c = a.copy(order="F")

        def ours():
            lib.cfft2f(ref_int(n), ref_int(n), ref_int(n), fptr(c), fptr(wsave), ref_int(lensav),
                       fptr(work), ref_int(2 * n * n), ctypes_int())

        t = median_times({"orbelix": ours, "scipy": lambda: scipy.fft.fft2(a, workers=1)},
                         rounds=5 if n < 4096 else 3)
        print(f"{n:>5} x {n:<5} {fmt_time(t['orbelix'])} {fmt_time(t['scipy'])} {t['orbelix'] / t['scipy']:7.2f}")


def main():
    lib = library()
    print(f"FFT engine benchmark on {machine()}, scipy {scipy.__version__}")
    bench_1d(lib)
    bench_many(lib)
    bench_2d(lib)


if __name__ == "__main__":
    main()
