"""Dask arrays chunked over leading axes give lazy DOST results and local
spectrum maps equal bit for bit to the eager ones, on the threaded scheduler
and on two worker processes; bad arguments raise when the graph is built."""
import numpy as np
import pytest

da = pytest.importorskip("dask.array")
import dask  # noqa: E402

import orbelix_tools as ot  # noqa: E402


def images(shape, seed=0):
    return np.random.default_rng(seed).standard_normal(shape).astype(np.float32)


@pytest.mark.parametrize("chunks", [(1, -1, -1), (2, 10, 7)])
def test_transforms_match_eager_on_threads(chunks):
    x = images((3, 20, 30))
    dx = da.from_array(x, chunks=chunks)
    c = ot.dost2(dx)
    assert isinstance(c, da.Array) and c.dtype == np.complex64
    c0 = ot.dost2(x)
    np.testing.assert_array_equal(c.compute(scheduler="threads"), c0)
    np.testing.assert_array_equal(ot.idost2(da.from_array(c0, chunks=chunks)).compute(scheduler="threads"),
                                  ot.idost2(c0))
    np.testing.assert_array_equal(ot.dost(dx, axis=1).compute(scheduler="threads"), ot.dost(x, axis=1))
    np.testing.assert_array_equal(ot.idost(dx, axis=-1).compute(scheduler="threads"), ot.idost(x))


@pytest.mark.parametrize("output", ["dominant", "octaves", "full"])
def test_local_frequency_maps_matches_eager_on_threads(output):
    x = images((4, 24, 20), seed=1)
    lazy = ot.local_spectrum(da.from_array(x, chunks=(1, 12, -1)), spacing=(2.0, 1.0), output=output)
    eager = ot.local_spectrum(x, spacing=(2.0, 1.0), output=output)
    got = dask.compute(*lazy, scheduler="threads")
    for a, b in zip(got, eager):
        np.testing.assert_array_equal(a, b)


def test_nothing_is_computed_while_the_graph_is_built(monkeypatch):
    from orbelix_tools import _core
    calls = []
    real = _core.dost2_inplace

    def spy(a, **kw):
        calls.append(a.shape)
        return real(a, **kw)

    monkeypatch.setattr(_core, "dost2_inplace", spy)
    dx = da.from_array(images((2, 8, 8)), chunks=(1, -1, -1))
    f, o = ot.local_spectrum(dx)
    ot.dost2(dx)
    assert all(shape[0] == 0 for shape in calls)  # only the empty probes
    dask.compute(f, o, scheduler="threads")
    assert sum(shape[0] for shape in calls) == 2


def test_bad_arguments_raise_when_the_graph_is_built():
    dx = da.from_array(images((2, 8, 8)), chunks=(1, -1, -1))
    with pytest.raises(ValueError, match="output='x' is not one of"):
        ot.local_spectrum(dx, output="x")
    with pytest.raises(ValueError, match="spacing\\[0\\]=-1.0"):
        ot.local_spectrum(dx, spacing=(-1.0, 1.0))
    with pytest.raises(ValueError, match="names the same axis twice"):
        ot.dost2(dx, axes=(1, 1))
    with pytest.raises(ValueError, match="axis=3 is out of range"):
        ot.dost(dx, axis=3)


@pytest.mark.slow
def test_two_worker_processes_match_eager(two_process_client):
    x = images((4, 32, 24), seed=3)
    dx = da.from_array(x, chunks=(2, -1, -1))
    c = ot.dost2(dx)
    f, o = ot.local_spectrum(dx)
    c, f, o = two_process_client.compute([c, f, o], sync=True)
    np.testing.assert_array_equal(c, ot.dost2(x))
    f0, o0 = ot.local_spectrum(x)
    np.testing.assert_array_equal(f, f0)
    np.testing.assert_array_equal(o, o0)
