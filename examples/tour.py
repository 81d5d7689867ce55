"""A tour of orbelix: first the analysis package orbelix_tools on 16 channels
of synthetic EEG (examples/eeg_example.py: power, a band-limited inverse,
power and inter-trial coherence over epochs, one figure) and on a texture
photograph bundled with scikit-image (examples/texture_maps.py: its
dominant-frequency and orientation maps from the 2-D DOST, one figure),
then all six functions of the exact module on a test signal and a test
image.

The signal is a linear chirp (50 to 350 Hz over 2 s at 1 kHz) with two
short tone bursts and a little noise; the image is two oriented stripe
textures blended smoothly across the columns, each with a whole number of
cycles per image, so that the image is periodic (no seam for the 2-D
spectrum to see). The tour prints the shapes, the round-trip errors of
fst/ifst and dst2/idst2, the local frequency domains of two pixels, the
local measures at a few pixels, the orientation bias of cmsht2 over period
and direction, and the time of each call, and draws everything into one PNG
figure.

    python examples/tour.py [--out tour.png] [--eeg-out eeg_example.png]
                            [--texture-out texture_maps.png]
"""
import argparse
import sys
import time
from pathlib import Path

import numpy as np

import orbelix

RATE = 1000.0         # samples per second
N_SIGNAL = 2048       # fst/ifst take any length through C, an even one through Python
N_IMAGE = 256         # dst2/idst2 need a power-of-two side
KERNEL = 7            # cmsht2's default half-width: keep pixels this far from the edge
# Wave vectors in cycles per image (down the rows, along the columns): whole
# numbers keep the image periodic. A: period 15.9 pixels, direction 29.7
# degrees; B: period 18.4 pixels, direction 120.3 degrees (from the row axis
# towards the columns).
TEXTURES = {"A": (14, 8), "B": (-7, 12)}
PIXELS = {"A": (100, 20), "B": (160, 128)}   # one pixel well inside each texture
BIAS_PERIODS = (6, 8, 12, 16, 24, 32, 48)   # pixels
BIAS_DIRECTIONS = (0, 15, 30, 45, 60, 75, 90)  # degrees


def make_signal(rng):
    """Chirp 50 -> 350 Hz, bursts at 420 Hz (0.3 s) and 120 Hz (1.5 s), noise."""
    t = np.arange(N_SIGNAL) / RATE
    x = np.cos(2 * np.pi * (50.0 * t + 0.5 * 150.0 * t**2))
    for f, t0 in ((420.0, 0.3), (120.0, 1.5)):
        x += 0.8 * np.exp(-0.5 * ((t - t0) / 0.03) ** 2) * np.cos(2 * np.pi * f * t)
    x += 0.1 * rng.standard_normal(N_SIGNAL)
    return t, x.astype(np.complex64)


def direction_and_period(wave):
    """Wave direction in degrees from the row axis towards the columns, and period in pixels."""
    fr, fc = wave
    return np.degrees(np.arctan2(fc, fr)) % 180, N_IMAGE / np.hypot(fr, fc)


def weight_a(cols):
    """Share of texture A: 1 near column 0 (and N_IMAGE), 0 near the middle; periodic and smooth."""
    return 0.5 + 0.5 * np.tanh(4 * np.cos(2 * np.pi * cols / N_IMAGE))


def make_image():
    """Texture A at the left and right edges, B in the middle, blended smoothly."""
    rows, cols = np.mgrid[0:N_IMAGE, 0:N_IMAGE].astype(np.float64)
    a, b = (np.cos(2 * np.pi * (fr * rows + fc * cols) / N_IMAGE) for fr, fc in TEXTURES.values())
    w = weight_a(cols)
    return (w * a + (1 - w) * b).astype(np.float32)


def centred_for_imfreq(s):
    """dst2 coefficients with the zero frequency where imfreq reads it, (l/2 - 1, l/2 - 1)."""
    l = s.shape[0]
    return np.roll(s, (l // 2 - 1, l // 2 - 1), axis=(0, 1))


def band_centres(l):
    """Centre frequency, in cycles per image, of the octave that imfreq's bands
    0 ... M hold when called at a pixel's halved coordinates (x // 2, y // 2):
    band b >= 2 holds octave b - 1, the frequencies 2^(b-2) ... 2^(b-1) - 1,
    whose mean labels it; bands 0 and 1 hold the zero frequency. Which
    coefficient of the octave a band reads depends on the pixel (it is the
    coefficient placed there in the dst2 layout), not on the frequency."""
    m = l.bit_length() - 2
    return [0.0, 0.0] + [(2 ** (b - 2) + 2 ** (b - 1) - 1) / 2 for b in range(2, m + 1)]


def tick_label(f):
    return f"{f:g}"


def timed(f, *args, **kwargs):
    t0 = time.perf_counter()
    result = f(*args, **kwargs)
    return result, time.perf_counter() - t0


def relative_error(a, b):
    return float(np.linalg.norm(a - b) / np.linalg.norm(b))


def report(name, given, result, seconds):
    print(f"{name:<7}{str(given.shape):>12} {given.dtype} -> {str(result.shape):>12} {result.dtype}"
          f"  {seconds * 1e3:9.3f} ms")


def run_signal(h):
    s, t_fst = timed(orbelix.fst, h)          # (n/2 + 1, n): voices by time samples
    back, t_ifst = timed(orbelix.ifst, s)     # n defaults to 2 * (rows - 1)
    report("fst", h, s, t_fst)
    report("ifst", s, back, t_ifst)
    print(f"       fst/ifst round trip:   max |error| {np.abs(back - h).max():.2e}, "
          f"relative L2 {relative_error(back, h):.2e}")
    return s


def run_image(image):
    h = image.astype(np.complex64)
    s, t_dst2 = timed(orbelix.dst2, h)
    back, t_idst2 = timed(orbelix.idst2, s)
    report("dst2", h, s, t_dst2)
    report("idst2", s, back, t_idst2)
    print(f"       dst2/idst2 round trip: max |error| {np.abs(back - h).max():.2e}, "
          f"relative L2 {relative_error(back, h):.2e}")
    return s


def run_local(s):
    """imfreq at the two texture pixels: called at (x // 2, y // 2), its bands read
    the coefficients whose place is pixel (x, y), band b holding the octave
    2^(b-2) ... 2^(b-1) - 1 (band 1 repeats the zero frequency)."""
    centred = centred_for_imfreq(s)
    locals_ = {}
    for name, (x, y) in PIXELS.items():
        local, t_imfreq = timed(orbelix.imfreq, centred, x // 2, y // 2)
        report("imfreq", centred, local, t_imfreq)
        m = local.shape[0] // 2
        i, j = np.unravel_index(np.argmax(np.abs(local)), local.shape)
        centres = band_centres(N_IMAGE)
        fr = centres[abs(i - m)] * int(np.sign(i - m))
        fc = centres[abs(j - m)] * int(np.sign(j - m))
        print(f"       pixel {(x, y)} (texture {name}, wave {TEXTURES[name]} cycles per image): "
              f"strongest at bands ({i - m}, {j - m}), the octaves around "
              f"({tick_label(fr)}, {tick_label(fc)}) cycles per image")
        locals_[name] = local
    return locals_


def measure_orientation_bias():
    """cmsht2 orientation (modulo 180 degrees) of plane waves against their true
    direction: median over 16 phases at the centre of a 64 x 64 image. Returns
    measured[period][direction]."""
    rows, cols = np.mgrid[0:64, 0:64].astype(np.float64)
    phases = (np.arange(16) + 0.5) * 2 * np.pi / 16
    measured = {}
    for period in BIAS_PERIODS:
        for direction in BIAS_DIRECTIONS:
            a = np.radians(direction)
            errors = []
            for phase in phases:
                wave = np.cos(2 * np.pi * (np.cos(a) * rows + np.sin(a) * cols) / period + phase)
                orient = np.degrees(orbelix.cmsht2(wave.astype(np.float32), 32, 32)[1])
                errors.append((orient - direction + 90) % 180 - 90)
            measured.setdefault(period, {})[direction] = direction + float(np.median(errors))
    return measured


def run_cmsht2(image, grid):
    print("cmsht2 (defaults coarse=0.2, fine=0.1, kernel_size=7); angles in degrees:")
    print(f"  {'pixel':>10} {'ratio':>7} {'orient.':>8} {'phase':>6} {'energy':>7}"
          f" {'orient. mod 180':>16} {'direction':>9} {'period':>6}")
    for name, (x, y) in PIXELS.items():
        r = orbelix.cmsht2(image, x, y)
        ratio, orient, phase, energy = float(r[0]), np.degrees(r[1]), np.degrees(r[2]), float(r[3])
        direction, period = direction_and_period(TEXTURES[name])
        print(f"  {str((x, y)):>10} {ratio:7.3f} {orient:8.1f} {phase:6.1f} {energy:7.2f}"
              f" {orient % 180:16.1f} {direction:9.1f} {period:6.1f}")

    angles, t_grid = timed(lambda: np.array([[orbelix.cmsht2(image, x, y)[1] for y in grid]
                                              for x in grid]))
    print(f"cmsht2 on a {len(grid)} x {len(grid)} grid of pixels: {t_grid * 1e3:.1f} ms")

    bias = measure_orientation_bias()
    print("cmsht2 orientation bias: measured orientation mod 180 (degrees) of a plane wave,")
    print("median over 16 phases, by period (pixels) and true direction (degrees):")
    print("  period " + "".join(f"{d:>7}" for d in BIAS_DIRECTIONS))
    for period in BIAS_PERIODS:
        print(f"  {period:>6} " + "".join(f"{bias[period][d]:7.1f}" for d in BIAS_DIRECTIONS))
    return angles, bias


def draw(path, t, h, s_fst, image, s_dst2, locals_, grid, angles, bias):
    import matplotlib
    matplotlib.use("Agg")  # files only, no display needed
    import matplotlib.pyplot as plt

    fig = plt.figure(figsize=(12, 22))
    grid_spec = fig.add_gridspec(5, 2, height_ratios=(1, 1.3, 1.6, 1.5, 1.5), left=0.07, right=0.95,
                                 bottom=0.03, top=0.98, hspace=0.38, wspace=0.3)

    ax = fig.add_subplot(grid_spec[0, :])
    ax.plot(t, h.real, lw=0.5)
    ax.set(title="Test signal: linear chirp 50-350 Hz, tone bursts at 0.3 s (420 Hz) and 1.5 s (120 Hz), noise",
           xlabel="time (s)", ylabel="amplitude", xlim=(t[0], t[-1]))

    ax = fig.add_subplot(grid_spec[1, :])
    freqs = np.arange(s_fst.shape[0]) * RATE / len(h)
    im = ax.imshow(np.abs(s_fst), origin="lower", aspect="auto", cmap="magma",
                   extent=(t[0], t[-1], freqs[0], freqs[-1]))
    ax.set(title="|S| of fst: voices over time", xlabel="time (s)", ylabel="frequency (Hz)")
    fig.colorbar(im, ax=ax, pad=0.01, label="|S| (signal units)")

    n = image.shape[0]
    ax = fig.add_subplot(grid_spec[2, 0])
    im = ax.imshow(image, cmap="gray")
    for name, (x, y) in PIXELS.items():
        ax.plot(y, x, "r+", ms=14, mew=2)
        ax.annotate(name, (y, x), xytext=(6, -6), textcoords="offset points", color="red", fontsize=12)
    ax.set(title="Test image: texture A (edges) blended into B (middle)\n"
                 "periodic: whole cycles per image; +: imfreq pixels", xlabel="column", ylabel="row")
    fig.colorbar(im, ax=ax, shrink=0.8, label="pixel value")

    # dst2 coefficients, zero frequency centred, axes in cycles per image. The
    # blocks between dashed lines are pairs of octave bands; inside a block
    # the coefficient's position is its place in the image (left to right and
    # top to bottom for a positive band, mirrored for a negative one).
    ax = fig.add_subplot(grid_spec[2, 1])
    shown = 32
    centre = np.fft.fftshift(s_dst2)[n // 2 - shown:n // 2 + shown, n // 2 - shown:n // 2 + shown]
    magnitude = np.abs(centre)
    im = ax.imshow(np.log10(np.maximum(magnitude, 1e-4 * magnitude.max())), cmap="viridis",
                   extent=(-shown - 0.5, shown - 0.5, shown - 0.5, -shown - 0.5))
    edges = [e for k in range(6) for e in (2 ** k - 0.5, -(2 ** k - 0.5))]
    for e in edges:
        ax.axhline(e, color="white", lw=0.5, ls="--")
        ax.axvline(e, color="white", lw=0.5, ls="--")
    for name, (fr, fc) in TEXTURES.items():
        for sign in (1, -1):
            ax.plot(sign * fc, sign * fr, "o", mfc="none", mec="red", ms=9)
        ax.annotate(name, (fc, fr), xytext=(7, 7), textcoords="offset points", color="red", fontsize=12)
    ax.set(title="log10 |dst2 coefficients|, zero frequency centred\n"
                 "dashed: octave bands; o: the textures' wave vectors",
           xlabel="column frequency (cycles per image)", ylabel="row frequency (cycles per image)")
    fig.colorbar(im, ax=ax, shrink=0.8, label="log10 |coefficient|")

    for column, (name, local) in enumerate(locals_.items()):
        x, y = PIXELS[name]
        m = local.shape[0] // 2
        ax = fig.add_subplot(grid_spec[3, column])
        im = ax.imshow(np.abs(local), cmap="viridis", extent=(-m - 0.5, m + 0.5, m + 0.5, -m - 0.5))
        ticks = np.arange(-m, m + 1)
        labels = [tick_label(np.sign(b) * band_centres(n)[abs(b)] + 0.0) for b in ticks]
        ax.set_xticks(ticks, labels, fontsize=7, rotation=90)
        ax.set_yticks(ticks, labels, fontsize=7)
        ax.set(title=f"|imfreq| of pixel {(x, y)} (texture {name}, wave {TEXTURES[name]})\n"
                     f"ticks: centre frequency of each band's octave (cycles per image)",
               xlabel="column band -7 ... 7", ylabel="row band -7 ... 7")
        fig.colorbar(im, ax=ax, shrink=0.8, label="|coefficient|")

    ax = fig.add_subplot(grid_spec[4, 0])
    ax.imshow(image, cmap="gray", alpha=0.4)
    rows, cols = np.meshgrid(grid, grid, indexing="ij")
    # Orientation is measured from the row axis towards the column axis; draw
    # undirected segments (angle and angle + pi agree). Red: measured; blue:
    # the true direction of the texture that dominates the pixel.
    segment = dict(angles="xy", pivot="middle", headwidth=0, headlength=0, headaxislength=0,
                   scale=1 / 12, scale_units="xy")
    ax.quiver(cols, rows, np.sin(angles), np.cos(angles), color="red", width=0.012, **segment)
    true = np.where(weight_a(cols) > 0.5, *(np.radians(direction_and_period(TEXTURES[k])[0]) for k in "AB"))
    ax.quiver(cols, rows, np.sin(true), np.cos(true), color="blue", width=0.004, **segment)
    ax.set(title="cmsht2 orientation (red) against the true wave\ndirection (blue): biased at short periods",
           xlabel="column", ylabel="row", xlim=(-0.5, n - 0.5), ylim=(n - 0.5, -0.5))

    ax = fig.add_subplot(grid_spec[4, 1])
    periods = np.array(BIAS_PERIODS)
    for direction in BIAS_DIRECTIONS:
        ax.plot(periods, [bias[p][direction] - direction for p in BIAS_PERIODS], "o-",
                label=f"{direction} degrees")
    for name in TEXTURES:
        direction, period = direction_and_period(TEXTURES[name])
        ax.axvline(period, color="gray", lw=0.8, ls=":")
        ax.annotate(f"texture {name}", (period, 0), xytext=(3, 40), textcoords="offset points",
                    color="gray", rotation=90)
    ax.axhline(0, color="black", lw=0.5)
    ax.set_xscale("log", base=2)
    ax.set_xticks(periods, [str(p) for p in periods])
    ax.set(title="cmsht2 orientation error of a plane wave\n(median over 16 phases; defaults)",
           xlabel="period (pixels)", ylabel="measured - true direction (degrees)")
    ax.legend(title="true direction", fontsize=8, ncol=2)

    fig.savefig(path, dpi=80)
    plt.close(fig)


def main(argv=None):
    parser = argparse.ArgumentParser(
        description="Run orbelix_tools on synthetic multi-channel EEG and on a texture "
                    "photograph, then all six orbelix functions on a test signal and a test "
                    "image; print shapes, round-trip errors, local measures and timings, and "
                    "write three PNG figures.")
    parser.add_argument("--out", default="tour.png", help="where to write the figure (default: %(default)s)")
    parser.add_argument("--eeg-out", default=None,
                        help="where to write the EEG figure (default: eeg_example.png beside --out)")
    parser.add_argument("--texture-out", default=None,
                        help="where to write the texture maps (default: texture_maps.png beside --out)")
    args = parser.parse_args(argv)

    print("orbelix_tools on 16 channels of synthetic EEG")
    sys.path.insert(0, str(Path(__file__).resolve().parent))
    import eeg_example

    eeg_example.main(args.eeg_out or str(Path(args.out).with_name("eeg_example.png")))
    print()

    print("orbelix_tools on a texture photograph (scikit-image's brick wall and grass)")
    import texture_maps

    texture_maps.main(args.texture_out or str(Path(args.out).with_name("texture_maps.png")))
    print()

    rng = np.random.default_rng(2024)
    t, h = make_signal(rng)
    image = make_image()
    grid = np.arange(12, N_IMAGE - KERNEL, 24)

    print(f"orbelix {orbelix.__version__}: signal of {len(h)} samples, image {image.shape}")
    s_fst = run_signal(h)
    s_dst2 = run_image(image)
    locals_ = run_local(s_dst2)
    angles, bias = run_cmsht2(image, grid)

    draw(args.out, t, h, s_fst, image, s_dst2, locals_, grid, angles, bias)
    print(f"figure written to {args.out}")


if __name__ == "__main__":
    main()
