"""The synchrosqueezed S-transform of a real seismogram.

ObsPy ships three example traces in its wheel (station RJOB, 100 Hz, 30 s,
a local event). This script transforms the vertical one, plain and
synchrosqueezed, follows its strongest ridge and writes a figure:

    pip install ".[examples]" && python examples/seismic_sst.py [seismic_sst.png]

It needs ObsPy (the `examples` extra); neither the tests nor the
documentation's gallery run it.
"""
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import orbelix_tools  # noqa: E402
from orbelix_tools import ridges, sstransform, stransform  # noqa: E402


def main(out: str) -> None:
    try:
        import obspy
    except ImportError:
        raise SystemExit("this example needs ObsPy: pip install '.[examples]'") from None
    trace = obspy.read().select(component="Z")[0]
    trace.detrend("demean")
    # The microseism below 1 Hz dominates the raw record; the event lies above.
    trace.filter("highpass", freq=1.0)
    fs = float(trace.stats.sampling_rate)
    x = trace.data.astype(np.float64)
    x /= np.abs(x).max()
    # Reflect the record at its ends so that its two ends do not meet on the
    # circle: transform the mirrored record and keep the first half.
    n = x.size
    mirrored = np.concatenate([x, x[::-1]])
    band = dict(fmin=1.0, fmax=25.0, decim=2, window=("gauss", 2.0))
    f, t, S = stransform(mirrored, fs, **band)
    f, t, T = sstransform(mirrored, fs, **band)
    keep = t < n / fs
    t, S, T = t[keep], S[:, keep], T[:, keep]
    ridge = ridges(f, t, np.abs(T), penalty=0.01)

    fig, axes = plt.subplots(3, 1, figsize=(9, 8), sharex=True, layout="constrained")
    axes[0].plot(np.arange(n) / fs, x, lw=0.5, color="k")
    axes[0].set_ylabel("normalised")
    axes[0].set_title(f"{trace.id}, {trace.stats.starttime}")
    orbelix_tools.plot(f, t, S, ax=axes[1])
    axes[1].set_title("S-transform |S|")
    orbelix_tools.plot(f, t, T, ax=axes[2])
    axes[2].plot(t, ridge.frequency[0] + 0.5, lw=0.6, color="red", ls="--")
    axes[2].set_title("synchrosqueezed |T| and its strongest ridge (dashed, just above)")
    fig.savefig(out, dpi=110)
    strong = ridge.amplitude[0] > 0.5 * ridge.amplitude[0].max()
    print(f"wrote {out}; strongest ridge at {np.median(ridge.frequency[0][strong]):.1f} Hz "
          "where it is above half its peak")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "seismic_sst.png")
