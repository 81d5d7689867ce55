"""local_measures: orbelix.cmsht2 at every pixel, bit for bit, with borders,
batches, threads, SIMD paths and dask; strict input."""
import json
import os
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import orbelix
import orbelix_tools as ot
from cabi import f32, i32, ptr
from cpu_paths import wide_paths


def image(shape, seed=0, dtype=np.float32):
    return np.random.default_rng(seed).standard_normal(shape).astype(dtype)


def bits(a):
    return np.ascontiguousarray(a, dtype=np.float32).view(np.uint32)


def assert_same_bits(got, want):
    for g, w, name in zip(got, want, ("ratio", "orientation", "phase", "energy")):
        assert g.shape == w.shape, name
        np.testing.assert_array_equal(bits(g), bits(w), err_msg=name)


def cmsht2_maps(img, k, coarse=0.2, fine=0.1):
    """cmsht2 at every interior pixel, in (row, col) order."""
    rows, cols = img.shape
    pixels = [(x, y) for x in range(k, rows - k) for y in range(k, cols - k)]
    fortran = np.asfortranarray(img, dtype=np.float32)  # no conversion per call
    return pixels, np.array([orbelix.cmsht2(fortran, x, y, coarse=coarse, fine=fine,
                                            kernel_size=k) for x, y in pixels])


def at(maps, pixels):
    xs, ys = np.array(pixels).T
    return np.stack([m[xs, ys] for m in maps], axis=1)


@pytest.mark.parametrize("shape, k, coarse, fine", [
    ((20, 23), 0, 0.2, 0.1),
    ((20, 23), 1, 0.2, 0.1),
    ((17, 40), 3, 0.2, 0.1),
    ((31, 29), 7, 0.2, 0.1),
    ((31, 29), 5, 0.1, 0.2),   # scales swapped
    ((12, 50), 2, 1.5, -0.3),
])
def test_interior_pixels_equal_cmsht2(shape, k, coarse, fine):
    img = image(shape, seed=k)
    pixels, want = cmsht2_maps(img, k, coarse, fine)
    for border in ("reflect", "wrap", "constant"):
        got = at(ot.local_measures(img, coarse=coarse, fine=fine, kernel_size=k, border=border),
                 pixels)
        np.testing.assert_array_equal(bits(got), bits(want), err_msg=border)
    valid = ot.local_measures(img, coarse=coarse, fine=fine, kernel_size=k, border="valid")
    assert valid[0].shape == (shape[0] - 2 * k, shape[1] - 2 * k)
    got = at(valid, [(x - k, y - k) for x, y in pixels])
    np.testing.assert_array_equal(bits(got), bits(want))


def test_k0_and_swapped_scales_as_cmsht2_describes():
    img = image((6, 7), seed=1)
    ratio, orientation, phase, energy = ot.local_measures(img, kernel_size=0)
    assert np.isnan(ratio).all() and (orientation == 0).all()
    e = np.float32(np.float32(0.1) * np.float32(0.1) - np.float32(0.2) * np.float32(0.2)) * img
    np.testing.assert_array_equal(energy, e * e)
    np.testing.assert_array_equal(phase, np.where(e < 0, np.float32(np.pi), np.float32(0)))
    # Swapping the scales negates every response.
    a = ot.local_measures(img, kernel_size=2)
    b = ot.local_measures(img, kernel_size=2, coarse=0.1, fine=0.2)
    np.testing.assert_array_equal(b[0], -a[0])
    np.testing.assert_array_equal(b[3], a[3])
    np.testing.assert_allclose(np.cos(b[1]), -np.cos(a[1]), atol=1e-6)


def test_constant_border_equals_the_c_entry_at_every_pixel_even_for_wide_windows(lib):
    # The C entry cmsht2 (which the Python wrapper keeps away from the
    # edges) leaves out the pixels beyond the image, as zeros would add
    # nothing.
    for shape, k in (((9, 13), 2), ((9, 13), 6), ((9, 13), 20), ((1, 13), 3), ((9, 1), 4)):
        img = image(shape, seed=2)
        r = np.asfortranarray(img)
        maps = ot.local_measures(img, kernel_size=k, border="constant")
        for x in range(shape[0]):
            for y in range(shape[1]):
                h = np.zeros(4, np.float32)
                lib.cmsht2(i32(shape[0]), i32(shape[1]), ptr(r), i32(x), i32(y), ptr(h), f32(0.2),
                           f32(0.1), i32(k))
                np.testing.assert_array_equal(bits([m[x, y] for m in maps]), bits(h),
                                              err_msg=f"{shape} k={k} at {x}, {y}")


@pytest.mark.parametrize("border, pad_mode", [
    ("reflect", "symmetric"), ("wrap", "wrap"), ("constant", "constant")])
@pytest.mark.parametrize("shape, k", [((15, 22), 3), ((8, 40), 7), ((5, 5), 4)])
def test_each_border_equals_explicit_padding_through_valid(border, pad_mode, shape, k):
    img = image(shape, seed=3)
    padded = np.pad(img, k, mode=pad_mode)
    assert_same_bits(ot.local_measures(img, kernel_size=k, border=border),
                     ot.local_measures(padded, kernel_size=k, border="valid"))


def test_ramp_and_stripes_give_their_direction():
    rows, cols = np.mgrid[0:96, 0:96].astype(np.float64)
    for degrees in (0.0, 17.0, 45.0, 90.0, 123.0, 160.0, 171.0):
        theta = np.radians(degrees)  # from the rows axis towards the columns axis
        along = rows * np.cos(theta) + cols * np.sin(theta)
        # A ramp: the odd responses are proportional to its gradient (with
        # fine < coarse the odd factor F_fine - F_coarse is negative, so
        # they point down the slope).
        _, orientation, _, _ = ot.local_measures(along, border="valid")
        np.testing.assert_allclose(np.cos(orientation), -np.cos(theta), atol=1e-5)
        np.testing.assert_allclose(np.sin(orientation), -np.sin(theta), atol=1e-5)
        # Stripes of a wavelength several windows wide: the orientation
        # (modulo pi) within a degree wherever the odd response is not near
        # a zero crossing. (The square window's bias grows at shorter
        # wavelengths: about 2 degrees at 24 pixels.)
        stripes = np.cos(2 * np.pi * along / 48.0)
        _, o, _, _ = ot.local_measures(stripes, border="valid")
        o = np.degrees(o) % 180.0
        strong = np.abs(np.sin(2 * np.pi * along[7:-7, 7:-7] / 48.0)) > 0.5
        error = np.abs((o[strong] - degrees + 90.0) % 180.0 - 90.0)
        assert error.max() < 1.0, (degrees, error.max())


def test_batches_and_axes_against_loops():
    stack = image((2, 3, 19, 26), seed=4)
    maps = ot.local_measures(stack, kernel_size=3)
    for i in range(2):
        for j in range(3):
            assert_same_bits([m[i, j] for m in maps], ot.local_measures(stack[i, j], kernel_size=3))
    # Image axes elsewhere: (rows, batch, cols) and columns before rows.
    moved = np.moveaxis(stack[0], 0, 1)  # 19 x 3 x 26
    maps = ot.local_measures(moved, kernel_size=3, axes=(0, 2), border="valid")
    assert maps[0].shape == (13, 3, 20)
    for j in range(3):
        assert_same_bits([m[:, j] for m in maps],
                         ot.local_measures(stack[0, j], kernel_size=3, border="valid"))
    maps = ot.local_measures(stack[1, 2].T, kernel_size=3, axes=(1, 0))
    assert_same_bits([m.T for m in maps], ot.local_measures(stack[1, 2], kernel_size=3))


def test_dtypes_strides_and_inputs_left_alone():
    img = image((30, 41), seed=5, dtype=np.float64)
    before = img.copy()
    want = ot.local_measures(img.astype(np.float32), kernel_size=4)
    assert_same_bits(ot.local_measures(img, kernel_size=4), want)
    np.testing.assert_array_equal(img, before)
    big = np.zeros((60, 82))
    big[::2, ::2] = img
    assert_same_bits(ot.local_measures(big[::2, ::2], kernel_size=4), want)
    assert_same_bits(ot.local_measures(img.byteswap().view(img.dtype.newbyteorder()), kernel_size=4),
                     want)
    ints = np.arange(120, dtype=np.int64).reshape(10, 12) * 1001
    assert_same_bits(ot.local_measures(ints, kernel_size=2),
                     ot.local_measures(ints.astype(np.float32), kernel_size=2))
    assert all(m.dtype == np.float32 for m in ot.local_measures(ints.tolist(), kernel_size=2))


def test_workers_bit_for_bit():
    stack = image((3, 70, 53), seed=6)
    one = ot.local_measures(stack, kernel_size=5, workers=1)
    for workers in (2, 3, -1):
        assert_same_bits(ot.local_measures(stack, kernel_size=5, workers=workers), one)
    assert_same_bits(ot.local_measures(stack[0], kernel_size=5, workers=4), [m[0] for m in one])


SIMD_DIGEST = textwrap.dedent("""
    import hashlib, json
    import numpy as np
    import orbelix_tools as ot
    img = np.random.default_rng(9).standard_normal((2, 45, 77)).astype(np.float32)
    digest = hashlib.sha256()
    for k, border in ((0, "reflect"), (3, "wrap"), (7, "constant"), (5, "valid")):
        for m in ot.local_measures(img, kernel_size=k, border=border):
            digest.update(m.tobytes())
    print(json.dumps([ot.simd_path(), digest.hexdigest()]))
""")


def test_every_simd_path_gives_the_same_bits():
    results = {}
    for path in ["sse2"] + wide_paths():
        env = {**os.environ, "ORBELIX_SIMD": path}
        out = subprocess.run([sys.executable, "-c", SIMD_DIGEST], env=env, check=True,
                             capture_output=True, text=True).stdout
        used, digest = json.loads(out)
        assert used == path
        results[path] = digest
    assert len(set(results.values())) == 1, results


def test_empty_batch_gives_empty_results():
    maps = ot.local_measures(np.zeros((0, 9, 9), np.float32), kernel_size=2, border="valid")
    assert all(m.shape == (0, 5, 5) and m.dtype == np.float32 for m in maps)


BAD = [
    (np.zeros((4, 4), complex), {}, TypeError, r"^image has dtype complex128; expected real numbers"),
    (np.array(["a"] * 4).reshape(2, 2), {}, TypeError, r"^image has dtype <U1"),
    (np.zeros(5), {}, ValueError, r"^image must have two image axes, not shape \(5,\)$"),
    (np.zeros((0, 5)), {}, ValueError, r"^image is empty along axes=\(-2, -1\) \(shape \(0, 5\)\)$"),
    (np.array([[1.0, np.nan], [0, 0]]), {"kernel_size": 1}, ValueError,
     r"^image\[0, 1\]=nan is not finite"),
    (np.array([[1.0, 1e39], [0, 0]]), {"kernel_size": 1}, ValueError,
     r"^image\[0, 1\]=1e\+39 is beyond single precision"),
    (np.zeros((9, 9)), {"kernel_size": -1}, ValueError, r"^kernel_size=-1 must not be negative$"),
    (np.zeros((9, 9)), {"kernel_size": 2.0}, TypeError, r"^kernel_size must be an integer"),
    (np.zeros((9, 12)), {"kernel_size": 5, "border": "valid"}, ValueError,
     r"^kernel_size=5 needs at least 11 rows and columns with border='valid'; the image has 9 x 12$"),
    (np.zeros((9, 12)), {"kernel_size": 9, "border": "reflect"}, ValueError,
     r"^kernel_size=9 must be smaller than the image's sides \(9 x 12\) with border='reflect'$"),
    (np.zeros((9, 12)), {"kernel_size": 9, "border": "wrap"}, ValueError,
     r"^kernel_size=9 must be smaller than the image's sides \(9 x 12\) with border='wrap'$"),
    (np.zeros((9, 9)), {"fine": 0.2}, ValueError,
     r"^fine=0.2 equals coarse=0.2 in single precision: every kernel weight would be zero$"),
    (np.zeros((9, 9)), {"coarse": 0.1 + 1e-12}, ValueError, r"^fine=0.1 equals coarse=0.1000000000010"),
    (np.zeros((9, 9)), {"coarse": float("inf")}, ValueError,
     r"^coarse=inf must be finite in single precision$"),
    (np.zeros((9, 9)), {"fine": 1e39}, ValueError, r"^fine=1e\+39 must be finite in single precision$"),
    (np.zeros((9, 9)), {"coarse": "0.2"}, TypeError, r"^coarse must be a real number, not str"),
    (np.zeros((9, 9)), {"border": "nearest"}, ValueError,
     r"^border='nearest' is not one of 'reflect', 'wrap', 'constant', 'valid'$"),
    (np.zeros((9, 9)), {"axes": (0, 0)}, ValueError, r"^axes=\(0, 0\) names the same axis twice$"),
    (np.zeros((9, 9)), {"axes": (0, 2)}, ValueError,
     r"^axes=\(0, 2\) is out of range for an array of 2 dimensions$"),
    (np.zeros((9, 9)), {"axes": 0}, TypeError, r"^axes must be a pair of integers \(rows, columns\), not 0$"),
    (np.zeros((9, 9)), {"spacing": (1.0, 0.0)}, ValueError,
     r"^spacing=\(1.0, 0.0\) must hold two finite, positive numbers$"),
    (np.zeros((9, 9)), {"spacing": 1.0}, TypeError, r"^spacing must be a pair \(dy, dx\)"),
    (np.zeros((9, 9)), {"workers": 0}, ValueError, r"^workers=0 must be a count from 1"),
    (np.ma.masked_array(np.zeros((3, 3)), mask=np.eye(3)), {"kernel_size": 1}, ValueError,
     r"^image is a masked array with 3 masked values"),
]


@pytest.mark.parametrize("img, keywords, error, message", BAD)
def test_bad_input(img, keywords, error, message):
    with pytest.raises(error, match=message):
        ot.local_measures(img, **keywords)


def test_memory_error_states_the_size():
    with pytest.raises(MemoryError, match=r"^the four measures of shape \(4, 2000000, 1000, 1000\)"):
        ot.local_measures(np.broadcast_to(np.float32(0), (2_000_000, 1000, 1000)), kernel_size=1)


def test_spacing_changes_nothing():
    img = image((16, 21), seed=8)
    assert_same_bits(ot.local_measures(img, spacing=(0.5, 3.0)), ot.local_measures(img))


def test_extension_refuses_what_would_be_unsafe():
    from orbelix_tools import _core
    img = np.zeros((1, 9, 9), np.float32)
    out = [np.zeros((1, 9, 9), np.float32) for _ in range(4)]
    kw = dict(coarse=0.2, fine=0.1, border="reflect", workers=1)
    with pytest.raises(ValueError, match="kernel_size must not be negative"):
        _core.local_measures_into(img, *out, kernel_size=-1, **kw)
    with pytest.raises(ValueError, match="below the image's sides"):
        _core.local_measures_into(img, *out, kernel_size=9, **kw)
    with pytest.raises(ValueError, match="measured shape"):
        _core.local_measures_into(img, *out, kernel_size=2, **{**kw, "border": "valid"})
    with pytest.raises(ValueError, match="valid window"):
        _core.local_measures_into(img, *out, kernel_size=5, **{**kw, "border": "valid"})
    with pytest.raises(TypeError, match="float32 or float64"):
        _core.local_measures_into(img.astype(np.int32), *out, kernel_size=1, **kw)


# ---------------------------------------------------------------- dask

@pytest.mark.parametrize("border", ["reflect", "wrap", "constant", "valid"])
@pytest.mark.parametrize("k", [0, 4, 9])
def test_dask_3x3_blocks_with_halos_equal_eager(border, k):
    da = pytest.importorskip("dask.array")
    import dask
    img = image((2, 44, 51), seed=10)
    lazy = ot.local_measures(da.from_array(img, chunks=(1, 15, 17)), kernel_size=k, border=border)
    assert all(isinstance(m, da.Array) for m in lazy)
    assert lazy[0].numblocks == (2, 3, 3)
    assert_same_bits(dask.compute(*lazy, scheduler="threads"),
                     ot.local_measures(img, kernel_size=k, border=border))


def test_dask_image_axes_elsewhere_wide_windows_and_one_task_per_chunk():
    da = pytest.importorskip("dask.array")
    import dask
    img = image((30, 2, 26), seed=11)  # rows, batch, columns
    x = da.from_array(img, chunks=(10, 1, 9))
    for k, border in ((3, "reflect"), (12, "wrap"), (40, "constant")):
        lazy = ot.local_measures(x, kernel_size=k, border=border, axes=(0, 2))
        assert_same_bits(dask.compute(*lazy, scheduler="sync"),
                         ot.local_measures(img, kernel_size=k, border=border, axes=(0, 2)))
    calls = []

    def counted(block):
        calls.append(block.shape)
        return block

    lazy = ot.local_measures(x.map_blocks(counted, meta=np.empty((0, 0, 0), np.float32)),
                             kernel_size=2, axes=(0, 2))
    assert calls == []  # nothing computed while the graph is built
    dask.compute(*lazy, scheduler="sync")
    assert len(calls) == x.npartitions


def test_dask_bad_arguments_raise_when_the_graph_is_built():
    da = pytest.importorskip("dask.array")
    x = da.zeros((20, 20), chunks=10)
    with pytest.raises(ValueError, match=r"^kernel_size=20 must be smaller than the image's sides"):
        ot.local_measures(x, kernel_size=20)
    with pytest.raises(ValueError, match=r"^fine=0.2 equals coarse=0.2"):
        ot.local_measures(x, fine=0.2)
    with pytest.raises(ValueError, match=r"^axes=\(1, 1\) names the same axis twice$"):
        ot.local_measures(x, axes=(1, 1))


# ---------------------------------------------------------------- Ctrl-C

INTERRUPTED = r"""
import sys
import numpy as np
import orbelix_tools as ot

img = np.random.default_rng(0).standard_normal((2048, 2048)).astype(np.float32)
print("started", flush=True)
try:
    ot.local_measures(img, kernel_size=100, workers=int(sys.argv[1]))  # minutes of work
    print("finished", flush=True)
except KeyboardInterrupt:
    print("interrupted", flush=True)
small = img[:20, :20]
assert np.isfinite(ot.local_measures(small, kernel_size=2)[3]).all()
print("usable", flush=True)
"""


@pytest.mark.parametrize("workers", [1, 2])
def test_sigint_interrupts_a_large_image(workers):
    import signal
    import time
    child = subprocess.Popen([sys.executable, "-c", INTERRUPTED, str(workers)],
                             stdout=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline().strip() == "started"
        time.sleep(0.5)
        child.send_signal(signal.SIGINT)
        assert child.stdout.readline().strip() == "interrupted"
        assert child.stdout.readline().strip() == "usable"
        assert child.wait(timeout=60) == 0
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()


def test_no_leaks_good_or_refused():
    from leaks import assert_no_leaks
    img = image((2, 24, 30), seed=12)
    kinds = img.astype(np.float64)[:, ::2]

    def run(count):
        for _ in range(count):
            ot.local_measures(img, kernel_size=3, workers=2)
            ot.local_measures(kinds, kernel_size=2, border="valid")
            try:
                ot.local_measures(img, kernel_size=30)
            except ValueError:
                pass
            else:
                raise AssertionError("the bad call was accepted")

    assert_no_leaks(run, (img, kinds), calls=500)


def test_memory_error_for_scratch_states_the_size(monkeypatch):
    # On a machine of 1 GB the results of a 5000 x 5000 image fit (400 MB);
    # with the constant border a window spanning the image does not: its
    # weights take 5 (2n - 1)^2 floats (2 GB), its scratch 0.6 GB more.
    from orbelix_tools import _arrays
    monkeypatch.setattr(_arrays, "_memory_bytes", lambda: 10**9)
    img = np.broadcast_to(np.float32(1), (5000, 5000))
    with pytest.raises(MemoryError, match=r"^the window's weights and the workers' scratch of shape "
                                          r"\(\d+,\) \(float32\) needs 2.6 GB, more than this "
                                          r"machine's 1 GB of memory$"):
        ot.local_measures(img, kernel_size=10**6, border="constant")


@pytest.mark.slow
def test_dask_on_two_worker_processes():
    da = pytest.importorskip("dask.array")
    distributed = pytest.importorskip("distributed")
    img = image((3, 40, 45), seed=13)
    lazy = ot.local_measures(da.from_array(img, chunks=(2, 14, 15)), kernel_size=5, border="wrap")
    with distributed.LocalCluster(n_workers=2, processes=True, threads_per_worker=1,
                                  dashboard_address=None, host="127.0.0.1") as cluster, \
            distributed.Client(cluster) as client:
        got = client.compute(list(lazy), sync=True)
        assert len(set(client.run(os.getpid).values()) - {os.getpid()}) == 2
    assert_same_bits(got, ot.local_measures(img, kernel_size=5, border="wrap"))
