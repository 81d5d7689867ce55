"""dst2 and idst2 against scipy.fft.fft2 (workers=1) of the same complex64 image.

Ratios are orbelix time / scipy time (below 1: orbelix is faster). Each
orbelix call includes everything the entry routine does: the copy into the
result, the whole-image FFT, the band transforms and the symmetry pass.
"""
import numpy as np
import scipy
import scipy.fft

from timing import fmt_time, fptr, library, machine, median_times, ref_int


def bench_dst2(lib, sizes=(256, 1024, 4096)):
    rng = np.random.default_rng(5)
    print("\n2-D discrete S-transform, complex64 (dst2, idst2 vs scipy.fft.fft2 workers=1)")
    print(f"{'n x n':>12} {'dst2':>12} {'idst2':>12} {'fft2':>12} {'dst2/fft2':>10} {'idst2/fft2':>11}")
    for n in sizes:
        image = np.asfortranarray((rng.standard_normal((n, n)) + 1j * rng.standard_normal((n, n)))
                                  .astype(np.complex64))
        coefficients = np.zeros((n, n), np.complex64, order="F")
        back = np.zeros((n, n), np.complex64, order="F")

        def forward():
            lib.dst2(ref_int(n), fptr(image), fptr(coefficients))

        def inverse():
            lib.idst2(ref_int(n), fptr(coefficients), fptr(back))

        forward()
        t = median_times({"dst2": forward, "idst2": inverse,
                          "fft2": lambda: scipy.fft.fft2(image, workers=1)},
                         rounds=5 if n < 4096 else 3)
        print(f"{n:>5} x {n:<5} {fmt_time(t['dst2'])} {fmt_time(t['idst2'])} {fmt_time(t['fft2'])} "
              f"{t['dst2'] / t['fft2']:10.2f} {t['idst2'] / t['fft2']:11.2f}")


def main():
    lib = library()
    print(f"2-D S-transform benchmark on {machine()}, scipy {scipy.__version__}")
    bench_dst2(lib)


if __name__ == "__main__":
    main()
