"""A tour of orbelix: all six functions on a test signal and a test image.

The signal is a linear chirp (50 to 350 Hz over 2 s at 1 kHz) with two
short tone bursts and a little noise; the image is two oriented stripe
textures side by side. The tour prints the shapes, the round-trip errors of
fst/ifst and dst2/idst2, the local measures at a few pixels and the time of
each call, and draws everything into one PNG figure.

    python examples/tour.py [--out tour.png]
"""
import argparse
import time

import numpy as np

import orbelix

RATE = 1000.0         # samples per second
N_SIGNAL = 2048       # fst/ifst take any length through C, an even one through Python
N_IMAGE = 256         # dst2/idst2 need a power-of-two side
KERNEL = 7            # cmsht2's default half-width: keep pixels this far from the edge
TEXTURES = ((30.0, 16.0), (120.0, 22.0))  # (wave direction in degrees, period in pixels)


def make_signal(rng):
    """Chirp 50 -> 350 Hz, bursts at 420 Hz (0.3 s) and 120 Hz (1.5 s), noise."""
    t = np.arange(N_SIGNAL) / RATE
    x = np.cos(2 * np.pi * (50.0 * t + 0.5 * 150.0 * t**2))
    for f, t0 in ((420.0, 0.3), (120.0, 1.5)):
        x += 0.8 * np.exp(-0.5 * ((t - t0) / 0.03) ** 2) * np.cos(2 * np.pi * f * t)
    x += 0.1 * rng.standard_normal(N_SIGNAL)
    return t, x.astype(np.complex64)


def stripes(direction, period, rows, cols):
    """cos of a plane wave; direction is measured from the row axis (down) towards the columns."""
    a = np.radians(direction)
    return np.cos(2 * np.pi * (np.cos(a) * rows + np.sin(a) * cols) / period)


def make_image():
    """Left half and right half: stripes of different direction and period."""
    rows, cols = np.mgrid[0:N_IMAGE, 0:N_IMAGE].astype(np.float64)
    left = stripes(*TEXTURES[0], rows, cols)
    right = stripes(*TEXTURES[1], rows, cols)
    return np.where(cols < N_IMAGE // 2, left, right).astype(np.float32)


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


def run_local(image, s, pixel, grid):
    # imfreq reads around the middle of the matrix it is given: hand it the
    # coefficients with the zero frequency moved to the centre.
    centred = np.fft.fftshift(s)
    local, t_imfreq = timed(orbelix.imfreq, centred, *pixel)
    report("imfreq", centred, local, t_imfreq)
    peak = np.unravel_index(np.argmax(np.abs(local)), local.shape)
    m = local.shape[0] // 2
    print(f"       pixel {pixel}: strongest local coefficient at band "
          f"({peak[0] - m}, {peak[1] - m}) of -{m}..{m}")

    print("cmsht2 (defaults coarse=0.2, fine=0.1, kernel_size=7); angles in degrees:")
    print(f"  {'pixel':>10} {'ratio':>7} {'orient.':>8} {'phase':>6} {'energy':>7}"
          f" {'orient. mod 180':>16} {'texture':>8}")
    for x, y in ((64, 60), (64, 70), (192, 190), (192, 200)):
        r = orbelix.cmsht2(image, x, y)
        ratio, orient, phase, energy = float(r[0]), np.degrees(r[1]), np.degrees(r[2]), float(r[3])
        texture = TEXTURES[0] if y < N_IMAGE // 2 else TEXTURES[1]
        print(f"  {str((x, y)):>10} {ratio:7.3f} {orient:8.1f} {phase:6.1f} {energy:7.2f}"
              f" {orient % 180:16.1f} {texture[0]:8.1f}")

    angles, t_grid = timed(lambda: np.array([[orbelix.cmsht2(image, x, y)[1] for y in grid]
                                              for x in grid]))
    print(f"cmsht2 on a {len(grid)} x {len(grid)} grid of pixels: {t_grid * 1e3:.1f} ms")
    return local, angles


def draw(path, t, h, s_fst, image, s_dst2, local, pixel, grid, angles):
    import matplotlib
    matplotlib.use("Agg")  # files only, no display needed
    import matplotlib.pyplot as plt

    fig = plt.figure(figsize=(12, 16))
    grid_spec = fig.add_gridspec(4, 2, height_ratios=(1, 1.3, 1.5, 1.5), left=0.07, right=0.97,
                                 bottom=0.04, top=0.97, hspace=0.35, wspace=0.15)

    ax = fig.add_subplot(grid_spec[0, :])
    ax.plot(t, h.real, lw=0.5)
    ax.set(title="Test signal: linear chirp 50-350 Hz, tone bursts at 0.3 s (420 Hz) and 1.5 s (120 Hz), noise",
           xlabel="time (s)", ylabel="amplitude", xlim=(t[0], t[-1]))

    ax = fig.add_subplot(grid_spec[1, :])
    freqs = np.arange(s_fst.shape[0]) * RATE / len(h)
    im = ax.imshow(np.abs(s_fst), origin="lower", aspect="auto", cmap="magma",
                   extent=(t[0], t[-1], freqs[0], freqs[-1]))
    ax.set(title="|S| of fst: voices over time", xlabel="time (s)", ylabel="frequency (Hz)")
    fig.colorbar(im, ax=ax, pad=0.01)

    ax = fig.add_subplot(grid_spec[2, 0])
    ax.imshow(image, cmap="gray")
    ax.plot(pixel[1], pixel[0], "r+", ms=14, mew=2)
    ax.set(title="Test image (+: the imfreq pixel)", xlabel="column", ylabel="row")

    ax = fig.add_subplot(grid_spec[2, 1])
    n = image.shape[0]
    im = ax.imshow(np.log10(np.abs(np.fft.fftshift(s_dst2)) + 1e-7), cmap="viridis",
                   extent=(-n // 2 - 0.5, n // 2 - 0.5, n // 2 - 0.5, -n // 2 - 0.5))
    ax.set(title="log10 |S| of dst2 (zero frequency centred)",
           xlabel="column frequency", ylabel="row frequency")
    fig.colorbar(im, ax=ax)

    ax = fig.add_subplot(grid_spec[3, 0])
    m = local.shape[0] // 2
    im = ax.imshow(np.abs(local), cmap="viridis", extent=(-m - 0.5, m + 0.5, m + 0.5, -m - 0.5))
    ax.set(title=f"|imfreq| at pixel {pixel}: local frequency domain",
           xlabel="column band", ylabel="row band")
    fig.colorbar(im, ax=ax)

    ax = fig.add_subplot(grid_spec[3, 1])
    ax.imshow(image, cmap="gray")
    rows, cols = np.meshgrid(grid, grid, indexing="ij")
    # The orientation angle is measured from the row axis towards the column
    # axis; draw it as an undirected segment (angle and angle + pi agree).
    ax.quiver(cols, rows, np.sin(angles), np.cos(angles), color="tab:red", angles="xy",
              pivot="middle", headwidth=0, headlength=0, headaxislength=0, scale=1 / 12,
              scale_units="xy", width=0.006)
    ax.set(title="cmsht2 orientation on a grid of pixels (across the stripes)", xlabel="column", ylabel="row",
           xlim=(-0.5, n - 0.5), ylim=(n - 0.5, -0.5))

    fig.savefig(path, dpi=80)
    plt.close(fig)


def main(argv=None):
    parser = argparse.ArgumentParser(
        description="Run all six orbelix functions on a test signal and a test image, "
                    "print shapes, round-trip errors, local measures and timings, and "
                    "write one PNG figure of the results.")
    parser.add_argument("--out", default="tour.png", help="where to write the figure (default: %(default)s)")
    args = parser.parse_args(argv)

    rng = np.random.default_rng(2024)
    t, h = make_signal(rng)
    image = make_image()
    pixel = (64, 64)
    grid = np.arange(16, N_IMAGE - KERNEL, 16)

    print(f"orbelix {orbelix.__version__}: signal of {len(h)} samples, image {image.shape}")
    s_fst = run_signal(h)
    s_dst2 = run_image(image)
    local, angles = run_local(image, s_dst2, pixel, grid)

    draw(args.out, t, h, s_fst, image, s_dst2, local, pixel, grid, angles)
    print(f"figure written to {args.out}")


if __name__ == "__main__":
    main()
