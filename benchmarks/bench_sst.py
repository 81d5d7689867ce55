"""The synchrosqueezed S-transform against the plain one and against ssqueezepy.

Contenders interleaved round by round after a warm-up, medians, one thread
each:

* sstransform / stransform (phase="absolute", complex): the same signal,
  band and decimation. Target: at most 2.5.
* sstransform / ssqueezepy's ssq_stft and ssq_cwt, parallel option off
  (SSQ_PARALLEL=0, set before it is imported): the same signal length and
  number of frequency rows (our band is the whole spectrum with df chosen
  to give their row count), every sample. Target against ssq_stft: at most
  0.5. ssqueezepy is optional: without it those rows are skipped.
* Peak memory of one call in a fresh process: the rise of ru_maxrss,
  against the result's size.

Ratios are ours / peer: below 1, orbelix_tools is faster.
"""
import os
import subprocess
import sys

os.environ.setdefault("SSQ_PARALLEL", "0")
os.environ.setdefault("SSQ_GPU", "0")

import numpy as np  # noqa: E402

from timing import fmt_time, machine, median_times  # noqa: E402

import orbelix_tools as ot  # noqa: E402


def test_signal(n, fs):
    """Two crossing chirps and a sinusoidal FM."""
    t = np.arange(n) / fs
    up = 0.05 * fs + 0.2 * fs * t / t[-1]
    down = 0.3 * fs - 0.2 * fs * t / t[-1]
    fm = 0.4 * fs + 0.03 * fs * np.sin(2 * np.pi * 3 * t / t[-1])
    return sum(a * np.cos(2 * np.pi * np.cumsum(f) / fs) for a, f in ((1, up), (0.8, down), (0.6, fm)))


def against_stransform():
    print("sstransform / stransform (complex, phase='absolute'), one thread")
    cases = [(8192, dict(fmin=0.0, fmax=0.5, decim=1)),
             (8192, dict(fmin=0.05, fmax=0.45, decim=8)),
             (65536, dict(fmin=0.01, fmax=0.2, df=4 / 65536, decim=16))]
    for n, band in cases:
        x = test_signal(n, 1.0).astype(np.float32)
        times = median_times({
            "sst": lambda: ot.sstransform(x, **band),
            "st": lambda: ot.stransform(x, phase="absolute", **band),
        }, rounds=5)
        print(f"  n={n:6d} {band}: sst {fmt_time(times['sst'])}  st {fmt_time(times['st'])}"
              f"  ratio {times['sst'] / times['st']:.2f} (target <= 2.5)")


def against_ssqueezepy():
    try:
        import ssqueezepy
    except ImportError:
        print("ssqueezepy is not installed: its rows are skipped")
        return
    print(f"sstransform / ssqueezepy {ssqueezepy.__version__} (SSQ_PARALLEL=0), one thread")
    for n in (4096, 16384):
        x = test_signal(n, 1.0)
        x32 = x.astype(np.float32)
        for name, call in (("ssq_stft", lambda: ssqueezepy.ssq_stft(x, n_fft=512)),
                           ("ssq_cwt", lambda: ssqueezepy.ssq_cwt(x))):
            rows = call()[0].shape[0]
            # Our band: 0 .. fs/2 in rows - 1 steps of whole bins.
            step = max(1, (n // 2) // (rows - 1))
            ours = dict(fmin=0.0, fmax=min(0.5, step * (rows - 1) / n), df=step / n)
            got = ot.sstransform(x32, **ours)[2].shape[0]
            times = median_times({"ours": lambda: ot.sstransform(x32, **ours), name: call},
                                 rounds=3)
            print(f"  n={n:6d} {name} ({rows} rows; ours {got}): ours {fmt_time(times['ours'])}"
                  f"  {name} {fmt_time(times[name])}  ratio {times['ours'] / times[name]:.2f}"
                  + ("  (target <= 0.5)" if name == "ssq_stft" else ""))


_PEAK = """
import resource, sys
import numpy as np
import orbelix_tools as ot
n = int(sys.argv[1])
x = np.cos(0.3 * np.arange(n)).astype(np.float32)
kind = sys.argv[2]
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
if kind == "sst":
    out = ot.sstransform(x, fmin=0.0, fmax=0.05, decim=4)[2]
else:
    out = ot.stransform(x, fmin=0.0, fmax=0.05, decim=4, phase="absolute")[2]
after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
print((after - before) * 1024, out.nbytes)
"""


def peak_memory():
    print("peak memory of one call in a fresh process (rise of ru_maxrss), n = 65536, "
          "0 .. 0.05 fs, decim 4")
    for kind in ("sst", "st"):
        done = subprocess.run([sys.executable, "-c", _PEAK, "65536", kind], check=True,
                              capture_output=True, text=True)
        rise, result = (int(v) for v in done.stdout.split())
        print(f"  {kind:4s}: rise {rise / 2**20:7.1f} MiB, result {result / 2**20:7.1f} MiB,"
              f" rise / result {rise / result:.2f}")


if __name__ == "__main__":
    print(machine())
    # First: a child's ru_maxrss starts from its parent's high-water mark.
    peak_memory()
    against_stransform()
    against_ssqueezepy()
