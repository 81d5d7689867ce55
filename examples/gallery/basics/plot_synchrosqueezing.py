"""
Sharper maps: the synchrosqueezed S-transform and its ridges
============================================================

Two chirps crossing and a sinusoidal frequency modulation, 4 s at 1 kHz.
The S-transform spreads each component over a band that widens with
frequency; moving every coefficient to its instantaneous frequency
(:func:`orbelix_tools.sstransform`) leaves thin lines. The ridges
(:func:`orbelix_tools.ridges`) follow them, and :func:`orbelix_tools.component`
gives back each component alone. See :doc:`/synchrosqueezing`.
"""

# %%
# The signal and both maps, every 4th sample. Gaussians of width 2 (finer in
# frequency than the classical width 1) keep the FM apart from the chirps.
import matplotlib.pyplot as plt
import numpy as np

import orbelix_tools
from orbelix_tools import component, isstransform, ridges, sstransform, stransform

fs, n = 1000.0, 4000
t = np.arange(n) / fs
up = 60 + 50 * t                                     # 60 -> 260 Hz
down = 280 - 50 * t                                  # 280 -> 80 Hz
wobble = 380 + 40 * np.sin(2 * np.pi * 0.5 * t)      # 340 .. 420 Hz
parts = [np.cos(2 * np.pi * np.cumsum(f) / fs) for f in (up, down, wobble)]
x = parts[0] + 0.8 * parts[1] + 0.6 * parts[2]

band = dict(fmin=20.0, fmax=480.0, decim=4, window=("gauss", 2.0))
f, tt, S = stransform(x, fs, **band)
f, tt, T = sstransform(x, fs, **band)

# %%
# Squeezed against plain, with the three strongest ridges drawn just above
# their lines. Where
# the chirps cross, their instantaneous frequencies meet and a ridge may
# follow either branch; elsewhere each ridge stays on its component.
found = ridges(f, tt, np.abs(T), n_ridges=3)
fig, axes = plt.subplots(1, 2, figsize=(11, 4), sharey=True, layout="constrained")
orbelix_tools.plot(f, tt, S, ax=axes[0])
axes[0].set_title("|S|: S-transform")
orbelix_tools.plot(f, tt, T, ax=axes[1], db=True)
axes[1].set_title("|T|: synchrosqueezed (dB), ridges dashed")
for i in range(3):
    axes[1].plot(tt, found.frequency[i] + 8.0, lw=0.7, ls="--", color="red")
plt.show()

# %%
# The map sums back to the signal at every time (away from the ends of the
# record, which the circular transform joins), and the FM alone comes back
# from the voices around its ridge.
y = isstransform(f, T, n, fs=fs)
inner = slice(len(tt) // 8, -len(tt) // 8)
print(f"largest error of the whole signal: {np.abs(y - x[::4])[inner].max():.1e}")
top = int(np.argmax(np.median(found.frequency, axis=1)))  # the ridge at 340-420 Hz
fm = component(f, tt, T, found.index[top], 10)
print(f"largest error of the FM: {np.abs(fm - 0.6 * parts[2][::4])[inner].max():.3f} (of 0.6)")
