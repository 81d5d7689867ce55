"""The windows, padding and frequency lists of orbelix_tools against its Gaussian path.

Tasks of bench_tools.py, one thread, contenders interleaved round by round
after a warm-up, median CPU times:

* EEG: 64 channels x 2560 samples at 256 Hz, 1-50 Hz every bin, full time
  resolution, power.
* Long recording: one hour at 256 Hz (921 600 samples), 0.5-40 Hz every
  0.25 Hz, every 64th sample, complex result.

Each window is timed against the Gaussian (width 1) on the same voices and
times: ratio = window / Gaussian. Padding (pad="reflect", n_fft = 2n) is
timed on the same voices (every bin of the unpadded signal, freqs=) and on
the finer bins the padded length gives. The hyperbolic window is timed
against PyPI `hstransform` (HSTransform.fit_transform, every frequency of
one channel of 512 samples) when it is installed; its window is parameterised differently
(tapers and a curvature), so only the time is compared.

Ratios below 1: faster than the Gaussian path (or the peer).
"""
import statistics
import sys
import time
import warnings

import numpy as np

from timing import fmt_time, machine

FS = 256.0
EEG_SHAPE = (64, 2560)
EEG_BAND = dict(fmin=1.0, fmax=50.0)
LONG_N = 921_600
LONG = dict(fmin=0.5, fmax=40.0, df=0.25, decim=64)

WINDOWS = {
    "gauss_power (1, 0.8)": ("gauss_power", 1.0, 0.8),
    "bigauss (0.7, 1.4)": ("bigauss", 0.7, 1.4),
    "hyperbolic (0.7, 1.4, 0.05)": ("hyperbolic", 0.7, 1.4, 0.05),
    "callable (Gaussian)": lambda v: np.exp(-0.5 * v * v),
}


def interleaved(contenders, rounds):
    """Median CPU seconds per call, contenders interleaved, order rotating.
    Every contender runs on one thread, so its CPU time is its work; on a
    shared machine it moves far less than the wall-clock time."""
    for f in contenders.values():
        f()  # warm-up
    names = list(contenders)
    cpu = {name: [] for name in names}
    for r in range(rounds):
        for name in names[r % len(names):] + names[:r % len(names)]:
            t0 = time.process_time()
            contenders[name]()
            cpu[name].append(time.process_time() - t0)
    return {name: statistics.median(v) for name, v in cpu.items()}


def report(title, times, base):
    print(f"\n{title}")
    print(f"{'contender':<34} {'CPU':>12} {'/' + base:>14}")
    for name, w in times.items():
        print(f"{name:<34} {fmt_time(w)} {w / times[base]:14.3f}")


def eeg_windows(ot, rounds):
    x = np.random.default_rng(11).standard_normal(EEG_SHAPE).astype(np.float32)

    def call(**kw):
        band = {} if "freqs" in kw else EEG_BAND
        return lambda: ot.stransform(x, FS, output="power", **band, **kw)

    contenders = {"gauss (width 1)": call()}
    contenders.update({name: call(window=w) for name, w in WINDOWS.items()})
    report(f"EEG: {EEG_SHAPE[0]} x {EEG_SHAPE[1]} at {FS:g} Hz, 1-50 Hz, power, one thread",
           interleaved(contenders, rounds), "gauss (width 1)")

    n = EEG_SHAPE[1]
    same = np.arange(round(1.0 * n / FS), round(50.0 * n / FS) + 1) * FS / n
    pad = {"no padding": call(),
           "reflect, n_fft=2n, same voices": call(freqs=same, pad="reflect"),
           "reflect, n_fft=2n, finer bins": call(pad="reflect"),
           "zeros, n_fft=2n, same voices": call(freqs=same, pad="zeros")}
    report("EEG, padding", interleaved(pad, rounds), "no padding")


def long_windows(ot, rounds):
    x = np.random.default_rng(12).standard_normal(LONG_N).astype(np.float32)

    def call(**kw):
        return lambda: ot.stransform(x, FS, **LONG, **kw)

    contenders = {"gauss (width 1)": call()}
    contenders.update({name: call(window=w) for name, w in WINDOWS.items()})
    report(f"Long recording: {LONG_N} samples, 0.5-40 Hz every 0.25 Hz, every 64th sample, "
           "complex, one thread", interleaved(contenders, rounds), "gauss (width 1)")
    same = ot.stransform(x[:LONG_N], FS, **LONG)[0]
    pad = {"no padding": call(), "reflect, n_fft=2n, same voices":
           lambda: ot.stransform(x, FS, freqs=same, decim=LONG["decim"], pad="reflect")}
    report("Long recording, padding", interleaved(pad, rounds), "no padding")


def hstransform_peer(ot, rounds):
    try:
        from hstransform import HSTransform
    except ImportError:
        print("\nhstransform is not installed (pip install hstransform): peer skipped")
        return
    # Its time grows about as n^3 (seconds at 512 samples): a short signal.
    x = np.random.default_rng(11).standard_normal(512)
    time_values = np.arange(x.size) / FS
    peer = HSTransform()
    contenders = {
        "orbelix_tools hyperbolic": lambda: ot.stransform(
            x, FS, window=WINDOWS["hyperbolic (0.7, 1.4, 0.05)"]),
        "orbelix_tools gauss": lambda: ot.stransform(x, FS),
        "hstransform fit_transform": lambda: peer.fit_transform(time_values, x),
    }
    report(f"One channel of {x.size} samples, every frequency, full time resolution, complex",
           interleaved(contenders, rounds), "hstransform fit_transform")


def main():
    import orbelix_tools as ot
    warnings.simplefilter("ignore", UserWarning)  # the lowest voices' long windows
    quick = "--quick" in sys.argv
    print(f"orbelix_tools windows benchmark on {machine()}")
    print("ratios: contender / base, below 1 is faster; a shared machine: compare within one run")
    eeg_windows(ot, 3 if quick else 7)
    hstransform_peer(ot, 3)
    long_windows(ot, 1 if quick else 3)


if __name__ == "__main__":
    main()
