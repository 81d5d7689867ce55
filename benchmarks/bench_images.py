"""The DOST and local spectrum maps of orbelix_tools against what a user would
run instead, one thread each, side by side in one process (contenders
interleaved, medians over rounds). Ratios are orbelix_tools time / other
time (below 1: orbelix_tools is faster).

- dost / scipy.fft.fft of the same complex64 signal (workers=1);
- dost2 and idost2 / scipy.fft.fft2 of the same complex64 image;
- dost2 of a square power-of-two image / orbelix.dst2 of it;
- local_spectrum of a 1024 x 1024 image (reductions) / dost2 of it, and its
  peak memory (growth of the peak resident set of a fresh process over one
  call) in units of the complex64 image;
- local_spectrum / orbelix.dst2 plus a Python loop of orbelix.imfreq over
  every pixel of a square image.

Usage: python bench_images.py [--quick]
"""
import subprocess
import sys
import textwrap

import numpy as np
import scipy
import scipy.fft

import orbelix
import orbelix_tools as ot
from timing import fmt_time, machine, median_times

QUICK = "--quick" in sys.argv
LENGTHS = [2 ** k for k in (10, 12, 14, 16, 18, 20, 22)] + [1000, 1021, 4099, 10007, 65537,
                                                              100000, 1000003]
SHAPES = [(512, 768), (1024, 1024), (1000, 1500), (4096, 4096)]
if QUICK:
    LENGTHS = [2 ** 10, 2 ** 16, 1021, 100000]
    SHAPES = [(512, 768), (1024, 1024)]


def signal(shape, seed=0):
    rng = np.random.default_rng(seed)
    return (rng.standard_normal(shape) + 1j * rng.standard_normal(shape)).astype(np.complex64)


def rounds_for(size):
    return 3 if size >= 2 ** 22 else 5


def report(title, rows):
    print(f"\n{title}")
    for row in rows:
        print("  " + row)


def bench_dost():
    rows = []
    for n in LENGTHS:
        x = signal(n)
        t = median_times({"dost": lambda: ot.dost(x),
                          "fft": lambda: scipy.fft.fft(x, workers=1),
                          "idost": lambda: ot.idost(x),
                          "ifft": lambda: scipy.fft.ifft(x, workers=1)}, rounds=rounds_for(n))
        rows.append(f"n={n:>8}: dost {fmt_time(t['dost'])}  fft {fmt_time(t['fft'])}  "
                    f"dost/fft {t['dost'] / t['fft']:5.2f}   idost/ifft {t['idost'] / t['ifft']:5.2f}")
    report("dost / scipy.fft.fft (target at most 1.5)", rows)


def bench_dost2():
    rows = []
    for shape in SHAPES:
        g = signal(shape)
        t = median_times({"dost2": lambda: ot.dost2(g),
                          "idost2": lambda: ot.idost2(g),
                          "fft2": lambda: scipy.fft.fft2(g, workers=1)},
                         rounds=3 if shape[0] >= 4096 else 5)
        rows.append(f"{shape[0]:>4} x {shape[1]:<4}: dost2 {fmt_time(t['dost2'])}  "
                    f"fft2 {fmt_time(t['fft2'])}  dost2/fft2 {t['dost2'] / t['fft2']:5.2f}  "
                    f"idost2/fft2 {t['idost2'] / t['fft2']:5.2f}")
    report("dost2, idost2 / scipy.fft.fft2 (target at most 1.5)", rows)


def bench_dst2():
    rows = []
    for n in ((256, 1024) if QUICK else (256, 1024, 4096)):
        g = np.random.default_rng(1).standard_normal((n, n)).astype(np.float32)
        gc = np.asfortranarray(g.astype(np.complex64))
        t = median_times({"dost2": lambda: ot.dost2(g), "dst2": lambda: orbelix.dst2(gc)},
                         rounds=3 if n >= 4096 else 5)
        rows.append(f"{n:>4} x {n:<4}: dost2 {fmt_time(t['dost2'])}  orbelix.dst2 {fmt_time(t['dst2'])}  "
                    f"ratio {t['dost2'] / t['dst2']:5.2f}")
    report("dost2 / orbelix.dst2, real square power-of-two image (target at most 1.0)", rows)


PEAK = textwrap.dedent("""
    import resource, sys
    import numpy as np
    import orbelix_tools as ot
    n, output = int(sys.argv[1]), sys.argv[2]
    image = np.random.default_rng(0).standard_normal((n, n)).astype(np.float32)
    ot.local_spectrum(image[:8, :8], output="octaves")  # imports and tables
    ot.dost2(image[:8, :8])
    def hwm():
        for line in open("/proc/self/status"):
            if line.startswith("VmHWM"):
                return int(line.split()[1]) * 1024
    before = hwm()
    if output == "dost2":
        ot.dost2(image)
    else:
        maps = ot.local_spectrum(image, output=output)
    print((hwm() - before) / (8 * n * n))
""")


def peak_memory(n, output):
    out = subprocess.run([sys.executable, "-c", PEAK, str(n), output], capture_output=True,
                         text=True, check=True)
    return float(out.stdout)


def bench_local_spectrum():
    n = 1024
    g = np.random.default_rng(2).standard_normal((n, n)).astype(np.float32)
    t = median_times({"dominant": lambda: ot.local_spectrum(g),
                      "octaves": lambda: ot.local_spectrum(g, output="octaves"),
                      "dost2": lambda: ot.dost2(g)}, rounds=5)
    rows = [f"{output:>8}: {fmt_time(t[output])}  / dost2 {fmt_time(t['dost2'])} = "
            f"{t[output] / t['dost2']:5.2f}   peak memory {peak_memory(n, output):4.2f} x the complex64 image"
            for output in ("dominant", "octaves")]
    rows.append(f"(dost2 alone: peak memory {peak_memory(n, 'dost2'):4.2f} x the complex64 image)")
    report(f"local_spectrum {n} x {n} / dost2 (target at most 3; memory at most 4)", rows)


def bench_imfreq_loop():
    n = 128 if QUICK else 256
    g = np.random.default_rng(3).standard_normal((n, n)).astype(np.float32)

    def loop():
        s = np.roll(orbelix.dst2(g), (n // 2 - 1, n // 2 - 1), axis=(0, 1))
        s = np.asfortranarray(s)
        for x in range(n):
            for y in range(n):
                orbelix.imfreq(s, x, y)

    t = median_times({"local_spectrum": lambda: ot.local_spectrum(g, output="full"), "loop": loop},
                     rounds=3, min_time=0.0)
    report(f"local_spectrum(output='full') / orbelix.dst2 + imfreq for each of {n * n} pixels",
           [f"{fmt_time(t['local_spectrum'])} / {fmt_time(t['loop'])} = "
            f"{t['local_spectrum'] / t['loop']:.4f}"])


def main():
    print(f"{machine()}, scipy {scipy.__version__}, SIMD path {ot.simd_path()}, one thread each")
    bench_dost()
    bench_dost2()
    bench_dst2()
    bench_local_spectrum()
    bench_imfreq_loop()


if __name__ == "__main__":
    main()
