"""
Width, decimation and the ends of the record
============================================

One test signal, three questions: what ``width`` trades, what ``decim``
changes (nothing, at the times it keeps), and what the circular transform
does near the ends. See :doc:`/guide/choosing` and :doc:`/guide/edges`.
"""

# %%
# The test signal: a 20 Hz burst, two close tones at 60 and 66 Hz and a
# click, 4 s at 500 Hz.
import time

import matplotlib.pyplot as plt
import numpy as np

import orbelix_tools
from orbelix_tools import stransform

fs, n = 500.0, 2000
t = np.arange(n) / fs
x = np.cos(2 * np.pi * 20 * t) * np.exp(-(((t - 1.0) / 0.15) ** 2))
x += (np.cos(2 * np.pi * 60 * t) + np.cos(2 * np.pi * 66 * t)) * ((t > 2.0) & (t < 3.5))
x[1500] += 8.0

# %%
# Width
# -----
# A small width resolves the click in time and blurs the two tones into
# one band; a large width separates the tones (6 Hz apart) and smears the
# click. The window's standard deviation is ``width / f`` s in time and
# ``f / (2 pi width)`` Hz in frequency.
fig, axes = plt.subplots(1, 3, figsize=(11, 3.5), sharey=True, layout="constrained")
for ax, width in zip(axes, (0.5, 1.0, 6.0)):
    f, tt, S = stransform(x, fs, fmin=5.0, fmax=100.0, decim=4, width=width)
    orbelix_tools.plot(f, tt, S, ax=ax)
    ax.set_title(f"width={width}: at 63 Hz {width / 63 * 1e3:.0f} ms, "
                 f"{63 / (2 * np.pi * width):.1f} Hz")

# %%
# Decimation is exact
# -------------------
# ``decim=8`` keeps every 8th time. The values are those of the
# full-resolution transform at those times, computed directly (8 divides
# n): no filter, no aliasing of the values, and a fraction of the work.
f, t1, full = stransform(x, fs, fmin=5.0, fmax=100.0)
f, t8, dec = stransform(x, fs, fmin=5.0, fmax=100.0, decim=8)
print(f"largest difference from the full transform's every 8th time: "
      f"{np.abs(dec - full[:, ::8]).max() / np.abs(full).max():.1e} of the peak")
rounds = {1: [], 8: []}
for _ in range(5):
    for d in rounds:
        start = time.perf_counter()
        stransform(x, fs, fmin=5.0, fmax=100.0, decim=d)
        rounds[d].append(time.perf_counter() - start)
print(f"decim=8 took {np.median(rounds[8]) / np.median(rounds[1]):.2f} of the time of decim=1 "
      "(medians of 5 runs, this build machine)")

# %%
# The ends of the record
# ----------------------
# The transform treats the record as periodic. The click at 3 s is far
# from the ends, but a signal whose ends do not meet shows a step at the
# wrap. Here the record of a 7.3 Hz cosine stops mid-cycle: ``|S|`` dips
# and spreads over every frequency at both ends, within about
# ``3 width / f`` s of them (dashed). Reflecting the record before the
# transform and cropping after removes the step but leaves a kink where
# the slope reverses: at the start, where the cosine is at a crest, the
# reflection is smooth and the edge disappears; at the end, mid-cycle, it
# only weakens. Keeping the times you interpret away from the ends is the
# sure remedy.
y = np.cos(2 * np.pi * 7.3 * t)
f, tt, S = stransform(y, fs, fmin=2.0, fmax=40.0, decim=2, output="magnitude")
p = 400                                          # 0.8 s, a multiple of decim
f_pad, tp, Sp = stransform(np.pad(y, p, mode="reflect"), fs, fmin=2.0, fmax=40.0, decim=2,
                           output="magnitude")
keep = slice(p // 2, p // 2 + tt.size)
fig, axes = plt.subplots(1, 2, figsize=(10, 3.5), sharey=True, layout="constrained")
orbelix_tools.plot(f, tt, S, ax=axes[0], db=True, magnitude=True)
axes[0].set_title("as recorded (circular)")
orbelix_tools.plot(f_pad, tp[keep] - p / fs, Sp[:, keep], ax=axes[1], db=True, magnitude=True)
axes[1].set_title("reflected by 0.8 s, then cropped")
for ax in axes:
    ax.images[0].set_clim(-50, 0)
    ax.plot(3 / f, f, "w--", lw=1)
    ax.plot(t[-1] - 3 / f, f, "w--", lw=1)
k = np.argmin(np.abs(f - 30.0))
kp = np.argmin(np.abs(f_pad - 30.0))
cropped = Sp[kp, keep]
print(f"|S| at 30 Hz, first and last time: {S[k, 0]:.3f}, {S[k, -1]:.3f} as recorded; "
      f"{cropped[0]:.1e}, {cropped[-1]:.1e} reflected (the cosine has 1 at 7.3 Hz)")
