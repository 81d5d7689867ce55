"""local_measures against what a user would write instead, one thread each.

* The same four kernels through ``scipy.ndimage.correlate`` (mode "reflect",
  the border local_measures uses by default) followed by the NumPy
  reduction to ratio, orientation, phase and energy: 512^2 and 2048^2,
  kernel_size 7. Target: local_measures / this at most 0.5.
* A Python loop of ``orbelix.cmsht2`` over the pixels, on a C-ordered image
  (NumPy's default: each call converts the whole image to column order)
  and, for reference, on a column-ordered one; timed on a sample of pixels
  and scaled to every pixel of the image. Target for 512^2, C order: at most
  1e-4.

Contenders run interleaved round by round after a warm-up (medians).
Ratios are ours / theirs: below 1, local_measures is faster. Before timing,
the SciPy maps are checked against ours (the kernels are the same; SciPy
sums in double precision in its own order, so they agree to float32
rounding, not bit for bit).
"""
import sys
import time

import numpy as np
import scipy
import scipy.ndimage as ndi

import orbelix
import orbelix_tools as ot
from timing import fmt_time, machine, median_times

K = 7
COARSE, FINE = np.float32(0.2), np.float32(0.1)


def kernels(k=K, coarse=COARSE, fine=FINE):
    """The even, two odd and radial kernels for correlate: [j + k, i + k] is
    the weight of the pixel j rows below and i columns right of the centre."""
    j, i = np.mgrid[-k:k + 1, -k:k + 1]
    u = (i * i + j * j + 1).astype(np.float32)
    p1, p2, p3 = j.astype(np.float32) / u, i.astype(np.float32) / u, (u - 1) / u
    a = (p1 * p1 + p2 * p2) + p3 * p3
    f_fine, f_coarse = np.sqrt(fine * fine + a), np.sqrt(coarse * coarse + a)
    odd = f_fine - f_coarse
    return fine * f_fine - coarse * f_coarse, p1 * odd, p2 * odd, p3 * odd


def scipy_measures(img, weights):
    e, o1, o2, q = (ndi.correlate(img, w, mode="reflect") for w in weights)
    with np.errstate(divide="ignore", invalid="ignore"):
        return (np.hypot(o1, o2) / q, np.arctan2(o2, o1),
                np.arctan2(np.sqrt(o1 * o1 + o2 * o2 + q * q), e),
                e * e + o1 * o1 + o2 * o2 + q * q)


def check_against_scipy(img, weights):
    ours = ot.local_measures(img, kernel_size=K)
    theirs = scipy_measures(img, weights)
    energy = ours[3]
    scale = float(np.sqrt(np.median(energy)))
    for name, a, b in zip(("ratio", "orientation", "phase", "energy"), ours, theirs):
        if name == "orientation" or name == "phase":
            err = np.abs(np.angle(np.exp(1j * (a.astype(np.float64) - b))))
            worst = float(np.median(err))
        elif name == "energy":
            worst = float(np.max(np.abs(a - b)) / np.max(energy))
        else:
            worst = float(np.median(np.abs(a - b) / np.abs(b)))
        assert worst < 1e-4, (name, worst, scale)


def loop_time(img, pixels):
    """Seconds per cmsht2 call over the sample (the whole image's per-pixel cost)."""
    t0 = time.perf_counter()
    for x, y in pixels:
        orbelix.cmsht2(img, x, y)
    return (time.perf_counter() - t0) / len(pixels)


def main():
    print(f"local_measures benchmark: {machine()}, scipy {scipy.__version__}, "
          f"SIMD path {ot.simd_path()}, kernel_size {K}, one thread")
    rng = np.random.default_rng(0)
    weights = kernels()
    for n, rounds, sample in ((512, 7, 40), (2048, 3, 6)):
        img = rng.standard_normal((n, n)).astype(np.float32)
        check_against_scipy(img, weights)
        t = median_times({
            "local_measures": lambda: ot.local_measures(img, kernel_size=K, workers=1),
            "4 x correlate + reduction": lambda: scipy_measures(img, weights),
        }, rounds=rounds, min_time=0.2)
        ours, theirs = t["local_measures"], t["4 x correlate + reduction"]
        print(f"\n{n} x {n}")
        print(f"  local_measures              {fmt_time(ours)}")
        print(f"  4 x ndimage.correlate + NumPy {fmt_time(theirs)}   ratio {ours / theirs:.3f}"
              "  (target <= 0.5)")
        pixels = list(zip(rng.integers(K, n - K, sample), rng.integers(K, n - K, sample)))
        fortran = np.asfortranarray(img)
        loop_time(img, pixels[:1])  # warm-up
        per_c, per_f = loop_time(img, pixels), loop_time(fortran, pixels * 20)
        whole = (n - 2 * K) ** 2
        print(f"  cmsht2 loop, C order        {fmt_time(per_c * whole)}   ratio "
              f"{ours / (per_c * whole):.2e}" + ("  (target <= 1e-4)" if n == 512 else "")
              + f"   [{sample} pixels timed, {fmt_time(per_c).strip()} each]")
        print(f"  cmsht2 loop, Fortran order  {fmt_time(per_f * whole)}   ratio "
              f"{ours / (per_f * whole):.2e}")
        sys.stdout.flush()


if __name__ == "__main__":
    main()
