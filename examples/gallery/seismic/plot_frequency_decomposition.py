"""
Spectral decomposition of a thin-bed wedge
==========================================

Spectral decomposition splits a seismic section into iso-frequency
sections: the amplitude of each frequency at every time of every trace. A
thin layer tunes: the reflections from its top and base interfere, and a
layer of two-way thickness ``tau`` between opposite reflection
coefficients has the amplitude spectrum ``2 |sin(pi f tau)|`` times the
wavelet's, brightest at ``f = 1 / (2 tau)``. Iso-frequency sections map
thickness where the layer is too thin to show two reflections.

Here a synthetic wedge (thickness 0 to 40 ms over 61 traces, 2 ms
sampling) is convolved with a 30 Hz Ricker wavelet and transformed, every
trace at once, with :func:`orbelix_tools.stransform`; the result is
labelled with :func:`orbelix_tools.to_xarray` so that iso-frequency
sections are selected in Hz.
"""

# %%
# The wedge model
# ---------------
import matplotlib.pyplot as plt
import numpy as np

from orbelix_tools import stransform, to_xarray

fs = 500.0                      # 2 ms sampling
n = 500                         # 1 s traces
thickness = np.linspace(0.0, 0.040, 61)   # two-way time thickness, s
top = 0.4                       # s


def ricker(f0, dt, half=0.1):
    tt = np.arange(-half, half + dt / 2, dt)
    a = (np.pi * f0 * tt) ** 2
    return (1 - 2 * a) * np.exp(-a)


reflectivity = np.zeros((thickness.size, n))
reflectivity[:, round(top * fs)] = 1.0
for i, tau in enumerate(thickness):
    # The base, placed between samples by linear interpolation.
    pos = (top + tau) * fs
    j = int(np.floor(pos))
    reflectivity[i, j] -= 1.0 - (pos - j)
    reflectivity[i, j + 1] -= pos - j
reflectivity += 0.02 * np.random.default_rng(5).standard_normal(reflectivity.shape)
wavelet = ricker(30.0, 1 / fs)
section = np.array([np.convolve(r, wavelet, mode="same") for r in reflectivity])

# %%
# Every trace in one call
# -----------------------
# 5 to 100 Hz every 1 Hz, at every sample. ``width=1`` is the classical
# window; the magnitude is in the units of the trace (a cosine of
# amplitude 1 has magnitude 1).
f, t, S = stransform(section, fs, fmin=5.0, fmax=100.0, df=1.0, output="magnitude")
cube = to_xarray(f, t, S, dims="trace", coords={"trace": thickness * 1e3}, name="|S|")
cube.trace.attrs["units"] = "ms (wedge thickness)"
print(cube)

# %%
# Iso-frequency sections
# ----------------------
window = cube.sel(time=slice(0.3, 0.55))
fig, axes = plt.subplots(1, 4, figsize=(11, 4), sharey=True, layout="constrained")
axes[0].imshow(section[:, 150:275].T, aspect="auto", cmap="gray",
               extent=[0, 40, 0.55, 0.3])
axes[0].set_title("wedge section")
axes[0].set_ylabel("two-way time (s)")
for ax, freq in zip(axes[1:], (15.0, 30.0, 60.0)):
    iso = window.sel(frequency=freq)
    ax.imshow(iso.values.T, aspect="auto", cmap="magma",
              extent=[0, 40, float(iso.time[-1]), float(iso.time[0])])
    ax.set_title(f"{freq:.0f} Hz")
for ax in axes:
    ax.set_xlabel("thickness (ms)")

# %%
# Tuning curves
# -------------
# The amplitude of one frequency at the top of the layer, against
# thickness, grows as ``2 sin(pi f tau)`` and is largest near the tuning
# thickness ``tau = 1 / (2 f)``: each iso-frequency section is brightest
# where the layer is tuned to its frequency, which is how a set of them
# maps thickness below the resolution of the section.
top_amplitude = cube.sel(time=slice(top - 0.03, top + 0.07)).max("time")
fig, ax = plt.subplots(figsize=(6, 3.5), layout="constrained")
for freq in (20.0, 30.0, 40.0, 50.0):
    curve = top_amplitude.sel(frequency=freq)
    line, = ax.plot(thickness * 1e3, curve, label=f"{freq:.0f} Hz")
    ax.axvline(1e3 / (2 * freq), color=line.get_color(), ls=":", lw=1)
    print(f"{freq:.0f} Hz: brightest at {float(curve.idxmax('trace')):4.1f} ms, "
          f"1/(2f) = {1e3 / (2 * freq):4.1f} ms")
ax.set_xlabel("thickness (ms)")
ax.set_ylabel("|S| at the top of the layer")
ax.legend()
