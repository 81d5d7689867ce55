"""A bounded, deterministic fuzz of the six module functions: odd element types, ranks,
layouts, strides and views, scalars of odd types, wrong shapes. Every call either
returns a result of the documented type and shape or raises one of the documented
exception kinds; the inputs are never modified; the process never ends."""
import warnings

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import orbelix
from hostile import FUZZ, snapshot, unchanged

# What a refused call may raise: the module's error class for failed checks, NumPy's
# and the conversion rules' own kinds, OverflowError for 32-bit ranges.
ALLOWED = (orbelix._orbelix_error, ValueError, TypeError, OverflowError, IndexError,
           MemoryError, RecursionError)

DTYPES = [np.complex64, np.complex128, np.float32, np.float64, np.float16, np.int8, np.uint8,
          np.int32, np.int64, np.bool_, np.longdouble, ">c8", ">f4", "<U3", object]

FUNCTIONS = {
    # name: (positional argument count after the array, keyword names)
    "fst": (0, ["n"]),
    "ifst": (0, ["n"]),
    "dst2": (0, ["n"]),
    "idst2": (0, ["n"]),
    "imfreq": (2, ["l"]),
    "cmsht2": (2, ["l", "m", "coarse", "fine", "kernel_size"]),
}


class Odd:
    """An object with its own conversions (or none)."""

    def __init__(self, value):
        self.value = value

    def __int__(self):
        return int(self.value)

    def __float__(self):
        return float(self.value)


scalars = st.one_of(
    st.integers(-20, 40),
    st.integers(-2**70, 2**70),
    st.sampled_from([2**31 - 1, 2**31, -2**31, -2**31 - 1, 0, 1, 2, 4, 8, 16]),
    st.floats(allow_nan=True, allow_infinity=True),
    st.complex_numbers(allow_nan=True, allow_infinity=True),
    st.sampled_from([None, True, False, "7", "x", b"3", "", [], [3], [[2]], (5, 1), {}, object()]),
    st.builds(Odd, st.integers(-5, 40)),
    st.builds(np.int16, st.integers(-100, 100)),
    st.builds(np.float32, st.floats(-50, 50, width=32)),
    st.builds(lambda v: np.array(v), st.integers(-5, 40)),
)


@st.composite
def arrays(draw):
    """An array of odd type, rank and layout, usually a view into a larger one."""
    dtype = np.dtype(draw(st.sampled_from(DTYPES)))
    rank = draw(st.sampled_from([0, 1, 1, 2, 2, 2, 3]))
    power = st.sampled_from([1, 2, 4, 8, 16])
    shape = tuple(draw(st.one_of(st.integers(0, 9), power)) for _ in range(rank))
    if rank == 2 and draw(st.booleans()):
        shape = (shape[0], shape[0])  # square, as most routines want
    base_shape = tuple(2 * e + 1 for e in shape)
    rng = np.random.default_rng(draw(st.integers(0, 2**32 - 1)))
    values = rng.standard_normal(base_shape) * 3 + 1j * rng.standard_normal(base_shape)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        if dtype.kind == "U":
            base = values.real.astype(int).astype(dtype)
        elif dtype.kind == "O":
            base = values.astype(object)
        else:
            base = values.astype(dtype)
    base = np.asarray(base, order=draw(st.sampled_from(["C", "F"])))
    index = []
    for e in shape:
        step = draw(st.sampled_from([1, 2, -1, -2]))
        start = 0 if step > 0 else 2 * e
        index.append(slice(start, start + step * e, step) if e else slice(0, 0))
    view = base[tuple(index)] if index else base[...]
    kind = draw(st.sampled_from(["view", "copy", "transposed", "list", "readonly"]))
    if kind == "copy":
        return view.copy(order="F")
    if kind == "transposed":
        return view.T
    if kind == "list" and dtype.kind in "fcb":
        return view.tolist()
    if kind == "readonly":
        view.flags.writeable = False
    return view


def expected_shape(name, result):
    """The documented extents, in terms of the n (or m) the result itself shows."""
    if name == "cmsht2":
        return (4,)
    if name == "imfreq":
        m = result.shape[0] // 2
        return (2 * m + 1, 2 * m + 1)
    if name == "fst":
        n = result.shape[1]
        return (n // 2 + 1, n)
    if name == "ifst":
        return (result.shape[0],)
    n = result.shape[0]
    return (n, n)


@pytest.mark.slow
@settings(FUZZ, max_examples=1500)
@given(name=st.sampled_from(sorted(FUNCTIONS)), data=st.data())
def test_functions_never_crash_and_fail_only_as_documented(name, data):
    count, keywords = FUNCTIONS[name]
    first = data.draw(st.one_of(arrays(), arrays(), scalars), label="array")
    # Pixel positions mostly in range, so that calls also get through to the routines.
    def position(label):
        odd = data.draw(st.integers(0, 3), label=f"{label} odd") == 0
        return data.draw(scalars if odd else st.integers(0, 8), label=label)

    args = [first] + [position(f"arg{i}") for i in range(count)]
    small = st.one_of(st.integers(-1, 3), scalars)  # a window that fits, mostly
    kwargs = {k: data.draw(small if k == "kernel_size" else scalars, label=k) for k in keywords
              if data.draw(st.integers(0, 2)) == 0 or k == "kernel_size"}
    before = [snapshot(a) for a in args] + [snapshot(v) for v in kwargs.values()]
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        try:
            result = getattr(orbelix, name)(*args, **kwargs)
        except ALLOWED:
            result = None
    after = args + list(kwargs.values())
    assert all(unchanged(b, a) for b, a in zip(before, after))
    if result is not None:
        assert isinstance(result, np.ndarray) and result.flags.f_contiguous
        assert result.dtype == (np.float32 if name == "cmsht2" else np.complex64)
        assert result.shape == expected_shape(name, result)


@pytest.mark.parametrize("name", sorted(FUNCTIONS))
def test_interrupt_during_a_conversion_propagates(name):
    # An exception outside ALLOWED raised by Python code during a conversion (Ctrl-C
    # here) reaches the caller as it is, not swallowed nor turned into another kind.
    class Boom:
        def __int__(self):
            raise KeyboardInterrupt

        __float__ = __int__

    count = FUNCTIONS[name][0]
    args = [np.zeros((4, 4), np.float32)] + [Boom()] * count
    kwargs = {} if count else {"n": Boom()}
    with pytest.raises(KeyboardInterrupt):
        getattr(orbelix, name)(*args, **kwargs)
