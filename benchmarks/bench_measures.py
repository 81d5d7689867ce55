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

Contenders run interleaved round by round after a warm-up; medians of the
wall clock and of the process CPU time (steadier than the wall clock on a
loaded machine, and the same measure for single-threaded contenders).
Ratios are ours / theirs: below 1, local_measures is faster. Before timing,
the SciPy maps are checked against ours (the kernels are the same; SciPy
sums in double precision in its own order, so they agree to float32
rounding, not bit for bit).
"""
import os

os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")  # one thread for every contender

import statistics  # noqa: E402
import sys  # noqa: E402
import time  # noqa: E402

import numpy as np  # noqa: E402
import scipy  # noqa: E402
import scipy.ndimage as ndi  # noqa: E402

import orbelix  # noqa: E402
import orbelix_tools as ot  # noqa: E402
from timing import fmt_time, machine  # noqa: E402

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


def interleaved(contenders, rounds):
    """Median wall-clock and process CPU seconds per call of each contender
    (name -> (callable, calls it stands for)), interleaved round by round
    after a warm-up, so that a burst of load on the shared machine hits all
    of them alike."""
    for f, _ in contenders.values():
        f()
    wall = {name: [] for name in contenders}
    cpu = {name: [] for name in contenders}
    for _ in range(rounds):
        for name, (f, calls) in contenders.items():
            w0, c0 = time.perf_counter(), time.process_time()
            f()
            wall[name].append((time.perf_counter() - w0) / calls)
            cpu[name].append((time.process_time() - c0) / calls)
    return ({n: statistics.median(v) for n, v in wall.items()},
            {n: statistics.median(v) for n, v in cpu.items()})


def main():
    print(f"local_measures benchmark: {machine()}, scipy {scipy.__version__}, "
          f"SIMD path {ot.simd_path()}, kernel_size {K}, one thread")
    print("times: median wall clock (process CPU time); ratios ours / theirs, wall (CPU)")
    rng = np.random.default_rng(0)
    weights = kernels()
    for n, rounds, sample in ((512, 7, 20), (2048, 3, 3)):
        img = rng.standard_normal((n, n)).astype(np.float32)
        fortran = np.asfortranarray(img)
        check_against_scipy(img, weights)
        xs, ys = rng.integers(K, n - K, sample), rng.integers(K, n - K, sample)
        pixels = list(zip(xs.tolist(), ys.tolist()))
        whole = (n - 2 * K) ** 2  # the pixels cmsht2 takes

        def loop(image, pixels=pixels):
            for x, y in pixels:
                orbelix.cmsht2(image, x, y)

        wall, cpu = interleaved({
            "ours": (lambda: ot.local_measures(img, kernel_size=K, workers=1), 1),
            "scipy": (lambda: scipy_measures(img, weights), 1),
            "loop C": (lambda: loop(img), sample / whole),
            "loop F": (lambda: loop(fortran, pixels * 50), 50 * sample / whole),
        }, rounds)

        def row(label, name, target=""):
            ratio = f"ratio {wall['ours'] / wall[name]:.3g} ({cpu['ours'] / cpu[name]:.3g})"
            print(f"  {label:<34} {fmt_time(wall[name])} ({fmt_time(cpu[name]).strip()})"
                  f"   {ratio}{target}")

        print(f"\n{n} x {n}")
        print(f"  {'local_measures':<34} {fmt_time(wall['ours'])} ({fmt_time(cpu['ours']).strip()})")
        row("4 x ndimage.correlate + NumPy", "scipy", "  (target <= 0.5)")
        row("loop of cmsht2, C-ordered image", "loop C",
            "  (target <= 1e-4)" if n == 512 else "")
        row("loop of cmsht2, Fortran-ordered", "loop F")
        print(f"  (cmsht2 loops: {sample} and {50 * sample} pixels a round, scaled to {whole} pixels)")
        sys.stdout.flush()


if __name__ == "__main__":
    main()
