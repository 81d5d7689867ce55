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

Each ratio is given in wall-clock time and, in brackets, in the calling
thread's CPU time (every contender runs in the calling thread), which is
steadier when the shared machine is loaded.

Usage: python bench_images.py [--quick]
"""
import statistics
import subprocess
import sys
import textwrap
import time

import numpy as np
import scipy
import scipy.fft

import orbelix
import orbelix_tools as ot
from timing import fmt_time, machine


def median_times(contenders, rounds=5, min_time=0.05):
    """Median (wall, thread CPU) seconds per call of each contender,
    interleaved round by round."""
    reps = {}
    for name, f in contenders.items():
        f()
        t0 = time.perf_counter()
        f()
        reps[name] = max(1, int(min_time / max(time.perf_counter() - t0, 1e-7)))
    wall = {name: [] for name in contenders}
    cpu = {name: [] for name in contenders}
    for _ in range(rounds):
        for name, f in contenders.items():
            w0, c0 = time.perf_counter(), time.thread_time()
            for _ in range(reps[name]):
                f()
            cpu[name].append((time.thread_time() - c0) / reps[name])
            wall[name].append((time.perf_counter() - w0) / reps[name])
    return {name: (statistics.median(wall[name]), statistics.median(cpu[name])) for name in contenders}


def ratio(t, a, b):
    return f"{t[a][0] / t[b][0]:5.2f} [{t[a][1] / t[b][1]:5.2f}]"

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
        rows.append(f"n={n:>8}: dost {fmt_time(t['dost'][0])}  fft {fmt_time(t['fft'][0])}  "
                    f"dost/fft {ratio(t, 'dost', 'fft')}   idost/ifft {ratio(t, 'idost', 'ifft')}")
    report("dost / scipy.fft.fft (target at most 1.5)", rows)


def bench_dost2():
    rows = []
    for shape in SHAPES:
        g = signal(shape)
        t = median_times({"dost2": lambda: ot.dost2(g),
                          "idost2": lambda: ot.idost2(g),
                          "fft2": lambda: scipy.fft.fft2(g, workers=1)},
                         rounds=3 if shape[0] >= 4096 else 5)
        rows.append(f"{shape[0]:>4} x {shape[1]:<4}: dost2 {fmt_time(t['dost2'][0])}  "
                    f"fft2 {fmt_time(t['fft2'][0])}  dost2/fft2 {ratio(t, 'dost2', 'fft2')}  "
                    f"idost2/fft2 {ratio(t, 'idost2', 'fft2')}")
    report("dost2, idost2 / scipy.fft.fft2 (target at most 1.5)", rows)


def bench_dst2():
    rows = []
    for n in ((256, 1024) if QUICK else (256, 1024, 4096)):
        g = np.random.default_rng(1).standard_normal((n, n)).astype(np.float32)
        gc = np.asfortranarray(g.astype(np.complex64))
        t = median_times({"dost2": lambda: ot.dost2(g), "dst2": lambda: orbelix.dst2(gc)},
                         rounds=3 if n >= 4096 else 5)
        rows.append(f"{n:>4} x {n:<4}: dost2 {fmt_time(t['dost2'][0])}  "
                    f"orbelix.dst2 {fmt_time(t['dst2'][0])}  ratio {ratio(t, 'dost2', 'dst2')}")
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


def bench_local_frequency_maps():
    n = 1024
    g = np.random.default_rng(2).standard_normal((n, n)).astype(np.float32)
    t = median_times({"dominant": lambda: ot.local_spectrum(g),
                      "octaves": lambda: ot.local_spectrum(g, output="octaves"),
                      "dost2": lambda: ot.dost2(g)}, rounds=5)
    rows = [f"{output:>8}: {fmt_time(t[output][0])}  / dost2 {fmt_time(t['dost2'][0])} = "
            f"{ratio(t, output, 'dost2')}   peak memory {peak_memory(n, output):4.2f} x the complex64 image"
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
           [f"{fmt_time(t['local_spectrum'][0])} / {fmt_time(t['loop'][0])} = "
            f"{t['local_spectrum'][0] / t['loop'][0]:.4f}"])


def main():
    print(f"{machine()}, scipy {scipy.__version__}, SIMD path {ot.simd_path()}, one thread each")
    print("ratios: wall-clock [thread CPU time]")
    bench_dost()
    bench_dost2()
    bench_dst2()
    bench_local_frequency_maps()
    bench_imfreq_loop()


if __name__ == "__main__":
    main()
