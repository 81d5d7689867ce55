"""fst and ifst against their vectorised NumPy/SciPy peers and the `stockwell` package.

Three tables, each measured side by side in this one process (contenders
interleaved round by round after a warm-up, medians, one thread each):

1. fst against the lean vectorised SciPy complex64 S-transform (float32
   window matrix built in place, one batched scipy.fft.ifft along rows,
   workers=1) and against PyPI `stockwell` (st.st, real float64 input).
2. fst at awkward lengths (large prime factors: the chirp-z path) against fst
   at the powers of two on either side; beside it, for scale, what one FFTW
   transform of length n costs against one at the nearer power of two
   (pyfftw, planned with FFTW_MEASURE, one thread), when pyfftw is installed.
3. ifst against a vectorised NumPy inverse (row sums, mirror, one inverse FFT).
4. fst on each SIMD path the CPU has (ORBELIX_SIMD=sse2|avx2|avx512, each in
   a worker process of its own) against the lean SciPy version, in thread
   CPU time.

Ratios are ours / peer's (below 1: orbelix is faster), from wall clock and
from process CPU time (steadier on a shared machine). Peak memory is the
rise of the peak resident set during one call as a multiple of the complex64
result, shown where the result has 32 MiB or more (glibc serves smaller
blocks from memory freed earlier, which the resident set does not see).
"""
import statistics
import sys
import time

import numpy as np
import scipy
import scipy.fft

from path_workers import PathWorker, cpu_paths, local, median_round_times, serve
from timing import fmt_time, fptr, library, machine, ref_int
from timing import median_times as median_call_times

SIZES = (256, 1024, 4096, 8192, 16384)
AWKWARD = (2561, 4097, 4098, 4099, 8191)
IFST_SIZES = (4096, 8192, 16384)
PATH_SIZES = (256, 1024, 4096, 8192, 4099)
WINDOW_CONSTANT = np.float32(19.73921)


def fst_entry(lib):
    """The fst contender: the module's Python function where it exists, else the C routine."""
    try:
        import orbelix
        return orbelix.fst, "orbelix.fst"
    except (ImportError, AttributeError):
        return (lambda h: fst_ctypes(lib, h)), "C fst via ctypes"


def ifst_entry(lib):
    try:
        import orbelix
        return orbelix.ifst
    except (ImportError, AttributeError):
        return lambda s: ifst_ctypes(lib, s)


def fst_ctypes(lib, h):
    n = h.size
    s = np.zeros((n // 2 + 1, n), dtype=np.complex64, order="F")
    lib.fst(ref_int(n), fptr(h), fptr(s))
    return s


def ifst_ctypes(lib, s):
    n = s.shape[1]
    h = np.zeros(n, dtype=np.complex64)
    lib.ifst(ref_int(n), fptr(s), fptr(h))
    return h


def fst_scipy(h):
    """The lean vectorised S-transform: every voice's windowed, shifted spectrum as one
    preallocated complex64 matrix, one batched inverse FFT along rows in place."""
    n = h.size
    rows = n // 2 + 1
    spectrum = scipy.fft.fft(h, workers=1) / np.float32(n)
    spectrum[1:(n + 1) // 2] *= np.float32(2)
    spectrum[n // 2 + 1:] = 0
    m = np.arange(n)
    offset2 = (np.minimum(m, n - m).astype(np.int64) ** 2).astype(np.float32)
    neg_c_over_k2 = -WINDOW_CONSTANT / (np.arange(1, rows, dtype=np.int64) ** 2).astype(np.float32)
    window = np.empty((rows - 1, n), dtype=np.float32)
    np.multiply(neg_c_over_k2[:, None], offset2[None, :], out=window)
    np.exp(window, out=window)
    # Row k of the sliding view over the doubled spectrum is A[(k + m) mod n].
    shifted = np.lib.stride_tricks.sliding_window_view(np.concatenate([spectrum, spectrum]), n)
    s = np.empty((rows, n), dtype=np.complex64)
    s[0] = h.mean(dtype=np.complex64)
    np.multiply(shifted[1:rows], window, out=s[1:])
    del window
    voices = scipy.fft.ifft(s[1:], axis=1, norm="forward", overwrite_x=True, workers=1)
    if not np.shares_memory(voices, s):
        s[1:] = voices
    return s


def ifst_numpy(s):
    """Row sums, halve and mirror by conjugation, one inverse FFT."""
    n = s.shape[1]
    spectrum = np.zeros(n, dtype=np.complex64)
    spectrum[: s.shape[0]] = s.sum(axis=1)
    spectrum[1:(n + 1) // 2] *= np.float32(0.5)
    upper = np.arange(n // 2 + 1, n)
    spectrum[upper] = np.conj(spectrum[n - upper])
    return np.fft.ifft(spectrum) * np.float32(1.0)


def stockwell_st():
    try:
        from stockwell import st
    except ImportError:
        return None
    return st.st


def _status_kib(field):
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return None


def peak_bytes(f):
    """Rise of the peak resident set during f(), or None where it cannot be reset."""
    try:
        with open("/proc/self/clear_refs", "w") as f_refs:
            f_refs.write("5")
    except OSError:
        return None
    before = _status_kib("VmRSS")
    result = f()
    peak = _status_kib("VmHWM")
    del result
    return (peak - before) * 1024


def check_agreement(ours, peer, what):
    err = float(np.max(np.abs(np.asarray(ours, np.complex128) - peer)))
    scale = float(np.max(np.abs(peer)))
    if err > 1e-4 * scale:
        raise SystemExit(f"{what}: orbelix and the NumPy/SciPy version disagree ({err:.3g} of {scale:.3g})")


def median_times(contenders, rounds):
    """Median wall and CPU seconds per call, contenders interleaved round by round,
    the order rotating each round."""
    for f in contenders.values():
        f()  # warm-up
    names = list(contenders)
    wall = {name: [] for name in names}
    cpu = {name: [] for name in names}
    for r in range(rounds):
        for name in names[r % len(names):] + names[: r % len(names)]:
            w0, c0 = time.perf_counter(), time.process_time()
            contenders[name]()
            cpu[name].append(time.process_time() - c0)
            wall[name].append(time.perf_counter() - w0)
    med = statistics.median
    return {name: med(v) for name, v in wall.items()}, {name: med(v) for name, v in cpu.items()}


def rounds_for(n):
    return 15 if n <= 1024 else 7 if n <= 8192 else 3


def random_signal(rng, n):
    return (rng.standard_normal(n) + 1j * rng.standard_normal(n)).astype(np.complex64)


def bench_peers(fst, st, sizes=SIZES):
    print("\n1. fst against the lean SciPy S-transform and stockwell (ratio = fst / peer)")
    print(f"{'n':>6} {'contender':<10} {'wall':>12} {'cpu':>12} {'fst/peer wall':>14} "
          f"{'fst/peer cpu':>13} {'peak mem':>9}")
    rng = np.random.default_rng(5)
    table = []
    for n in sizes:
        h = random_signal(rng, n)
        x = h.real.astype(np.float64)  # stockwell takes a real signal
        check_agreement(fst(h), fst_scipy(h), f"fst n={n}")
        contenders = {"fst": lambda: fst(h), "scipy c64": lambda: fst_scipy(h)}
        if st is not None:
            contenders["stockwell"] = lambda: st(x)
        wall, cpu = median_times(contenders, rounds_for(n))
        result_bytes = (n // 2 + 1) * n * 8
        for name, f in contenders.items():
            peak = peak_bytes(f) if result_bytes >= 32 << 20 else None
            mem = f"{peak / result_bytes:8.2f}x" if peak is not None else "      n/a"
            rw, rc = wall["fst"] / wall[name], cpu["fst"] / cpu[name]
            print(f"{n:>6} {name:<10} {fmt_time(wall[name])} {fmt_time(cpu[name])} {rw:14.2f} "
                  f"{rc:13.2f} {mem}", flush=True)
            table.append({"table": "peers", "n": n, "contender": name, "wall": wall[name],
                          "cpu": cpu[name], "ratio_wall": rw, "ratio_cpu": rc, "peak_bytes": peak})
    return table


def neighbouring_powers_of_two(n):
    lower = 1 << (n.bit_length() - 1)
    return lower, 2 * lower


def fftw_length_ratio(n, m):
    """Time of one complex64 FFTW transform of length n over one of length m,
    or None without pyfftw."""
    try:
        import pyfftw
    except ImportError:
        return None
    plans = {}
    for k in (n, m):
        a = pyfftw.empty_aligned(k, dtype="complex64")
        b = pyfftw.empty_aligned(k, dtype="complex64")
        plan = pyfftw.FFTW(a, b, flags=("FFTW_MEASURE",), threads=1)
        a[:] = random_signal(np.random.default_rng(k), k)
        plans[k] = plan.execute
    t = median_call_times(plans)
    return t[n] / t[m]


def bench_awkward(fst, lengths=AWKWARD):
    print("\n2. fst at awkward lengths against fst at the powers of two on either side, and the "
          "SciPy version at the same length (cpu ratios; the nearer power of two is marked *); "
          "fftw: one FFTW transform of length n over one at the nearer power of two")
    print(f"{'n':>6} {'factors':<12} {'fst(n)':>12} {'lower':>12} {'upper':>12} {'n/lower':>9} "
          f"{'n/upper':>9} {'fst/scipy':>10} {'fftw':>7}")
    rng = np.random.default_rng(6)
    table = []
    for n in lengths:
        lo, hi = neighbouring_powers_of_two(n)
        h, h_lo, h_hi = random_signal(rng, n), random_signal(rng, lo), random_signal(rng, hi)
        check_agreement(fst(h), fst_scipy(h), f"fst n={n}")
        contenders = {"n": lambda: fst(h), "lower": lambda: fst(h_lo), "upper": lambda: fst(h_hi),
                      "scipy": lambda: fst_scipy(h)}
        wall, cpu = median_times(contenders, 5)
        factors = "*".join(str(f) for f in _factors(n))
        r_lo, r_hi = cpu["n"] / cpu["lower"], cpu["n"] / cpu["upper"]
        mark_lo, mark_hi = ("*", " ") if n - lo <= hi - n else (" ", "*")
        fftw = fftw_length_ratio(n, lo if n - lo <= hi - n else hi)
        print(f"{n:>6} {factors:<12} {fmt_time(cpu['n'])} {fmt_time(cpu['lower'])} "
              f"{fmt_time(cpu['upper'])} {r_lo:8.2f}{mark_lo} {r_hi:8.2f}{mark_hi} "
              f"{cpu['n'] / cpu['scipy']:10.2f} "
              f"{'    n/a' if fftw is None else f'{fftw:7.2f}'}", flush=True)
        table.append({"table": "awkward", "n": n, "lower": lo, "upper": hi,
                      "ratio_lower_cpu": r_lo, "ratio_upper_cpu": r_hi,
                      "ratio_scipy_cpu": cpu["n"] / cpu["scipy"], "fftw_ratio": fftw})
    return table


def _factors(n):
    out, p = [], 2
    while p * p <= n:
        while n % p == 0:
            out.append(p)
            n //= p
        p += 1
    return out + ([n] if n > 1 else [])


def bench_ifst(fst, ifst, sizes=IFST_SIZES):
    print("\n3. ifst against the vectorised NumPy inverse (ratio = ifst / NumPy)")
    print(f"{'n':>6} {'ifst':>12} {'numpy':>12} {'ratio wall':>11} {'ratio cpu':>10}")
    rng = np.random.default_rng(7)
    table = []
    for n in sizes:
        s = fst(rng.standard_normal(n).astype(np.complex64))
        check_agreement(ifst(s), ifst_numpy(s), f"ifst n={n}")
        wall, cpu = median_times({"ifst": lambda: ifst(s), "numpy": lambda: ifst_numpy(s)},
                                 rounds=15)
        rw, rc = wall["ifst"] / wall["numpy"], cpu["ifst"] / cpu["numpy"]
        print(f"{n:>6} {fmt_time(wall['ifst'])} {fmt_time(wall['numpy'])} {rw:11.2f} {rc:10.2f}",
              flush=True)
        table.append({"table": "ifst", "n": n, "ratio_wall": rw, "ratio_cpu": rc})
        del s
    return table


def path_signal(n):
    return random_signal(np.random.default_rng(n), n)


def worker():
    import orbelix

    def make(n):
        h = path_signal(n)
        return lambda: orbelix.fst(h)
    serve(make)


def bench_paths(sizes=PATH_SIZES):
    paths = cpu_paths()
    print("\n4. fst on each SIMD path against the lean SciPy S-transform (ratio = fst / SciPy, "
          "thread CPU time)")
    print(f"{'n':>6} {'scipy c64':>12}" + "".join(f" {p:>12}" for p in paths) +
          "".join(f" {p + '/scipy':>12}" for p in paths))
    workers = {p: PathWorker(__file__, p) for p in paths}
    table = []
    try:
        for n in sizes:
            h = path_signal(n)
            contenders = {"scipy": local(lambda: fst_scipy(h))}
            for p, w in workers.items():
                contenders[p] = w.contender(f"fst {n}", n)
            t = median_round_times(contenders, rounds=rounds_for(n))
            ratios = {p: t[p] / t["scipy"] for p in paths}
            print(f"{n:>6} {fmt_time(t['scipy'])}" + "".join(f" {fmt_time(t[p])}" for p in paths) +
                  "".join(f" {ratios[p]:12.2f}" for p in paths), flush=True)
            table += [{"table": "paths", "n": n, "path": p, "ratio_cpu": ratios[p]} for p in paths]
    finally:
        for w in workers.values():
            w.close()
    return table


def bench(lib, sizes=SIZES):
    st = stockwell_st()
    fst, how = fst_entry(lib)
    print(f"fst called as {how}")
    table = bench_peers(fst, st, sizes)
    table += bench_awkward(fst)
    table += bench_ifst(fst, ifst_entry(lib))
    table += bench_paths()
    return table


def main():
    lib = library()
    st = stockwell_st()
    peers = f"scipy {scipy.__version__}"
    if st is not None:
        from importlib.metadata import version
        peers += f", stockwell {version('stockwell')} (real input, complex128 result)"
    else:
        peers += ", stockwell not installed"
    print(f"fst benchmark on {machine()}; {peers}")
    print("peak mem: multiple of the complex64 result (n/2+1) x n x 8 bytes")
    return bench(lib)


if __name__ == "__main__":
    if "--worker" in sys.argv:
        worker()
    else:
        main()
