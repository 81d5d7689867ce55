"""The machine's floor for the fast S-transform, and fst's time against it.

The floor of a transform is what its unavoidable work costs on this machine
at the measured rates:

    flops / peak  +  fresh bytes / page-zeroing bandwidth
                  +  written bytes / streaming-store bandwidth

- peak: multiplies and adds per second of one thread, kept separate (the
  library never fuses them), at each register width: 128 bits for the SSE2
  path, 256 for the AVX2 path, the better of 256 and 512 for the AVX-512
  path. Measured by a small kernel (benchmarks/cpp/floor_kernels.c, compiled
  here with the system's C compiler and called through ctypes) that keeps
  independent chains of both in flight, so the pipes never wait on a result.
- page zeroing: the kernel clears every page of a fresh result before the
  first store reaches it. Measured by touching one byte per 4 KB page of a
  NumPy array just allocated, as large as the result (NumPy asks for
  transparent huge pages for large arrays, as it does for fst's result).
- streaming stores: 16-byte non-temporal stores (how the library writes a
  large result) into memory already mapped.

For fst at n: n/2 inverse FFTs of n points at 5 n log2 n flops each, and a
result of (n/2 + 1) n complex64 values, fresh and written once. Everything
else fst does (the windows, the products, the transposition) counts as
overhead above the floor.

fst runs through the Python module, one worker process per SIMD path
(ORBELIX_SIMD), timed in thread CPU time (page faults count as system time
of the thread), medians over rounds interleaved with the order rotating.
The rates are measured in this process, the best of several rounds each.

    python benchmarks/bench_floor.py               # fst at 8192
    python benchmarks/bench_floor.py 4096 8192     # other lengths

Other benchmarks call floor_seconds() with their own counts (the analysis
package's tasks: bench_tools.py).
"""
import ctypes
import functools
import math
import os
import subprocess
import sys
import tempfile
import time

import numpy as np

from path_workers import PathWorker, cpu_paths, median_round_times, serve
from timing import fmt_time, machine

KERNELS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "cpp", "floor_kernels.c")
WIDTHS = {"sse2": (128,), "avx2": (256,), "avx512": (256, 512)}
PEAK_CHAINS = {128: 12, 256: 12, 512: 16}  # vectors per iteration, multiplies and adds
PAGE = 4096


@functools.lru_cache(maxsize=None)
def kernels():
    """The floor kernels as a ctypes library, compiled once per process."""
    out = os.path.join(tempfile.mkdtemp(prefix="orbelix_floor_"), "floor_kernels.so")
    cc = os.environ.get("CC", "cc")
    subprocess.run([cc, "-O2", "-ffp-contract=off", "-shared", "-fPIC", "-o", out, KERNELS],
                   check=True)
    lib = ctypes.CDLL(out)
    for bits in PEAK_CHAINS:
        f = getattr(lib, f"peak_{bits}")
        f.restype = ctypes.c_float
        f.argtypes = (ctypes.c_long, ctypes.c_float, ctypes.c_float)
    lib.stream_fill.restype = None
    lib.stream_fill.argtypes = (ctypes.c_void_p, ctypes.c_size_t)
    return lib


def best_seconds(f, rounds):
    """Shortest thread CPU time of f() over rounds (one warm-up first)."""
    f()
    best = math.inf
    for _ in range(rounds):
        t0 = time.thread_time()
        f()
        best = min(best, time.thread_time() - t0)
    return best


def peak_flops(bits, rounds=7, iters=20_000_000):
    """Separate multiplies and adds per second at one register width."""
    run = getattr(kernels(), f"peak_{bits}")
    flops = iters * PEAK_CHAINS[bits] * (bits // 32)
    return flops / best_seconds(lambda: run(iters, 1.0, 0.0), rounds)


def stream_bandwidth(nbytes, rounds=5):
    """Bytes per second of 16-byte streaming stores into mapped memory."""
    a = np.ones(nbytes // 4, np.float32)  # mapped and touched before timing
    count = a.size - a.size % 4
    return count * 4 / best_seconds(lambda: kernels().stream_fill(a.ctypes.data, count), rounds)


def zeroing_bandwidth(nbytes, rounds=5):
    """Bytes per second of the kernel clearing a fresh NumPy array's pages."""
    def touch():
        a = np.empty(nbytes, np.uint8)
        a[::PAGE] = 1
    return nbytes / best_seconds(touch, rounds)


def fst_work(n):
    """(flops, result bytes) of fst at length n."""
    flops = (n // 2) * 5.0 * n * math.log2(n)
    return flops, (n // 2 + 1) * n * 8


@functools.lru_cache(maxsize=None)
def machine_rates(nbytes=fst_work(8192)[1]):
    """Measured peaks per width (flop/s) and the two bandwidths (bytes/s),
    the bandwidths over buffers of nbytes (by default fst 8192's result)."""
    have = cpu_paths()
    widths = sorted({w for p in have for w in WIDTHS[p]})
    return {"peak": {bits: peak_flops(bits) for bits in widths},
            "stream": stream_bandwidth(nbytes),
            "zeroing": zeroing_bandwidth(nbytes)}


def floor_seconds(path, flops, written_bytes, fresh_bytes=None):
    """The floor of a task on a SIMD path: its flops at the path's peak, plus
    its written bytes at the streaming-store bandwidth, plus its fresh bytes
    (default: the written ones) at the page-zeroing bandwidth."""
    rates = machine_rates()
    peak = max(rates["peak"][bits] for bits in WIDTHS[path])
    fresh = written_bytes if fresh_bytes is None else fresh_bytes
    return flops / peak + written_bytes / rates["stream"] + fresh / rates["zeroing"]


def fst_floor(path, n):
    flops, nbytes = fst_work(n)
    return floor_seconds(path, flops, nbytes)


def signal(n):
    rng = np.random.default_rng(n)
    return (rng.standard_normal(n) + 1j * rng.standard_normal(n)).astype(np.complex64)


def worker():
    import orbelix

    def make(n):
        h = signal(n)
        return lambda: orbelix.fst(h)
    serve(make)


def rounds_for(n):
    return 9 if n <= 8192 else 5


def main(sizes):
    paths = cpu_paths()
    print(machine())
    rates = machine_rates()
    for bits, peak in rates["peak"].items():
        print(f"peak, separate multiply and add, {bits:3d}-bit: {peak / 1e9:7.1f} GFlop/s")
    print(f"streaming stores into mapped memory:  {rates['stream'] / 1e9:7.2f} GB/s")
    print(f"page zeroing of a fresh NumPy array:   {rates['zeroing'] / 1e9:7.2f} GB/s")
    print()
    workers = {p: PathWorker(__file__, p) for p in paths}
    try:
        print(f"{'n':>6} {'path':>7} {'fst':>12} {'floor':>12} {'fst / floor':>12}")
        for n in sizes:
            contenders = {p: w.contender(f"fst{n}", n) for p, w in workers.items()}
            times = median_round_times(contenders, rounds_for(n), min_time=0.1)
            for p in paths:
                floor = fst_floor(p, n)
                print(f"{n:6d} {p:>7} {fmt_time(times[p])} {fmt_time(floor)} "
                      f"{times[p] / floor:12.2f}")
    finally:
        for w in workers.values():
            w.close()


if __name__ == "__main__":
    if sys.argv[1:2] == ["--worker"]:
        worker()
    else:
        main([int(a) for a in sys.argv[1:]] or [8192])
