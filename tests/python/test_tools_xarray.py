"""to_xarray: labelled arrays in Hz and seconds around stransform's and
tfr_power's results."""

import numpy as np
import pytest

xr = pytest.importorskip("xarray")

from orbelix_tools import stransform, tfr_power, to_xarray  # noqa: E402

FS = 128.0


def signals(shape):
    t = np.arange(shape[-1]) / FS
    rng = np.random.default_rng(1)
    return np.cos(2 * np.pi * 12 * t) + 0.1 * rng.standard_normal(shape)


def test_dimensions_coordinates_and_values():
    x = signals((3, 2, 256))
    f, t, S = stransform(x, FS, fmin=4.0, fmax=30.0, df=1.0, decim=4)
    da = to_xarray(f, t, S, dims=("trial", "channel"), coords={"channel": ["C3", "C4"]},
                   name="S")
    assert da.dims == ("trial", "channel", "frequency", "time")
    assert da.name == "S" and da.dtype == np.complex64
    np.testing.assert_array_equal(da.frequency.values, f)
    np.testing.assert_array_equal(da.time.values, t)
    assert da.frequency.attrs["units"] == "Hz" and da.time.attrs["units"] == "s"
    assert list(da.channel.values) == ["C3", "C4"] and "trial" not in da.coords
    # S is wrapped, not copied.
    assert np.shares_memory(da.values, S)
    # Selection by label reaches the same element as by index.
    j = 10
    assert da.sel(channel="C4", frequency=12.0, time=t[j]).values[1] == \
        S[1, 1, int(np.flatnonzero(f == 12.0)[0]), j]
    # The default names of leading dimensions, and none for a single signal.
    assert to_xarray(f, t, S).dims == ("dim_0", "dim_1", "frequency", "time")
    assert to_xarray(f, t, S[0, 0]).dims == ("frequency", "time")


def test_tfr_power_maps_and_lazy_dask_input():
    f, t, power, itc = tfr_power(signals((20, 2, 256)), FS, fmin=8.0, fmax=16.0, decim=8)
    p = to_xarray(f, t, power, dims="channel")
    assert p.dims == ("channel", "frequency", "time")
    assert float(p.mean(("channel", "time")).idxmax("frequency")) == 12.0

    da = pytest.importorskip("dask.array")
    x = da.from_array(signals((4, 256)), chunks=(2, -1))
    f, t, S = stransform(x, FS, fmin=8.0, fmax=16.0, output="power")
    lazy = to_xarray(f, t, S, dims="channel")
    assert isinstance(lazy.data, da.Array)
    np.testing.assert_array_equal(lazy.compute().values, S.compute())


def test_refusals():
    f, t, S = stransform(signals((2, 64)), FS, fmin=8.0, fmax=16.0)
    with pytest.raises(ValueError, match=r"f has shape \(4,\) but S has 5 frequencies"):
        to_xarray(f[:4], t, S)
    with pytest.raises(ValueError, match=r"t has shape \(1, 64\) but S has 64 times"):
        to_xarray(f, t[None], S)
    with pytest.raises(TypeError, match="t has dtype complex128; expected real times"):
        to_xarray(f, t + 0j, S)
    with pytest.raises(ValueError, match=r"dims names 2 dimensions but S has 1 before "
                                         r"frequency and time \(shape \(2, 5, 64\)\)"):
        to_xarray(f, t, S, dims=("a", "b"))
    with pytest.raises(ValueError, match="repeats a name or uses 'frequency' or 'time'"):
        to_xarray(f, t, S, dims="time")
    with pytest.raises(TypeError, match="dims must hold strings, not int"):
        to_xarray(f, t, S, dims=[0])
    with pytest.raises(ValueError, match=r"S must have a frequency and a time axis, not shape \(64,\)"):
        to_xarray(f, t, S[0, 0])
