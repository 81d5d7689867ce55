"""Local frequency and orientation maps of a texture photograph with orbelix_tools.

The image is scikit-image's bundled brick wall (no download) with a strip of
its bundled grass beside it: 512 x 812 pixels, a shape no power-of-two
transform takes without cropping. local_spectrum gives, for every pixel, the
band pair of the 2-D discrete orthonormal S-transform (DOST) holding the
most energy there: its centre frequency (cycles per pixel) and the
orientation of its wave vector. The wall's regular courses give coarse
structure of one orientation over large areas; the grass gives finer
structure whose orientation changes from blade to blade.

    pip install 'orbelix[examples]'
    python examples/texture_maps.py [--out docs/texture_maps.png]
"""
import argparse
import time

import numpy as np
from matplotlib.figure import Figure

from orbelix_tools import dost2, idost2, local_spectrum


def texture_image():
    """Brick wall and a strip of grass, float32 in [0, 1], 512 x 812."""
    from skimage import data
    brick = data.brick().astype(np.float32) / 255
    grass = data.grass().astype(np.float32) / 255
    return np.hstack([brick, grass[:, :300]])


def main(out="texture_maps.png"):
    image = texture_image()
    start = time.perf_counter()
    frequency, orientation = local_spectrum(image - image.mean())
    took = time.perf_counter() - start
    centres, energy = local_spectrum(image - image.mean(), output="octaves")
    # The transform is unitary and exactly invertible, whatever the shape.
    coefficients = dost2(image)
    error = float(np.sqrt(np.mean((idost2(coefficients).real - image) ** 2)))

    fig = Figure(figsize=(13, 8.5), layout="constrained")
    axes = fig.subplots(2, 2)
    shown = [(image, "image (brick | grass)", "gray", None),
             (frequency, "dominant frequency (cycles/pixel)", "viridis", None),
             (np.degrees(orientation), "orientation of the dominant wave vector (deg)",
              "twilight", (0, 180)),
             (np.log10(energy[1:4].sum(axis=0) / energy[1:].sum(axis=0) + 1e-6),
              "log10 share of energy below 0.1 cycles/pixel", "magma", None)]
    for ax, (values, title, cmap, limits) in zip(axes.flat, shown):
        im = ax.imshow(values, cmap=cmap, interpolation="nearest",
                       **({} if limits is None else {"vmin": limits[0], "vmax": limits[1]}))
        ax.set_title(title)
        ax.set_xticks([])
        ax.set_yticks([])
        if values is not image:
            fig.colorbar(im, ax=ax, shrink=0.8)
    fig.savefig(out, dpi=80)

    left, right = frequency[:, :512], frequency[:, 512:]
    facts = {"seconds": took, "round_trip_rms": error,
             "median_frequency_brick": float(np.median(left)),
             "median_frequency_grass": float(np.median(right)),
             "octave_centres": centres}
    print(f"local_spectrum of {image.shape[0]} x {image.shape[1]}: {took * 1e3:.0f} ms; "
          f"median dominant frequency brick {facts['median_frequency_brick']:.3f}, "
          f"grass {facts['median_frequency_grass']:.3f} cycles/pixel; "
          f"idost2(dost2(image)) rms error {error:.1e}; wrote {out}")
    return facts


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default="texture_maps.png")
    main(parser.parse_args().out)
