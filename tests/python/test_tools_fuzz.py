"""A bounded, deterministic fuzz of orbelix_tools' stransform, tfr_power and
istransform: signals of odd dtypes, ranks, layouts and strides, and arguments
of odd types and sizes. Every call returns results of the documented shapes or
raises one of the documented kinds (ValueError, TypeError, MemoryError), never
an internal error; the inputs are never modified."""
import warnings
from fractions import Fraction

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from hostile import FUZZ, snapshot, unchanged
from orbelix_tools import istransform, stransform, tfr_power

ALLOWED = (ValueError, TypeError, MemoryError)

DTYPES = [np.float32, np.float64, np.complex64, np.complex128] * 3 + [
    np.float16, np.int16, np.uint8, ">f8", ">c8", np.bool_, object]

hostile = st.sampled_from([None, True, 0, -1, 2**31, 2**64, 10**400, -10**400,
                           Fraction(10**400, 7), 0.0, -0.5, float("nan"), float("inf"),
                           1e-320, 1e308, 1 + 1j, "1", [2], np.float32(3), np.int64(5)])


def argument(plain):
    """Mostly a plausible value, sometimes a hostile one."""
    return st.one_of(*[plain] * 11, hostile)


# fmin and fmax as fractions of fs (at most the Nyquist frequency fs/2).
KEYWORDS = {
    "fmin": argument(st.floats(0, 0.3)),
    "fmax": argument(st.floats(0.3, 0.5)),
    "df": argument(st.floats(0.001, 0.6)),
    "decim": argument(st.integers(1, 70)),
    "width": argument(st.floats(0.05, 20)),
    "axis": argument(st.integers(-3, 2)),
    "workers": argument(st.sampled_from([1, 2, -1])),
}


@st.composite
def signals(draw):
    dtype = np.dtype(draw(st.sampled_from(DTYPES)))
    # Mostly epochs x channels x samples; sometimes an empty axis or one axis.
    shape = tuple(draw(st.lists(st.integers(1, 4), min_size=1, max_size=2)))
    shape += (draw(st.integers(1, 70)),)
    if draw(st.integers(0, 9)) == 0:
        shape = draw(st.sampled_from([shape[-1:], shape[:-1] + (0,), (0,) + shape[1:]]))
    rng = np.random.default_rng(draw(st.integers(0, 2**32 - 1)))
    values = rng.standard_normal(shape) + 1j * rng.standard_normal(shape)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        x = values.astype(dtype) if dtype.kind != "O" else values.real.astype(object)
    layout = draw(st.sampled_from(["plain", "fortran", "reversed", "readonly"]))
    if layout == "fortran":
        x = np.asfortranarray(x)
    elif layout == "reversed":
        x = x[..., ::-1]
    elif layout == "readonly":
        x.flags.writeable = False
    return x


@pytest.mark.slow
@settings(FUZZ, max_examples=400)
@given(x=signals(), fs=argument(st.sampled_from([1.0, 100.0, 256.0])), data=st.data())
def test_tools_never_fail_but_as_documented(x, fs, data):
    kwargs = {k: data.draw(s, label=k) for k, s in KEYWORDS.items() if data.draw(st.booleans())}
    for k in ("fmin", "fmax", "df"):  # fractions of fs, when both are plain numbers
        if isinstance(kwargs.get(k), float) and isinstance(fs, float):
            kwargs[k] *= fs
    output = data.draw(st.sampled_from(["complex", "power"]), label="output")
    before = snapshot(x)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        try:
            f, t, s = stransform(x, fs, output=output, **kwargs)
        except ALLOWED:
            pass
        else:
            lead = tuple(np.delete(np.array(x.shape), kwargs.get("axis", -1)))
            assert s.shape == lead + (len(f), len(t))
            if output == "complex" and "decim" not in kwargs and "df" not in kwargs:
                try:
                    istransform(f, s, x.shape[kwargs.get("axis", -1)], fs=fs,
                                axis=kwargs.get("axis", -1))
                except ALLOWED:
                    pass
        try:
            tfr_power(x, fs, **kwargs)
        except ALLOWED:
            pass
    assert unchanged(before, x)
