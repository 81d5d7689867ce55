"""The figure of docs/windows.md: four windows on a seismic-like arrival and
an EEG burst, with the cone of influence hatched.

    python examples/windows_figure.py [output.png]
"""
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import orbelix_tools as ot  # noqa: E402

WINDOWS = {
    "Gaussian, width 1": ("gauss", 1.0),
    "gauss_power (1, 0.7)": ("gauss_power", 1.0, 0.7),
    "bigauss (0.5, 1.5)": ("bigauss", 0.5, 1.5),
    "hyperbolic (0.5, 1.5, 0.05 s)": ("hyperbolic", 0.5, 1.5, 0.05),
}


def arrival(fs=100.0, seconds=8.0, onset=3.0):
    """A P-wave-like arrival: a sharp onset at 3 s, 6 Hz ringing that decays,
    on weak noise."""
    t = np.arange(int(fs * seconds)) / fs
    after = np.clip(t - onset, 0.0, None)
    x = np.where(t >= onset, np.sin(2 * np.pi * 6.0 * after) * np.exp(-after / 0.6), 0.0)
    return fs, x + 0.02 * np.random.default_rng(1).standard_normal(t.size)


def burst(fs=250.0, seconds=3.0):
    """An alpha burst: 10 Hz under a 0.25 s Gaussian envelope at 1.5 s, on
    1/f background activity."""
    rng = np.random.default_rng(2)
    n = int(fs * seconds)
    t = np.arange(n) / fs
    spectrum = np.fft.rfft(rng.standard_normal(n))
    spectrum[1:] /= np.sqrt(np.fft.rfftfreq(n, 1 / fs)[1:])
    spectrum[0] = 0
    background = np.fft.irfft(spectrum, n)
    background *= 0.3 / background.std()
    return fs, background + np.exp(-0.5 * ((t - 1.5) / 0.25) ** 2) * np.cos(2 * np.pi * 10 * t)


def main(path="docs/windows.png"):
    signals = {"seismic-like arrival": (arrival(), dict(fmin=1.0, fmax=15.0)),
               "EEG alpha burst": (burst(), dict(fmin=2.0, fmax=30.0))}
    fig, axes = plt.subplots(len(signals), len(WINDOWS), figsize=(16, 7), sharey="row",
                             constrained_layout=True)
    for row, (title, ((fs, x), band)) in enumerate(signals.items()):
        for col, (name, window) in enumerate(WINDOWS.items()):
            f, t, s = ot.stransform(x, fs, window=window, pad="reflect", decim=2, **band)
            mask = ot.edge_mask(f, t, x.size, fs, window=window)
            ax = ot.plot(f, t, s, ax=axes[row, col], mask=mask)
            ax.set_title(f"{title}\n{name}", fontsize=9)
    fig.savefig(path, dpi=90)


if __name__ == "__main__":
    main(*sys.argv[1:])
