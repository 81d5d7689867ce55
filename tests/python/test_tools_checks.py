"""Every bad argument of orbelix_tools raises a TypeError or ValueError naming
it and its value; oversized results raise MemoryError before allocating."""

import re
import sys
import types

import numpy as np
import pytest

import orbelix_tools as ot

X = np.zeros(100, np.float32)
EPOCHS = np.zeros((3, 100), np.float32)

BAD_STRANSFORM = [
    (dict(x=np.zeros(0)), ValueError, "x is empty along axis=-1 (shape (0,))"),
    (dict(x=np.zeros((2, 0)), axis=1), ValueError, "x is empty along axis=1 (shape (2, 0))"),
    (dict(x=np.float32(1.0)), ValueError, "x is a scalar; it needs a time axis"),
    (dict(x=np.array(["a", "b"])), TypeError, "x has dtype <U1; expected real or complex numbers "
     "(integer, float or complex)"),
    (dict(x=np.array([None, 1.0])), TypeError, "x has dtype object; expected real or complex numbers "
     "(integer, float or complex)"),
    (dict(x=np.ones(4, bool)), TypeError, "x has dtype bool; expected real or complex numbers "
     "(integer, float or complex)"),
    (dict(axis=1), ValueError, "axis=1 is out of range for an array of 1 dimensions"),
    (dict(axis=-2), ValueError, "axis=-2 is out of range for an array of 1 dimensions"),
    (dict(axis=0.0), TypeError, "axis must be an integer, not float (0.0)"),
    (dict(fs=float("nan")), ValueError, "fs=nan must be finite and positive"),
    (dict(fs=float("inf")), ValueError, "fs=inf must be finite and positive"),
    (dict(fs=0), ValueError, "fs=0 must be finite and positive"),
    (dict(fs=1e308), ValueError, "fs=1e+308 is out of range for a signal of 100 samples: "
     "its frequencies or times would overflow"),
    (dict(fs=1e-320), ValueError, "fs=1e-320 is out of range for a signal of 100 samples: "
     "its frequencies or times would overflow"),
    (dict(fs="256"), TypeError, "fs must be a real number, not str ('256')"),
    (dict(fs=1j), TypeError, "fs must be a real number, not complex (1j)"),
    (dict(fmin=-1.0), ValueError, "fmin=-1.0 must be finite and not negative"),
    (dict(fmin=0.3, fmax=0.2), ValueError, "fmin=0.3 is above fmax=0.2"),
    (dict(fmax=0.6), ValueError, "fmax=0.6 is above the Nyquist frequency fs/2=0.5"),
    (dict(fmax=float("nan")), ValueError, "fmax=nan must be finite"),
    (dict(fmin=0.7), ValueError, "fmin=0.7 is above fmax=0.5"),
    (dict(df=0), ValueError, "df=0 must be finite and positive"),
    (dict(df=-0.1), ValueError, "df=-0.1 must be finite and positive"),
    (dict(decim=0), ValueError, "decim=0 must be a positive integer"),
    (dict(decim=2.0), TypeError, "decim must be an integer, not float (2.0)"),
    (dict(width=0.0), ValueError, "width=0.0 must be finite and positive"),
    (dict(width=float("inf")), ValueError, "width=inf must be finite and positive"),
    # Beyond these the window constant is no longer a normal float32.
    (dict(width=1e30), ValueError, "width=1e+30 is out of range: it must be at least 1e-18 and below 1e+18"),
    (dict(width=1e-30), ValueError, "width=1e-30 is out of range: it must be at least 1e-18 and below 1e+18"),
    (dict(phase="global"), ValueError, "phase='global' is not one of 'local', 'absolute'"),
    (dict(phase=None), TypeError, "phase must be a string, not NoneType (None)"),
    (dict(output="db"), ValueError, "output='db' is not one of 'complex', 'power', 'magnitude'"),
    (dict(workers=0), ValueError, "workers=0 must be a count from 1 to 1024 or -1 (all cores)"),
    (dict(workers=-2), ValueError, "workers=-2 must be a count from 1 to 1024 or -1 (all cores)"),
    (dict(workers=10**20), ValueError,
     "workers=100000000000000000000 must be a count from 1 to 1024 or -1 (all cores)"),
    (dict(workers=True), TypeError, "workers must be an integer, not bool (True)"),
]


@pytest.mark.parametrize("kw,error,message", BAD_STRANSFORM)
def test_stransform_bad_arguments(kw, error, message):
    kw = dict(kw)
    x = kw.pop("x", X)
    with pytest.raises(error, match="^" + re.escape(message) + "$"):
        ot.stransform(x, **kw)


BAD_TFR = [
    (dict(x=X), "x must have an epochs axis and a time axis, not shape (100,)"),
    (dict(x=np.zeros((0, 100))), "x has no epochs along epochs_axis=0 (shape (0, 100))"),
    (dict(epochs_axis=1), "epochs_axis=1 and axis=-1 name the same axis"),
    (dict(epochs_axis=2), "epochs_axis=2 is out of range for an array of 2 dimensions"),
    (dict(x=np.zeros((3, 0))), "x is empty along axis=-1 (shape (3, 0))"),
    (dict(fmax=60.0), "fmax=60.0 is above the Nyquist frequency fs/2=50.0"),
    (dict(fs=-1.0), "fs=-1.0 must be finite and positive"),
]


@pytest.mark.parametrize("kw,message", BAD_TFR)
def test_tfr_power_bad_arguments(kw, message):
    kw = dict(kw)
    x = kw.pop("x", EPOCHS)
    fs = kw.pop("fs", 100.0)
    with pytest.raises(ValueError, match="^" + re.escape(message) + "$"):
        ot.tfr_power(x, fs, **kw)


def test_results_too_large_are_refused_before_allocating():
    # 10^6 samples at full resolution and the full band: 4 TB.
    big = np.zeros(1_000_000, np.float32)
    with pytest.raises(MemoryError, match=r"^the transform of shape \(500001, 1000000\) \(complex64\) "
                                          r"needs 4e\+03 GB, more than this machine's .* GB of memory$"):
        ot.stransform(big)
    # A broadcast view holds 10^16 signals without memory: the result's size
    # itself overflows what NumPy can index.
    many = np.broadcast_to(np.int8(0), (10**9, 10**9, 4))
    with pytest.raises(ValueError, match=r"^the transform of shape \(1000000000, 1000000000, 3, 4\) "
                                         r"would hold 12000000000000000000 elements of 4 bytes, "
                                         r"more than a NumPy array can index$"):
        ot.stransform(many, output="power")


def test_decim_beyond_the_signal_gives_the_first_time():
    f, t, s = ot.stransform(np.arange(100.0), 10.0, decim=10**30)
    np.testing.assert_array_equal(t, [0.0])
    full = ot.stransform(np.arange(100.0), 10.0)[2][:, 0]
    np.testing.assert_allclose(s[:, 0], full, rtol=0, atol=1e-6 * np.abs(full).max())


def test_fmin_up_to_the_nyquist_frequency_is_accepted():
    # fmax defaults to fs/2: an fmin between 0 and fs/2 leaves a band.
    f, _, s = ot.stransform(X, fmin=0.3)
    assert f[0] == 0.3 and f[-1] == 0.5 and len(f) == 21
    assert s.shape == (21, 100)
    f = ot.stransform(X, fmin=0.5)[0]
    np.testing.assert_array_equal(f, [0.5])


def test_fmin_between_bins_and_df_below_a_bin_round_to_bins():
    # Not errors: rounding to whole bins as Python's round (halves to even),
    # at least one bin a step.
    f = ot.stransform(X, 100.0, fmin=2.5, fmax=4.49, df=0.2)[0]
    np.testing.assert_array_equal(f, [2.0, 3.0, 4.0])
    f = ot.stransform(X, 100.0, fmin=3.5, fmax=5.5, df=2.5)[0]
    np.testing.assert_array_equal(f, [4.0, 6.0])
    f = ot.stransform(np.zeros(64), 256.0, fmax=50.0)[0]  # bin 12.5: 48 Hz, not 52
    assert f[-1] == 48.0
    f = ot.stransform(np.zeros(99), 99.0, fmin=49.4)[0]
    np.testing.assert_array_equal(f, [49.0])


def test_df_beyond_the_band_gives_its_first_voice():
    # Any step past the band's end, up to the largest float, leaves one voice.
    x = np.random.default_rng(6).standard_normal(100).astype(np.float32)
    full = ot.stransform(x, 100.0, fmin=3.0)[2]
    for df in (60.0, 1e10, 1e308):
        f, _, s = ot.stransform(x, 100.0, fmin=3.0, df=df)
        np.testing.assert_array_equal(f, [3.0])
        np.testing.assert_array_equal(s, full[:1])
        f, _, power, _ = ot.tfr_power(np.stack([x, x]), 100.0, fmin=3.0, df=df)
        np.testing.assert_array_equal(f, [3.0])
        assert power.shape == (1, 100)
    f, _, s = ot.stransform(x, 100.0, width=1e-18, fmin=1.0, fmax=2.0)
    assert np.isfinite(s).all() and len(f) == 2


def _with(value, dtype, shape, where):
    a = np.zeros(shape, dtype)
    a[where] = value
    return a


NON_FINITE = [
    # (call, message): the first bad sample, named by its index in the caller's array
    (lambda: ot.stransform(_with(np.nan, np.float32, 100, 7)), "x[7]=nan is not finite"),
    (lambda: ot.stransform(_with(-np.inf, np.float64, (2, 3, 50), (1, 2, 3)), axis=1),
     "x[1, 2, 3]=-inf is not finite"),
    (lambda: ot.stransform(_with(complex(0, np.nan), np.complex64, (4, 9), (3, 0))),
     "x[3, 0]=nanj is not finite"),
    (lambda: ot.stransform(_with(1e300, np.float64, 64, 5)),
     "x[5]=1e+300 is beyond single precision (largest 3.4028235e+38)"),
    (lambda: ot.stransform(_with(np.nan, np.float16, 64, 8)[::2]), "x[4]=nan is not finite"),
    (lambda: ot.tfr_power(_with(np.inf, np.float32, (3, 2, 64), (2, 1, 0)), 1.0),
     "x[2, 1, 0]=inf is not finite"),
    (lambda: ot.istransform(*_spectrum_with(np.nan, (1, 5)), 16), "S[1, 5]=(nan+0j) is not finite"),
]


def _spectrum_with(value, where):
    f, t, s = ot.stransform(np.ones(16))
    s[where] = value
    return f, s


@pytest.mark.parametrize("call,message", NON_FINITE)
def test_non_finite_samples_are_refused_by_index(call, message):
    # One NaN or infinity spreads through the FFTs over the whole signal's
    # result, so it is refused before any work, naming the sample.
    with pytest.raises(ValueError, match="^" + re.escape(message)):
        call()


def test_masked_values_are_refused_and_an_empty_mask_is_ignored():
    # np.asarray drops a mask: the masked slots would be transformed as data.
    x = np.ma.masked_array(np.arange(32, dtype=np.float32), mask=np.arange(32) % 10 == 3)
    with pytest.raises(ValueError, match=re.escape(
            "x is a masked array with 3 masked values; fill or interpolate them first")):
        ot.stransform(x)
    with pytest.raises(ValueError, match="^x is a masked array with 1 masked value;"):
        epochs = np.ma.masked_array(np.ones((2, 16)))
        epochs[1, 5] = np.ma.masked
        ot.tfr_power(epochs, 1.0)
    f, _, s = ot.stransform(np.ones(16))
    with pytest.raises(ValueError, match="^S is a masked array with 1 masked value;"):
        masked = np.ma.masked_array(s)
        masked[2, 7] = np.ma.masked
        ot.istransform(f, masked, 16)
    unmasked = np.ma.masked_array(x.data, mask=False)
    np.testing.assert_array_equal(ot.stransform(unmasked)[2], ot.stransform(x.data)[2])


def test_finite_extremes_pass_the_check():
    big = np.float32(np.finfo(np.float32).max)
    x = np.array([big, -big, 0.0, 0.0, 1.0, 2.0], np.float64)
    assert ot.stransform(x)[2].shape == (4, 6)
    assert ot.stransform(np.arange(8, dtype=np.int64))[2].shape == (5, 8)


def test_extension_refuses_outputs_it_cannot_write_in_place():
    # The Python layer always hands fresh C-contiguous results; the extension
    # must not quietly write into a converted copy of any other output.
    from orbelix_tools import _core
    x = np.ones((1, 1, 16), np.float32)
    grid = dict(k0=0, step=1, count=9, decim=1, width=1.0, workers=1)
    strided = np.zeros((1, 9, 32), np.complex64)[:, :, ::2]
    with pytest.raises(TypeError):
        _core.stransform_into(x, strided, absolute=False, output="complex", **grid)
    power = np.zeros((1, 9, 32), np.float32)[:, :, ::2]
    with pytest.raises(TypeError):
        _core.tfr_power_into(x, power, np.zeros((1, 9, 16), np.float32), **grid)
    with pytest.raises(TypeError):
        _core.istransform_into(np.zeros((1, 9, 16), np.complex64), np.zeros((1, 16), np.float64),
                               k0=0, absolute=False, workers=1)
    assert not strided.any() and not power.any()
    # A step in time beyond the signal gives its first time, without overflow.
    out = np.zeros((1, 9, 1), np.complex64)
    _core.stransform_into(x, out, absolute=False, output="complex", **{**grid, "decim": 2**31 - 1})
    np.testing.assert_array_equal(out[0, :, 0], ot.stransform(x[0, 0])[2][:, 0])


def test_power_and_coherence_that_cannot_both_be_allocated(monkeypatch):
    # The second of the two results fails: the error states what both need,
    # and the first is not kept.
    from orbelix_tools import _arrays
    made = []

    def empty(shape, dtype):
        if made:
            raise MemoryError
        made.append(np.zeros(shape, dtype))
        return made[-1]

    numpy_with_failing_empty = types.SimpleNamespace(**{**vars(np), "empty": empty})
    monkeypatch.setattr(_arrays, "np", numpy_with_failing_empty)
    with pytest.raises(MemoryError, match=r"^the power and coherence of shape \(33, 64\) \(float32\) "
                                          r"need 1.69e-05 GB \(8.45e-06 GB each\), which cannot be "
                                          r"allocated$"):
        ot.tfr_power(np.zeros((3, 64)), 64.0)
    assert len(made) == 1 and sys.getrefcount(made.pop()) == 2  # only this list held it


def test_remembered_grids_check_as_the_first_call_did():
    # A call with plain arguments remembers its grid; one whose arguments
    # compare equal but differ in type is checked afresh, and the arrays
    # returned are the caller's own.
    x = np.random.default_rng(1).standard_normal(64).astype(np.float32)
    f, t, s = ot.stransform(x, 64.0, fmin=4.0, fmax=20.0, decim=2)
    f[:] = -1.0
    t[:] = -1.0
    f2, t2, s2 = ot.stransform(x, 64.0, fmin=4.0, fmax=20.0, decim=2)
    np.testing.assert_array_equal(f2, np.arange(4, 21, dtype=np.float64))
    np.testing.assert_array_equal(t2, np.arange(32) * 2 / 64.0)
    np.testing.assert_array_equal(s2, s)
    assert not np.shares_memory(f2, f) and not np.shares_memory(t2, t)
    with pytest.raises(TypeError, match=re.escape("decim must be an integer, not float (2.0)")):
        ot.stransform(x, 64.0, fmin=4.0, fmax=20.0, decim=2.0)
    with pytest.raises(TypeError, match=re.escape("fs must be a real number, not bool (True)")):
        ot.stransform(x, True)
    ot.stransform(x, 1)
    with pytest.raises(TypeError, match=re.escape("fs must be a real number, not bool (True)")):
        ot.stransform(x, True)
    # The long-window warning comes with every call, not only the first.
    for _ in range(2):
        with pytest.warns(UserWarning, match="longer than the signal"):
            ot.stransform(x, 64.0, fmin=1.0, fmax=10.0)  # voices the caller chose


@pytest.mark.parametrize("dtype", [np.float64, np.complex128])
def test_samples_at_the_edge_of_single_precision(dtype):
    # 2**128 - 2**103 is the first magnitude that rounds to infinity in
    # float32; the one below it rounds to the largest float32.
    edge = 2.0**128 - 2.0**103
    below = np.nextafter(edge, 0.0)
    x = np.zeros(16, dtype)
    x[3] = -below
    x[7] = below if dtype == np.float64 else 1j * below
    ot.stransform(x, fmin=0.25)  # accepted: both round to finite float32 values
    for where, value in ((3, -edge), (7, edge)):
        y = x.copy()
        y[where] = value if dtype == np.float64 else value * (1j if where == 7 else 1)
        with pytest.raises(ValueError, match=rf"^x\[{where}\]=.* is beyond single precision"):
            ot.stransform(y, fmin=0.25)
