"""dst2 and idst2 against scipy.fft.fft2 (workers=1) of the same complex64 image.

Ratios are orbelix time / scipy time (below 1: orbelix is faster), measured
side by side in one process, contenders interleaved, medians over rounds.

- "C call": the entry routines through ctypes into a result allocated once,
  so the figure is the transform alone (copy, FFTs, bands, mirror).
- "module": orbelix.dst2(h) / orbelix.idst2(s) as a user calls them, each
  call allocating its result like scipy.fft.fft2 does (fresh pages included).
- "C call, CPU": the C-call ratios again in thread CPU time (every contender
  runs in the calling thread), steadier than wall-clock time when the shared
  machine is loaded.

Peak memory: growth of the peak resident set (VmHWM) of a fresh process over
one module call, in units of the result's size (1.0 = the result alone).
"""
import statistics
import subprocess
import sys
import textwrap
import time

import numpy as np
import scipy
import scipy.fft

from timing import fmt_time, fptr, library, machine, median_times, ref_int

SIZES = (256, 1024, 4096)


def peak_memory(n):
    """Peak resident growth of dst2, idst2 and scipy's fft2, over the result size."""
    code = textwrap.dedent(f"""
        import sys
        import numpy as np, scipy.fft, orbelix

        def peak_kb():
            # VmHWM belongs to this process image; ru_maxrss would carry
            # the parent's peak over the exec.
            with open("/proc/self/status") as f:
                return next(int(line.split()[1]) for line in f if line.startswith("VmHWM:"))

        n, which = {n}, sys.argv[1]
        # Filled a column at a time: no temporaries of the image's size
        # raise the peak before the call.
        h = np.zeros((n, n), np.complex64, order="F")
        for c in range(n):
            h[:, c] = np.arange(n) % 7 + 1j * (c % 5)
        before = peak_kb()
        if which == "dst2":
            r = orbelix.dst2(h)
        elif which == "idst2":
            r = orbelix.idst2(h)
        else:
            r = scipy.fft.fft2(h, workers=1)
        grown = peak_kb() - before
        print(grown * 1024 / r.nbytes)
    """)
    out = {}
    for which in ("dst2", "idst2", "fft2"):
        run = subprocess.run([sys.executable, "-c", code, which], capture_output=True, text=True,
                             check=True)
        out[which] = float(run.stdout)
    return out


def cpu_median_times(contenders, rounds):
    """Median thread CPU seconds per call, contenders interleaved round by round."""
    samples = {name: [] for name in contenders}
    for f in contenders.values():
        f()  # warm-up
    for _ in range(rounds):
        for name, f in contenders.items():
            t0 = time.thread_time()
            f()
            samples[name].append(time.thread_time() - t0)
    return {name: statistics.median(v) for name, v in samples.items()}


def bench_dst2(lib, sizes=SIZES):
    import orbelix

    rng = np.random.default_rng(5)
    print("\n2-D discrete S-transform, complex64 (dst2, idst2 vs scipy.fft.fft2 workers=1)")
    print(f"{'':12} {'':12} {'':12} {'':12} {'C call':>21} {'module':>21} {'C call, CPU':>21} "
          f"{'peak memory / result':>26}")
    print(f"{'n x n':>12} {'dst2':>12} {'idst2':>12} {'fft2':>12} {'dst2/fft2':>10} {'idst2/fft2':>10} "
          f"{'dst2/fft2':>10} {'idst2/fft2':>10} {'dst2/fft2':>10} {'idst2/fft2':>10} "
          f"{'dst2':>8} {'idst2':>8} {'fft2':>8}")
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
                          "module dst2": lambda: orbelix.dst2(image),
                          "module idst2": lambda: orbelix.idst2(coefficients),
                          "fft2": lambda: scipy.fft.fft2(image, workers=1)},
                         rounds=7 if n < 4096 else 5)
        cpu = cpu_median_times({"dst2": forward, "idst2": inverse,
                                "fft2": lambda: scipy.fft.fft2(image, workers=1)},
                               rounds=15 if n < 4096 else 5)
        peak = peak_memory(n)
        print(f"{n:>5} x {n:<5} {fmt_time(t['dst2'])} {fmt_time(t['idst2'])} {fmt_time(t['fft2'])} "
              f"{t['dst2'] / t['fft2']:10.2f} {t['idst2'] / t['fft2']:10.2f} "
              f"{t['module dst2'] / t['fft2']:10.2f} {t['module idst2'] / t['fft2']:10.2f} "
              f"{cpu['dst2'] / cpu['fft2']:10.2f} {cpu['idst2'] / cpu['fft2']:10.2f} "
              f"{peak['dst2']:8.2f} {peak['idst2']:8.2f} {peak['fft2']:8.2f}")


def main():
    lib = library()
    print(f"2-D S-transform benchmark on {machine()}, scipy {scipy.__version__}")
    bench_dst2(lib)


if __name__ == "__main__":
    main()
