"""fst against a vectorised SciPy complex64 S-transform and the `stockwell` package.

Times are medians of interleaved rounds, wall clock and process CPU time,
one thread each (scipy.fft with workers=1); ratios are fst time / peer time
(below 1: fst is faster). Peak memory is the rise of the process's peak
resident set during one call, result included, as a multiple of the
complex64 result, (n/2+1) x n x 8 bytes. It is shown only where the result
has 32 MiB or more: glibc serves smaller blocks from memory freed earlier,
which the resident set does not see grow.
"""
import statistics
import time

import numpy as np
import scipy
import scipy.fft

from timing import fmt_time, fptr, library, machine, ref_int

SIZES = (256, 1024, 4096, 8192)
WINDOW_CONSTANT = np.float32(19.73921)


def fst_entry(lib):
    """The fst contender: the module's Python function where it exists, else the C routine."""
    try:
        import orbelix
        return orbelix.fst, "orbelix.fst"
    except (ImportError, AttributeError):
        return (lambda h: fst_ctypes(lib, h)), "C fst via ctypes"


def fst_ctypes(lib, h):
    n = h.size
    s = np.zeros((n // 2 + 1, n), dtype=np.complex64, order="F")
    lib.fst(ref_int(n), fptr(h), fptr(s))
    return s


def fst_scipy(h):
    """Every voice's shifted, windowed spectrum as one matrix, one batched inverse FFT."""
    n = h.size
    rows = n // 2 + 1
    spectrum = scipy.fft.fft(h, workers=1) / np.float32(n)
    spectrum[1:(n + 1) // 2] *= np.float32(2)
    spectrum[n // 2 + 1:] = 0
    m = np.arange(n)
    offset2 = (np.minimum(m, n - m).astype(np.int64) ** 2).astype(np.float32)
    k2 = (np.arange(1, rows, dtype=np.int64) ** 2).astype(np.float32)
    window = np.exp(-(WINDOW_CONSTANT * offset2[None, :]) / k2[:, None])
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


def check_agreement(ours, peer, n):
    err = float(np.max(np.abs(ours.astype(np.complex128) - peer)))
    scale = float(np.max(np.abs(peer)))
    if err > 1e-4 * scale:
        raise SystemExit(f"n={n}: fst and the SciPy implementation disagree ({err:.3g} of {scale:.3g})")


def median_times(contenders, rounds):
    """Median wall and CPU seconds per call, contenders interleaved round by round.

    Every contender is single-threaded, so on a shared machine the process's
    CPU time (user + system, page faults included) is the steadier figure.
    """
    for f in contenders.values():
        f()  # warm-up
    wall = {name: [] for name in contenders}
    cpu = {name: [] for name in contenders}
    for _ in range(rounds):
        for name, f in contenders.items():
            w0, c0 = time.perf_counter(), time.process_time()
            f()
            cpu[name].append(time.process_time() - c0)
            wall[name].append(time.perf_counter() - w0)
    med = statistics.median
    return {name: med(v) for name, v in wall.items()}, {name: med(v) for name, v in cpu.items()}


def bench(lib, sizes=SIZES):
    st = stockwell_st()
    fst, how = fst_entry(lib)
    print(f"fst called as {how}")
    rng = np.random.default_rng(5)
    print(f"{'n':>5} {'contender':<10} {'wall':>12} {'cpu':>12} {'fst/peer wall':>14} "
          f"{'fst/peer cpu':>13} {'peak mem':>9}")
    table = []
    for n in sizes:
        h = (rng.standard_normal(n) + 1j * rng.standard_normal(n)).astype(np.complex64)
        x = h.real.astype(np.float64)  # stockwell takes a real signal
        check_agreement(fst(h), fst_scipy(h), n)
        contenders = {"fst": lambda: fst(h), "scipy c64": lambda: fst_scipy(h)}
        if st is not None:
            contenders["stockwell"] = lambda: st(x)
        wall, cpu = median_times(contenders, rounds=15 if n <= 1024 else 5)
        result_bytes = (n // 2 + 1) * n * 8
        for name, f in contenders.items():
            peak = peak_bytes(f) if result_bytes >= 32 << 20 else None
            mem = f"{peak / result_bytes:8.2f}x" if peak is not None else "      n/a"
            rw, rc = wall["fst"] / wall[name], cpu["fst"] / cpu[name]
            print(f"{n:>5} {name:<10} {fmt_time(wall[name])} {fmt_time(cpu[name])} {rw:14.2f} "
                  f"{rc:13.2f} {mem}")
            table.append({"n": n, "contender": name, "wall": wall[name], "cpu": cpu[name],
                          "ratio_wall": rw, "ratio_cpu": rc, "peak_bytes": peak})
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
    main()
