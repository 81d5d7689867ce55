"""Smoke test of an installed wheel: both packages import from the
installed location and compute the right numbers, and the C routines are
exported. Run from outside the source tree (the wheel check and
cibuildwheel's test step do)."""

import ctypes
import sys

import numpy as np

import orbelix
import orbelix_tools
from orbelix_tools import istransform, simd_path, stransform, tfr_power


def main() -> None:
    print(f"orbelix from {orbelix.__file__}")
    print(f"orbelix_tools from {orbelix_tools.__file__}, SIMD path {simd_path()}")

    # The exact module: a cosine's voice, and the round trips.
    n = 64
    h = np.cos(2 * np.pi * 5 * np.arange(n) / n).astype(np.complex64)
    s = orbelix.fst(h)
    assert s.shape == (n // 2 + 1, n) and s.dtype == np.complex64
    assert abs(abs(s[5, n // 2]) - 1) < 1e-5, abs(s[5, n // 2])
    assert np.abs(orbelix.ifst(s) - h).max() < 1e-5
    image = np.random.default_rng(0).standard_normal((16, 16)).astype(np.complex64)
    assert np.abs(orbelix.idst2(orbelix.dst2(image)) - image).max() < 1e-4
    assert orbelix.imfreq(orbelix.dst2(image), 3, 4).shape == (7, 7)
    assert orbelix.cmsht2(image.real.astype(np.float32), 8, 8).shape == (4,)

    # The analysis package: the same voices, its inverse and epoch averages,
    # with two workers.
    f, t, S = stransform(h.real, 64.0, fmin=1.0, fmax=20.0, workers=2)
    assert np.array_equal(S, s[1:21]), "stransform differs from orbelix.fst"
    y = istransform(f, S, n, fs=64.0)
    assert np.abs(y - h.real).max() < 1e-5
    _, _, power, itc = tfr_power(np.tile(h.real, (4, 1)), 64.0, fmin=5.0, fmax=5.0, decim=8)
    assert power.shape == (1, 8) and np.allclose(power, 1, atol=1e-4) and np.allclose(itc, 1)

    # The image functions: an orthonormal DOST of an awkward shape, and the
    # local measures equal to cmsht2 inside the image.
    picture = np.random.default_rng(1).standard_normal((15, 22)).astype(np.float32)
    c = orbelix_tools.dost2(picture)
    assert abs(np.sum(np.abs(c) ** 2) / np.sum(picture.astype(np.float64) ** 2) - 1) < 1e-5
    assert np.abs(orbelix_tools.idost2(c).real - picture).max() < 1e-5
    measures = orbelix_tools.local_measures(picture, kernel_size=3)
    want = orbelix.cmsht2(np.asfortranarray(picture), 8, 11, kernel_size=3)
    assert np.array_equal(np.array([m[8, 11] for m in measures]), want)

    # The C interface is exported by the extension itself.
    lib = ctypes.CDLL(orbelix.__file__)
    for name in ("cfft1i", "cfft1f", "fst", "ifst", "dst2", "idst2", "imfreq", "cmsht2"):
        getattr(lib, name)
    size = ctypes.c_int(8)
    out = np.zeros((5, 8), np.complex64, order="F")
    lib.fst(ctypes.byref(size), h[:8].ctypes.data_as(ctypes.c_void_p),
            out.ctypes.data_as(ctypes.c_void_p))
    assert np.array_equal(out, orbelix.fst(h[:8]))
    print(f"smoke test passed (Python {sys.version.split()[0]}, NumPy {np.__version__})")


if __name__ == "__main__":
    main()
