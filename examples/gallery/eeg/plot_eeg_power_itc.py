"""
EEG power and inter-trial coherence with MNE-Python
===================================================

Sixty epochs of simulated EEG around a stimulus, held in an
:class:`mne.EpochsArray`, go through :func:`orbelix_tools.mne.tfr_stockwell`
and come back as MNE's own ``AverageTFRArray`` objects: power (with MNE's
baseline correction) and inter-trial coherence (ITC). The data carry two
effects that the two measures separate:

- an evoked response at the vertex (Cz): a 6 Hz burst with the same phase
  in every epoch, 100 to 300 ms after the stimulus. It raises both power
  and ITC;
- occipital alpha (10 Hz at O1, Oz, O2) with a random phase in every epoch,
  which drops by half after the stimulus. It changes power only.
"""

# %%
# Simulated epochs
# ----------------
# Pink (1/f) background noise, shared in part between channels, plus the
# two effects. Each epoch lasts 2 s at 256 Hz, from 0.5 s before the
# stimulus.
import matplotlib.pyplot as plt
import mne
import numpy as np

import orbelix_tools
from orbelix_tools.mne import tfr_stockwell

mne.set_log_level("ERROR")
rng = np.random.default_rng(42)
sfreq, n_epochs, n_times = 256.0, 60, 512
names = ["Fz", "Cz", "Pz", "O1", "Oz", "O2"]
t = np.arange(n_times) / sfreq - 0.5


def pink(shape):
    """1/f noise: white noise shaped in frequency."""
    spectrum = np.fft.rfft(rng.standard_normal(shape))
    f = np.fft.rfftfreq(shape[-1], 1 / sfreq)
    spectrum[..., 1:] /= np.sqrt(f[1:])
    spectrum[..., 0] = 0
    return np.fft.irfft(spectrum, shape[-1])


shared = pink((n_epochs, 1, n_times))
data = 3.0 * (0.5 * shared + pink((n_epochs, len(names), n_times)))

# The evoked 6 Hz burst at Cz (phase-locked: the same in every epoch).
burst = np.sin(2 * np.pi * 6 * t) * np.exp(-(((t - 0.2) / 0.08) ** 2))
data[:, names.index("Cz")] += 2.0 * burst

# Occipital alpha with a random phase per epoch, halved after 0.2 s.
phase = rng.uniform(0, 2 * np.pi, (n_epochs, 1))
envelope = 1.0 - 0.5 / (1 + np.exp(-(t - 0.2) / 0.05))
alpha = np.cos(2 * np.pi * 10 * t + phase) * envelope
for name in ("O1", "Oz", "O2"):
    data[:, names.index(name)] += 1.5 * alpha

info = mne.create_info(names, sfreq, "eeg")
epochs = mne.EpochsArray(data * 1e-6, info, tmin=-0.5)  # MNE holds volts
epochs.set_montage("standard_1020")
print(epochs)

# %%
# Power and ITC in one call
# -------------------------
# 2 to 40 Hz every 0.5 Hz (every bin of a 2 s epoch), every 4th sample. The
# result is an ``AverageTFRArray`` with ``info``, ``times`` and ``freqs``
# set: MNE's own methods (baseline correction, plotting, ...) work on it.
power, itc = tfr_stockwell(epochs, fmin=2.0, fmax=40.0, decim=4, return_itc=True)
print(power)
print(itc)

# %%
# MNE's baseline correction: the change of power relative to the 400 ms
# before the stimulus, as log10 ratio. The coherence needs no baseline.
power.apply_baseline((-0.45, -0.05), mode="logratio")

fig, axes = plt.subplots(2, 2, figsize=(9, 6), sharex=True, sharey=True, layout="constrained")
for row, name in enumerate(["Cz", "Oz"]):
    ch = power.ch_names.index(name)
    ax = orbelix_tools.plot(power.freqs, power.times, power.data[ch], ax=axes[row, 0],
                            label="log10 power / baseline")
    ax.images[0].set_cmap("RdBu_r")
    ax.images[0].set_clim(-0.5, 0.5)
    ax.set_title(f"{name}: power change")
    ax = orbelix_tools.plot(itc.freqs, itc.times, itc.data[ch], ax=axes[row, 1], label="ITC")
    ax.images[0].set_clim(0, 1)
    ax.set_title(f"{name}: inter-trial coherence")
for ax in axes.flat:
    ax.axvline(0, color="k", lw=0.8)
    ax.set_xlim(-0.4, 1.4)

# %%
# What the maps show, in numbers: at Cz the ITC peaks at the evoked burst's
# frequency and time; at Oz alpha power drops after the stimulus while its
# coherence stays what 60 random phases give (on average
# ``sqrt(pi / (4 * 60)) = 0.11``), the same before and after.
cz, oz = power.ch_names.index("Cz"), power.ch_names.index("Oz")
k, j = np.unravel_index(np.argmax(itc.data[cz]), itc.data[cz].shape)
print(f"Cz: ITC peak {itc.data[cz, k, j]:.2f} at {itc.freqs[k]:.1f} Hz, {itc.times[j] * 1e3:.0f} ms")
alpha_band = (power.freqs >= 8) & (power.freqs <= 12)
late = (power.times > 0.5) & (power.times < 1.2)
print(f"Oz: alpha power after the stimulus {power.data[oz][alpha_band][:, late].mean():+.2f} "
      "(log10 of the baseline ratio)")
early = (power.times > -0.4) & (power.times < -0.1)
print(f"Oz: alpha ITC before the stimulus {itc.data[oz][alpha_band][:, early].mean():.2f}, "
      f"after {itc.data[oz][alpha_band][:, late].mean():.2f}")

# %%
# Switching from MNE
# ------------------
# ``mne.time_frequency.tfr_stockwell(epochs, fmin, fmax, width=w, ...)``
# becomes ``orbelix_tools.mne.tfr_stockwell(epochs, fmin=fmin, fmax=fmax,
# width=w * n_fft / sfreq, ...)``. The power is 4 times MNE's (the
# transform of the analytic signal: a cosine of amplitude 1 has power 1),
# the coherence is the same; see :doc:`/guide/normalisation`.
