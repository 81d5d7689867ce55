"""
Image texture with the 2-D S-transform
======================================

Four textures from scikit-image's bundled images (brick, grass, gravel and
the brick turned by 90 degrees) are put side by side in one 256 x 256
image. The 2-D discrete S-transform (:func:`orbelix.dst2`) describes every
pixel by a local spectrum: :func:`orbelix.imfreq` reads, for one pixel, one
coefficient per pair of octave bands, signed, along the rows and the
columns. Those local spectra tell the textures apart, as the segmentation
at the end shows from them alone.

This example uses the exact module :mod:`orbelix`; 2-D transforms of the
analysis package will take its place as they land.
"""

# %%
# The texture mosaic
# ------------------
import matplotlib.pyplot as plt
import numpy as np
from scipy.cluster.vq import kmeans2
from scipy.ndimage import uniform_filter
from skimage import data

import orbelix

l = 256                                            # noqa: E741
half = l // 2


def patch(image):
    """A 128 x 128 patch, zero mean and unit variance."""
    p = image[:half, :half].astype(np.float64)
    return (p - p.mean()) / p.std()


brick, grass, gravel = data.brick(), data.grass(), data.gravel()
mosaic = np.block([[patch(brick), patch(grass)],
                   [patch(gravel), patch(brick).T]])
truth = np.block([[np.zeros((half, half)), np.ones((half, half))],
                  [np.full((half, half), 2.0), np.full((half, half), 3.0)]])

# %%
# Coefficients and local spectra
# ------------------------------
# ``dst2`` arranges its coefficients like a spectrum, with the zero
# frequency at ``[0, 0]``; ``imfreq`` reads the matrix around
# ``(l/2 - 1, l/2 - 1)``, so the coefficients are rolled there first. The
# local spectrum describing pixel ``(x, y)`` itself is
# ``imfreq(centred, x // 2, y // 2)``: entry ``[i + m, j + m]`` holds row
# band ``i`` and column band ``j`` (``m = log2(l) - 1 = 7``), band ``b >= 2``
# being the octave ``2**(b - 2) .. 2**(b - 1) - 1`` cycles per image.
s = orbelix.dst2(mosaic)
centred = np.roll(s, (half - 1, half - 1), axis=(0, 1))
m = int(np.log2(l)) - 1

fig, axes = plt.subplots(1, 2, figsize=(9, 4.5), layout="constrained")
axes[0].imshow(mosaic, cmap="gray")
axes[0].set_title("brick | grass / gravel | brick turned")
axes[1].imshow(np.log10(np.abs(np.fft.fftshift(s)) + 1e-3), cmap="magma",
               extent=[-half - 0.5, half - 0.5, half - 0.5, -half - 0.5])
axes[1].set_title("log10 |dst2|, zero frequency centred")
axes[1].set_xlabel("column frequency (cycles per image)")
axes[1].set_ylabel("row frequency")

pixels = {"brick": (64, 64), "grass": (64, 192), "gravel": (192, 64), "brick turned": (192, 192)}
fig, axes = plt.subplots(1, 4, figsize=(11, 3.2), layout="constrained")
for ax, (name, (x, y)) in zip(axes, pixels.items()):
    local = orbelix.imfreq(centred, x // 2, y // 2)
    ax.imshow(np.abs(local), cmap="viridis", extent=[-m - 0.5, m + 0.5, m + 0.5, -m - 0.5])
    ax.set_title(f"{name} ({x}, {y})")
    ax.set_xlabel("column band")
    ax.set_xticks(range(-6, 7, 3))
    ax.set_yticks(range(-6, 7, 3))
    i, j = np.unravel_index(np.argmax(np.abs(local)), local.shape)
    print(f"{name:12s}: largest at row band {abs(i - m)}, column band {abs(j - m)} "
          f"(and its mirror); {np.mean(np.abs(local) > 0.25 * np.abs(local).max()):.0%} "
          "of the entries above a quarter of it")
axes[0].set_ylabel("row band")

# %%
# The local spectrum turns with the texture: the brick's largest entry and
# that of the turned brick swap their row and column bands. Grass and
# gravel spread their energy over many more bands.
#
# Segmentation from local spectra
# -------------------------------
# Every 4th pixel, the local spectrum's power on a log scale (half of it:
# the image is real, so the other half mirrors it; the bands of zero
# frequency left out, since they describe the whole image), smoothed over
# neighbouring pixels, is clustered into four groups by k-means (the best
# of eight starts). No other information about the image enters.
step = 4
grid = np.arange(0, l, step)
rows = [i for i in range(2 * m + 1) if i != m]
cols = list(range(m + 1, 2 * m + 1))
features = np.empty((grid.size, grid.size, len(rows) * len(cols)))
for a, x in enumerate(grid):
    for b, y in enumerate(grid):
        local = np.abs(orbelix.imfreq(centred, x // 2, y // 2))
        features[a, b] = np.log10(local[np.ix_(rows, cols)] ** 2 + 1e-4).ravel()
features = uniform_filter(features, size=(9, 9, 1), mode="reflect")  # 36 x 36 pixels
flat = features.reshape(-1, features.shape[-1])
flat = (flat - flat.mean(axis=0)) / (flat.std(axis=0) + 1e-9)
best = None
for start in range(8):
    centroids, labels = kmeans2(flat, 4, seed=np.random.default_rng(start), minit="++")
    spread = float(((flat - centroids[labels]) ** 2).sum())
    if best is None or spread < best[0]:
        best = (spread, labels.reshape(grid.size, grid.size))
labels = best[1]

# Agreement with the true regions, after matching each cluster to the
# region it overlaps most.
true = truth[np.ix_(grid, grid)].astype(int)
agree = sum(np.bincount(true[labels == c], minlength=4).max()
            for c in range(4) if np.any(labels == c)) / labels.size
print(f"{labels.size} local spectra of {features.shape[-1]} values; "
      f"grid points in agreement with the true regions: {agree:.1%}")
fig, ax = plt.subplots(figsize=(4, 4), layout="constrained")
ax.imshow(labels, cmap="tab10", vmin=0, vmax=9, extent=[0, l, l, 0], interpolation="nearest")
ax.set_title(f"k-means on local spectra: {agree:.0%} right")
