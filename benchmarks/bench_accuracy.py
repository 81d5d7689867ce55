"""Accuracy against float64 NumPy references: relative L2 errors.

Errors are ||got - ref|| / ||ref|| over the whole result, with random
input (fixed seeds). The references are written here from the transforms'
definitions, in double precision.
"""
import numpy as np

import orbelix
from timing import fptr, library, machine, ref_int

WINDOW = 19.73921


def rel_l2(got, ref):
    return float(np.linalg.norm((got - ref).ravel()) / np.linalg.norm(np.asarray(ref).ravel()))


def fft_c(lib, x):
    n = x.size
    lensav = 2 * n + int(np.float32(np.log(np.float32(n))) / np.float32(0.6931472)) + 4
    wsave = np.zeros(lensav, np.float32)
    work = np.zeros(2 * n, np.float32)
    c = x.astype(np.complex64)
    ier = ref_int(0)
    lib.cfft1i(ref_int(n), fptr(wsave), ref_int(lensav), ier)
    lib.cfft1f(ref_int(n), ref_int(1), fptr(c), ref_int(n), fptr(wsave), ref_int(lensav),
               fptr(work), ref_int(2 * n), ier)
    return c


def fst64(h):
    """Voice k, time t: sum_m A[(k+m) mod n] exp(-c min(m, n-m)^2 / k^2) e^{2 pi i m t / n}."""
    n = h.size
    weights = np.zeros(n)
    weights[0] = 1
    weights[1:(n + 1) // 2] = 2
    if n % 2 == 0:
        weights[n // 2] = 1
    a = np.fft.fft(h.astype(np.complex128)) / n * weights
    s = np.empty((n // 2 + 1, n), np.complex128)
    s[0] = h.astype(np.complex128).mean()
    m = np.arange(n)
    offset2 = np.minimum(m, n - m).astype(np.float64) ** 2
    for k in range(1, n // 2 + 1):
        s[k] = np.fft.ifft(np.roll(a, -k) * np.exp(-WINDOW * offset2 / k**2)) * n
    return s


def main():
    lib = library()
    rng = np.random.default_rng(7)
    print(f"Accuracy on {machine()} (relative L2 error against float64 references)")
    print("\ncfft1f against numpy.fft.fft in float64")
    for n in (64, 1000, 1024, 4099, 65536, 1 << 20):
        x = rng.standard_normal(n) + 1j * rng.standard_normal(n)
        x = x.astype(np.complex64)
        print(f"  N = {n:>7}: {rel_l2(fft_c(lib, x), np.fft.fft(x.astype(np.complex128)) / n):.1e}")
    print("\nfst against its float64 definition; ifst(fst(x)) against x (real noise)")
    for n in (256, 1000, 2048):
        x = rng.standard_normal(n).astype(np.float32)
        s = orbelix.fst(x)
        back = orbelix.ifst(s)
        print(f"  n = {n:>5}: fst {rel_l2(s, fst64(x)):.1e}   round trip {rel_l2(back, x):.1e}")
    # Lengths with a large prime factor (the chirp-z path), drawn apart so
    # that the rows above and below keep their signals.
    chirp_rng = np.random.default_rng(11)
    for n in (4098, 5122):  # 2*3*683, 2*13*197; even, for the round trip
        x = chirp_rng.standard_normal(n).astype(np.float32)
        s = orbelix.fst(x)
        back = orbelix.ifst(s)
        print(f"  n = {n:>5}: fst {rel_l2(s, fst64(x)):.1e}   round trip {rel_l2(back, x):.1e}")
    print("\nidst2(dst2(g)) against g (real noise)")
    for n in (64, 256, 1024):
        g = rng.standard_normal((n, n)).astype(np.float32)
        print(f"  n = {n:>5}: {rel_l2(orbelix.idst2(orbelix.dst2(g)), g):.1e}")


if __name__ == "__main__":
    main()
