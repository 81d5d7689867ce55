"""
Power-quality disturbances
==========================

A 50 Hz supply voltage, sampled at 3.2 kHz (64 samples per cycle), carries
four disturbances of the kinds that power-quality standards classify: a
voltage sag, a swell, a burst of 3rd and 5th harmonics and an oscillatory
transient from capacitor switching. The S-transform finds each one in time
and frequency from a single call.

The coefficients of :func:`orbelix_tools.stransform` are calibrated: a
cosine of amplitude ``A`` has ``|S| = A`` at its frequency, so the 50 Hz
voice reads the fundamental's amplitude in per-unit, cycle by cycle, and the
harmonic voices read the harmonics' amplitudes directly.
"""

# %%
# The disturbed waveform
# ----------------------
import matplotlib.pyplot as plt
import numpy as np

import orbelix_tools
from orbelix_tools import stransform

fs, f0 = 3200.0, 50.0
t = np.arange(int(0.8 * fs)) / fs            # 40 cycles


def between(a, b, rise=0.002):
    """A smooth 0-1 gate from time a to b."""
    return 1 / (1 + np.exp(-(t - a) / rise)) - 1 / (1 + np.exp(-(t - b) / rise))


amplitude = 1.0 - 0.4 * between(0.10, 0.20) + 0.3 * between(0.30, 0.38)
v = amplitude * np.sin(2 * np.pi * f0 * t)
harmonics = between(0.46, 0.60)
v += harmonics * (0.12 * np.sin(2 * np.pi * 3 * f0 * t) + 0.08 * np.sin(2 * np.pi * 5 * f0 * t))
switching = t >= 0.68
v += switching * 0.5 * np.exp(-(t - 0.68) / 0.004) * np.sin(2 * np.pi * 900 * (t - 0.68))
v += 0.005 * np.random.default_rng(0).standard_normal(t.size)

# %%
# The transform
# -------------
# Every 10 Hz from 10 Hz to 1.5 kHz, every 8th sample (2.5 ms). The
# classical window (``width=1``) lasts about a cycle at each frequency (a
# standard deviation of 20 ms at 50 Hz), so the 50 Hz voice follows the
# amplitude cycle by cycle, while in frequency it is narrow enough (8 Hz at
# 50 Hz, 24 Hz at 150 Hz) to keep the fundamental and its harmonics, 100 Hz
# apart, separate. The transient, brief and broad-band, shows at every high
# frequency.
f, tt, mag = stransform(v, fs, fmin=10.0, fmax=1500.0, df=10.0, decim=8, width=1.0,
                        output="magnitude")

fig, axes = plt.subplots(2, 1, figsize=(9, 6), sharex=True, layout="constrained")
axes[0].plot(t, v, lw=0.5)
axes[0].set_ylabel("voltage (per unit)")
orbelix_tools.plot(f, tt, mag, ax=axes[1], db=True, magnitude=True)
axes[1].images[0].set_clim(-60, 0)
axes[1].set_xlabel("time (s)")
for ax in axes:
    for a, b, what in ((0.10, 0.20, "sag"), (0.30, 0.38, "swell"),
                       (0.46, 0.60, "harmonics"), (0.68, 0.72, "transient")):
        ax.axvspan(a, b, color="k", alpha=0.06)
axes[0].set_title("sag, swell, harmonics, oscillatory transient")

# %%
# Reading the disturbances off the voices
# ---------------------------------------
# The 50 Hz voice is the fundamental's amplitude; the 150 and 250 Hz voices
# are the harmonics; the energy above 600 Hz, summed over voices, flags the
# transient. A simple rule on each gives the events and their times.
fundamental = mag[f == 50.0][0]
thd = np.sqrt(mag[f == 150.0][0] ** 2 + mag[f == 250.0][0] ** 2) / fundamental
high = np.sqrt((mag[f >= 600.0] ** 2).sum(axis=0))


def events(mask, label):
    edges = np.flatnonzero(np.diff(np.r_[0, mask.astype(int), 0]))
    for start, stop in zip(edges[::2], edges[1::2]):
        print(f"{label:10s} {tt[start]:.3f} s to {tt[stop - 1]:.3f} s")


away = (tt > 0.02) & (tt < tt[-1] - 0.02)  # the transform is circular: skip the ends
events((fundamental < 0.9) & away, "sag")
events((fundamental > 1.1) & away, "swell")
events((thd > 0.05) & away, "harmonics")
events((high > 0.1) & away, "transient")
print(f"sag depth: {fundamental[(tt > 0.12) & (tt < 0.18)].mean():.3f} per unit (made 0.6)")
print(f"swell: {fundamental[(tt > 0.32) & (tt < 0.36)].mean():.3f} per unit (made 1.3)")
print(f"3rd harmonic: {mag[f == 150.0][0][(tt > 0.5) & (tt < 0.56)].mean():.3f} (made 0.12)")

fig, axes = plt.subplots(3, 1, figsize=(9, 5), sharex=True, layout="constrained")
axes[0].plot(tt, fundamental)
axes[0].set_ylabel("50 Hz |S|")
axes[1].plot(tt, 100 * thd)
axes[1].set_ylabel("THD (3rd, 5th) %")
axes[2].plot(tt, high)
axes[2].set_ylabel("|S| above 600 Hz")
axes[2].set_xlabel("time (s)")
