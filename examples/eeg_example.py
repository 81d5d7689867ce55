"""Time-frequency analysis of a 16-channel EEG-like recording with orbelix_tools.

The data are made here, no download: 16 scalp channels at 256 Hz with a
1/f background shared in part between neighbouring channels, 10 Hz alpha
bursts strongest over the back of the head, and a frequency-swept
stimulation (a chirp, 4 to 40 Hz) driving the occipital channels; then 60
epochs of 2 s around a stimulus with an evoked response (N100 and P300,
phase-locked) and alpha that drops after the stimulus (not phase-locked).

It computes, for every channel at once:
  * the power of the 20 s recording, 1-45 Hz every 0.25 Hz, every 4th sample;
  * the alpha band (8-12 Hz) of one channel at full time resolution, and its
    signal back through istransform (time-frequency filtering);
  * power and inter-trial coherence (ITC) of the epochs with tfr_power,
and draws them with orbelix_tools.plot into one PNG.

    python examples/eeg_example.py [--out eeg_example.png]
"""
import argparse
import time

import numpy as np
from matplotlib.figure import Figure

from orbelix_tools import istransform, plot, stransform, tfr_power

FS = 256.0
CHANNELS = ("Fp1", "Fp2", "F3", "Fz", "F4", "T7", "C3", "Cz",
            "C4", "T8", "P3", "Pz", "P4", "O1", "Oz", "O2")
# Rough scalp positions (x: left to right, y: back to front), for the
# spatial spread of the sources.
POSITIONS = {"Fp1": (-0.3, 0.9), "Fp2": (0.3, 0.9), "F3": (-0.4, 0.5), "Fz": (0.0, 0.5),
             "F4": (0.4, 0.5), "T7": (-0.9, 0.0), "C3": (-0.45, 0.0), "Cz": (0.0, 0.0),
             "C4": (0.45, 0.0), "T8": (0.9, 0.0), "P3": (-0.4, -0.5), "Pz": (0.0, -0.5),
             "P4": (0.4, -0.5), "O1": (-0.3, -0.9), "Oz": (0.0, -0.95), "O2": (0.3, -0.9)}
ALPHA_HZ = 10.0
RECORDING_S = 20.0
CHIRP = (4.0, 40.0, 2.0, 18.0)  # from Hz, to Hz, start s, end s
N_EPOCHS = 60
EPOCH = (-0.5, 1.5)            # seconds around the stimulus
OCCIPITAL = ("O1", "Oz", "O2")


def weights(centre, spread):
    """Weight of a source at `centre` on each channel, falling off with distance."""
    xy = np.array([POSITIONS[c] for c in CHANNELS])
    d2 = ((xy - np.asarray(centre)) ** 2).sum(axis=1)
    return np.exp(-d2 / (2 * spread**2))


def pink_noise(rng, shape):
    """Noise with power falling as 1/f above 1 Hz, unit standard deviation."""
    n = shape[-1]
    spectrum = rng.standard_normal(shape[:-1] + (n // 2 + 1,)) \
        + 1j * rng.standard_normal(shape[:-1] + (n // 2 + 1,))
    freqs = np.fft.rfftfreq(n, 1 / FS)
    spectrum /= np.sqrt(np.maximum(freqs, 1.0))
    spectrum[..., 0] = 0
    x = np.fft.irfft(spectrum, n)
    return x / x.std(axis=-1, keepdims=True)


def background(rng, shape):
    """1/f activity, 60 % shared with the neighbouring channels, in microvolts."""
    local = pink_noise(rng, shape)
    shared = pink_noise(rng, shape[:-2] + (4,) + shape[-1:])
    centres = ((-0.5, 0.5), (0.5, 0.5), (-0.5, -0.5), (0.5, -0.5))
    mix = np.array([weights(c, 0.6) for c in centres])          # (4, channels)
    mixed = np.einsum("...sn,sc->...cn", shared, mix)
    mixed /= mixed.std(axis=-1, keepdims=True)
    return 8.0 * (0.4 * local + 0.6 * mixed)


def alpha_bursts(rng, n, amplitude):
    """A 10 Hz rhythm whose amplitude waxes and wanes over about a second."""
    t = np.arange(n) / FS
    smooth = np.convolve(rng.standard_normal(n + 512), np.hanning(512), mode="valid")[:n]
    envelope = np.clip(smooth / smooth.std(), 0.0, None)
    return amplitude * envelope * np.cos(2 * np.pi * ALPHA_HZ * t + rng.uniform(0, 2 * np.pi))


def chirp(n):
    """The swept stimulation response: 4 -> 40 Hz linearly between 2 s and 18 s."""
    f0, f1, t0, t1 = CHIRP
    t = np.arange(n) / FS
    inside = (t >= t0) & (t <= t1)
    tau = np.clip(t - t0, 0.0, t1 - t0)
    phase = 2 * np.pi * (f0 * tau + 0.5 * (f1 - f0) / (t1 - t0) * tau**2)
    taper = np.clip(np.minimum(t - t0, t1 - t) / 0.25, 0.0, 1.0)
    return np.where(inside, taper * np.sin(phase), 0.0)


def make_recording(rng):
    """Channels x samples, microvolts, float32; also the O1 alpha source alone."""
    n = int(RECORDING_S * FS)
    x = background(rng, (len(CHANNELS), n))
    alpha = alpha_bursts(rng, n, amplitude=15.0)
    x += weights((0.0, -0.9), 0.45)[:, None] * alpha
    x += 6.0 * weights((0.0, -0.95), 0.3)[:, None] * chirp(n)
    o1 = CHANNELS.index("O1")
    return x.astype(np.float32), weights((0.0, -0.9), 0.45)[o1] * alpha


def evoked(t):
    """N100, P200 and P300 at the vertex (microvolts)."""
    def wave(amplitude, latency, spread):
        return amplitude * np.exp(-0.5 * ((t - latency) / spread) ** 2)
    return wave(-8.0, 0.10, 0.02) + wave(7.0, 0.19, 0.03) + wave(9.0, 0.35, 0.08)


def make_epochs(rng):
    """Epochs x channels x samples around a stimulus at t = 0, float32."""
    t = np.arange(int(EPOCH[0] * FS), int(EPOCH[1] * FS)) / FS
    x = background(rng, (N_EPOCHS, len(CHANNELS), t.size))
    vertex = weights((0.0, -0.1), 0.5)
    jitter = rng.normal(0.0, 0.008, N_EPOCHS)          # latency varies a little
    for e in range(N_EPOCHS):
        x[e] += vertex[:, None] * evoked(t - jitter[e])
        drop = 1.0 - 0.7 * np.exp(-0.5 * ((t - 0.6) / 0.2) ** 2)   # alpha suppressed after the stimulus
        x[e] += weights((0.0, -0.9), 0.45)[:, None] * drop * alpha_bursts(rng, t.size, 12.0)
    return t, x.astype(np.float32)


def timed(f, *args, **kwargs):
    t0 = time.perf_counter()
    result = f(*args, **kwargs)
    return result, time.perf_counter() - t0


def analyse(rng):
    """Every computation of the example; returns the arrays to draw and the facts found."""
    recording, alpha_o1 = make_recording(rng)
    (f, t, power), sec_power = timed(stransform, recording, FS, fmin=1.0, fmax=45.0, df=0.25,
                                     decim=4, output="power")
    print(f"recording {recording.shape} -> power {power.shape} {power.dtype} in {sec_power * 1e3:.0f} ms")

    occipital = [CHANNELS.index(c) for c in OCCIPITAL]
    spectrum = power[occipital].mean(axis=(0, 2))               # time-averaged, per frequency
    in_alpha = (f >= 6.0) & (f <= 14.0)
    alpha_peak = float(f[in_alpha][np.argmax(spectrum[in_alpha])])

    # Chirp ridge on Oz between 20 and 45 Hz, where alpha does not reach.
    oz = CHANNELS.index("Oz")
    high = f >= 20.0
    track = []
    for when in (12.0, 14.0, 16.0):
        j = int(round(when * FS / 4))
        expected = CHIRP[0] + (CHIRP[1] - CHIRP[0]) * (when - CHIRP[2]) / (CHIRP[3] - CHIRP[2])
        track.append((when, expected, float(f[high][np.argmax(power[oz, high, j])])))

    # Alpha band of O1 at full resolution, then back to a signal.
    o1 = CHANNELS.index("O1")
    n = recording.shape[-1]
    f_band, _, band = stransform(recording[o1], FS, fmin=8.0, fmax=12.0)
    alpha_back = istransform(f_band, band, n, fs=FS)
    alpha_corr = float(np.corrcoef(alpha_back, alpha_o1)[0, 1])
    print(f"alpha band of O1: {band.shape} voices x samples; back through istransform, "
          f"correlation with the alpha source {alpha_corr:.3f}")

    t_epoch, epochs = make_epochs(rng)
    (f_ep, t_ep, ep_power, itc), sec_tfr = timed(tfr_power, epochs, FS, fmin=2.0, fmax=40.0,
                                                 decim=2, epochs_axis=0, axis=-1)
    t_ep = t_ep + t_epoch[0]                                     # seconds from the stimulus
    print(f"epochs {epochs.shape} -> power and ITC {ep_power.shape} in {sec_tfr * 1e3:.0f} ms")
    cz = CHANNELS.index("Cz")
    peak = np.unravel_index(np.argmax(itc[cz]), itc[cz].shape)
    before = (t_ep > -0.4) & (t_ep < -0.1)
    baseline = float(itc[cz][:, before].mean())
    # At 2-3 Hz a voice's window lasts about 1/f either side: the response
    # after the stimulus reaches back into the baseline.
    low = (f_ep >= 2.0) & (f_ep <= 3.0)
    baseline_low = float(itc[cz][low][:, before].mean())

    facts = {"alpha_peak_hz": alpha_peak, "chirp_track": track, "alpha_correlation": alpha_corr,
             "itc_peak": (float(f_ep[peak[0]]), float(t_ep[peak[1]]), float(itc[cz][peak])),
             "itc_baseline": baseline, "itc_baseline_2_3hz": baseline_low}
    drawn = {"recording": recording, "f": f, "t": t, "power": power, "spectrum": spectrum,
             "alpha_back": alpha_back, "f_ep": f_ep, "t_ep": t_ep, "ep_power": ep_power, "itc": itc}
    return facts, drawn


def draw(d, facts, out):
    fig = Figure(figsize=(13, 9.5), layout="constrained")
    axes = fig.subplots(3, 2)
    o1, oz, cz = (CHANNELS.index(c) for c in ("O1", "Oz", "Cz"))
    seconds = np.arange(d["recording"].shape[-1]) / FS

    ax = axes[0, 0]
    shown = slice(0, int(5 * FS))
    for row, name in enumerate(("Fz", "Cz", "Pz", "O1", "O2")):
        ax.plot(seconds[shown], d["recording"][CHANNELS.index(name), shown] - 60 * row, lw=0.6)
        ax.text(-0.1, -60 * row, name, ha="right", va="center")
    ax.set(title="Recording: 5 of 20 s, 5 of 16 channels", xlabel="time (s)", yticks=[])

    plot(d["f"], d["t"], d["power"][oz], ax=axes[0, 1], db=True)
    axes[0, 1].set_title("Oz power: alpha bursts at 10 Hz, the 4-40 Hz sweep")

    ax = axes[1, 0]
    ax.semilogy(d["f"], d["spectrum"])
    ax.axvline(facts["alpha_peak_hz"], color="C3", ls="--", lw=0.8)
    ax.set(title=f"O1/Oz/O2 time-averaged power: peak at {facts['alpha_peak_hz']:.2f} Hz",
           xlabel="frequency (Hz)", ylabel="power (µV²)")

    ax = axes[1, 1]
    shown = slice(int(4 * FS), int(9 * FS))
    ax.plot(seconds[shown], d["recording"][o1, shown], lw=0.6, color="0.6", label="O1")
    ax.plot(seconds[shown], d["alpha_back"][shown], lw=0.9, color="C3", label="8-12 Hz, istransform")
    ax.set(title="Time-frequency filtering: O1's alpha band", xlabel="time (s)", ylabel="µV")
    ax.legend(loc="upper right")

    plot(d["f_ep"], d["t_ep"], d["ep_power"][cz], ax=axes[2, 0], db=True)
    axes[2, 0].set_title(f"Cz power, mean of {N_EPOCHS} epochs (stimulus at 0 s)")
    plot(d["f_ep"], d["t_ep"], d["itc"][cz], ax=axes[2, 1], label="ITC")
    axes[2, 1].set_title("Cz inter-trial coherence: the phase-locked evoked response")
    fig.savefig(out, dpi=90)


def main(out="eeg_example.png", seed=7):
    """Run the example, write the figure to `out` and return the facts found."""
    facts, drawn = analyse(np.random.default_rng(seed))
    draw(drawn, facts, out)
    f_itc, t_itc, v_itc = facts["itc_peak"]
    print(f"alpha peak {facts['alpha_peak_hz']:.2f} Hz (made at {ALPHA_HZ} Hz)")
    for when, expected, found in facts["chirp_track"]:
        print(f"sweep at {when:4.1f} s: {found:5.2f} Hz (made at {expected:5.2f} Hz)")
    print(f"Cz ITC: peak {v_itc:.2f} at {f_itc:.1f} Hz, {t_itc * 1e3:.0f} ms; "
          f"before the stimulus {facts['itc_baseline']:.2f} (2-40 Hz), "
          f"{facts['itc_baseline_2_3hz']:.2f} at 2-3 Hz")
    print(f"figure written to {out}")
    return facts


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--out", default="eeg_example.png", help="PNG file to write")
    main(parser.parse_args().out)
