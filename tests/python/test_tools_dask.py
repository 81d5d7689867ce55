"""Dask arrays through stransform and tfr_power: lazy, chunk by chunk, and
bit for bit the eager result, on the threaded scheduler and on two worker
processes."""
import os
import re

import numpy as np
import pytest

da = pytest.importorskip("dask.array")
import dask  # noqa: E402

import orbelix_tools as ot  # noqa: E402

FS = 128.0


def signals(shape, dtype, seed=0):
    rng = np.random.default_rng(seed)
    x = rng.standard_normal(shape)
    if np.dtype(dtype).kind == "c":
        x = x + 1j * rng.standard_normal(shape)
    return x.astype(dtype)


# (shape, dtype, chunks, keywords): chunked leading axes, a split time axis
# (rechunked), the time axis in the middle, odd and prime lengths, a
# non-dividing decimation, and every output kind and phase convention.
STRANSFORM_CASES = [
    ((3, 4, 256), np.float32, (1, 2, -1), dict(fmin=5.0, fmax=40.0, decim=4)),
    ((5, 255), np.complex64, (2, 100), dict(fmax=30.0, df=2.0, decim=4, output="power")),
    ((6, 127, 2), np.float64, (4, -1, 1), dict(axis=1, phase="absolute", output="magnitude")),
    ((2, 3, 200), np.complex128, (1, 3, 50), dict(fmin=1.0, width=1.5, axis=-1)),
    ((97,), np.float32, (-1,), dict(decim=3)),
]


@pytest.mark.parametrize("shape, dtype, chunks, keywords", STRANSFORM_CASES)
def test_stransform_matches_eager_on_threads(shape, dtype, chunks, keywords):
    x = signals(shape, dtype)
    f, t, s = ot.stransform(da.from_array(x, chunks=chunks), FS, **keywords)
    f0, t0, s0 = ot.stransform(x, FS, **keywords)

    assert isinstance(s, da.Array)
    np.testing.assert_array_equal(f, f0)
    np.testing.assert_array_equal(t, t0)
    assert s.shape == s0.shape and s.dtype == s0.dtype
    axis = keywords.get("axis", -1) % x.ndim
    leading = tuple(c for a, c in enumerate(da.from_array(x, chunks=chunks).chunks) if a != axis)
    assert s.chunks == leading + ((len(f0),), (len(t0),))
    np.testing.assert_array_equal(s.compute(scheduler="threads"), s0)


TFR_CASES = [
    # epochs x channels x times, channels chunked, epochs split (rechunked)
    ((6, 4, 128), (2, 1, -1), dict(fmin=4.0, fmax=40.0, decim=2)),
    # times x epochs x channels x conditions: both special axes elsewhere
    ((101, 5, 3, 2), (-1, 5, 2, 1), dict(epochs_axis=1, axis=0, df=3.0)),
]


@pytest.mark.parametrize("shape, chunks, keywords", TFR_CASES)
def test_tfr_power_matches_eager_on_threads(shape, chunks, keywords):
    x = signals(shape, np.float32, seed=1)
    f, t, power, itc = ot.tfr_power(da.from_array(x, chunks=chunks), FS, **keywords)
    f0, t0, power0, itc0 = ot.tfr_power(x, FS, **keywords)

    assert isinstance(power, da.Array) and isinstance(itc, da.Array)
    np.testing.assert_array_equal(f, f0)
    np.testing.assert_array_equal(t, t0)
    p, i = dask.compute(power, itc, scheduler="threads")
    assert p.dtype == power0.dtype and i.dtype == itc0.dtype
    np.testing.assert_array_equal(p, power0)
    np.testing.assert_array_equal(i, itc0)


def test_nothing_is_computed_until_asked_then_each_chunk_once():
    calls = []

    def source(block):
        calls.append(block.shape)
        return block

    x = signals((4, 3, 64), np.float32)
    lazy = da.from_array(x, chunks=(1, 3, -1)).map_blocks(source, meta=x[:0, :0, :0])
    _, _, s = ot.stransform(lazy, FS, fmax=20.0)
    _, _, power, itc = ot.tfr_power(lazy, FS, fmax=20.0, epochs_axis=1)
    assert calls == []
    dask.compute(s, scheduler="threads")
    assert calls == [(1, 3, 64)] * 4
    del calls[:]
    dask.compute(power, itc, scheduler="threads")
    assert calls == [(1, 3, 64)] * 4


def test_building_the_graph_transforms_no_signal(monkeypatch):
    # Checking the arguments must not transform a signal (of one whole
    # chunk's length: the price of a chunk) before anything is asked.
    from orbelix_tools import _transforms
    work = []
    for name in ("stransform_into", "tfr_power_into"):
        real = getattr(_transforms._core, name)

        def spy(x, *args, _real=real, **kw):
            work.append(x.size)
            return _real(x, *args, **kw)
        monkeypatch.setattr(_transforms._core, name, spy)
    x = da.zeros((4, 3, 4096), chunks=(1, 3, -1), dtype=np.float32)
    ot.stransform(x, FS, fmax=20.0)
    ot.tfr_power(x, FS, fmax=20.0)
    assert sum(work) == 0


def test_bad_arguments_raise_when_the_graph_is_built():
    x = da.zeros((2, 64), chunks=(1, -1), dtype=np.float32)
    with pytest.raises(ValueError, match="fmin"):
        ot.stransform(x, FS, fmin=50.0, fmax=10.0)
    with pytest.raises(ValueError, match="axis"):
        ot.stransform(x, FS, axis=2)
    with pytest.raises(ValueError, match="epochs_axis"):
        ot.tfr_power(x, FS, epochs_axis=1, axis=-1)
    with pytest.raises(ValueError, match="unknown"):
        ot.stransform(x[x[:, 0] >= 0], FS, axis=0)
    with pytest.raises(ValueError, match=re.escape("x has no epochs along epochs_axis=1 "
                                                   "(shape (2, 0, 64))")):
        ot.tfr_power(da.zeros((2, 0, 64)), FS, epochs_axis=1)
    with pytest.raises(ValueError, match=re.escape("x is empty along axis=0 (shape (0, 3))")):
        ot.stransform(da.zeros((0, 3)), FS, axis=0)
    # A chunk whose result exceeds the machine's memory (4 TB per signal).
    with pytest.raises(MemoryError, match=r"^the transform of one chunk of shape "
                                          r"\(2, 500001, 1000000\) \(complex64\) needs 8e\+03 GB"):
        ot.stransform(da.zeros((4, 10**6), chunks=(2, -1), dtype=np.float32))
    with pytest.raises(MemoryError, match=r"^the power and coherence of one chunk of shape "
                                          r"\(2, 1, 500001, 1000000\) \(float32\) needs 4e\+03 GB"):
        ot.tfr_power(da.zeros((3, 2, 10**6), chunks=(3, 1, -1), dtype=np.float32), 1.0)


def test_a_bad_sample_is_named_by_its_index_in_the_whole_array():
    # Checked chunk by chunk as computed, but named as the eager call names it.
    x = np.zeros((3, 2, 300), np.float32)
    x[1, 1, 123] = np.nan
    for chunks in ((1, 1, -1), (2, 1, 100), (-1, -1, -1)):
        dx = da.from_array(x, chunks=chunks)
        with pytest.raises(ValueError, match=re.escape("x[1, 1, 123]=nan is not finite")):
            ot.stransform(dx, FS)[2].compute()
        with pytest.raises(ValueError, match=re.escape("x[1, 1, 123]=nan is not finite")):
            ot.tfr_power(dx, FS, epochs_axis=1)[2].compute()
    # The time axis in the middle, the sample in the last chunk of two axes.
    y = np.zeros((5, 64, 7), np.float64)
    y[4, 10, 6] = np.inf
    dy = da.from_array(y, chunks=(2, 64, 3))
    with pytest.raises(ValueError, match=re.escape("x[4, 10, 6]=inf is not finite")):
        ot.stransform(dy, FS, axis=1)[2].compute()
    with pytest.raises(ValueError, match=re.escape("x[4, 10, 6]=inf is not finite")):
        ot.tfr_power(dy, FS, epochs_axis=0, axis=1)[2].compute()


@pytest.mark.slow
def test_two_worker_processes_match_eager(two_process_client):
    x = signals((6, 3, 250), np.float32, seed=2)
    dx = da.from_array(x, chunks=(3, 1, -1))
    keywords = dict(fmin=2.0, fmax=50.0, decim=5)

    _, _, s = ot.stransform(dx, FS, output="power", **keywords)
    _, _, power, itc = ot.tfr_power(dx, FS, **keywords)
    s, power, itc = two_process_client.compute([s, power, itc], sync=True)

    np.testing.assert_array_equal(s, ot.stransform(x, FS, output="power", **keywords)[2])
    _, _, power0, itc0 = ot.tfr_power(x, FS, **keywords)
    np.testing.assert_array_equal(power, power0)
    np.testing.assert_array_equal(itc, itc0)
    # The work ran in two processes other than this one.
    pids = set(two_process_client.run(os.getpid).values())
    assert len(pids) == 2 and os.getpid() not in pids
