"""The array that owns a view's memory, resized or given new data while the
module converts its other arguments: a RuntimeError, never a read of freed
memory. Ordinary views keep their results."""
import numpy as np
import pytest

import orbelix
from hostile import Converts, HandsOut, gives_new_data, resizes


def view_of_owner(shape, dtype):
    """A column-major view of the first half of an owner twice its size: the
    routine's input, read in place."""
    size = int(np.prod(shape))
    owner = np.zeros(2 * size, dtype)
    rng = np.random.default_rng(size)
    owner[:size] = rng.standard_normal(size) if dtype == np.float32 else \
        rng.standard_normal(size) + 1j * rng.standard_normal(size)
    view = owner[:size].reshape(shape, order="F")
    assert view.base is owner and view.flags.f_contiguous
    return owner, view


# (routine, input shape and dtype, call with the hostile scalar in each argument it converts)
def calls(name):
    n = 64
    if name == "fst":
        return (n,), np.complex64, [lambda v, h: orbelix.fst(v, h(n))]
    if name == "ifst":
        return (n // 2 + 1, n), np.complex64, [lambda v, h: orbelix.ifst(v, h(n))]
    if name in ("dst2", "idst2"):
        f = getattr(orbelix, name)
        return (n, n), np.complex64, [lambda v, h: f(v, h(n))]
    if name == "imfreq":
        return (16, 16), np.complex64, [lambda v, h: orbelix.imfreq(v, h(3), 4),
                                        lambda v, h: orbelix.imfreq(v, 3, h(4)),
                                        lambda v, h: orbelix.imfreq(v, 3, 4, h(16))]
    assert name == "cmsht2"
    return (32, 32), np.float32, [lambda v, h: orbelix.cmsht2(v, h(10), 10),
                                  lambda v, h: orbelix.cmsht2(v, 10, h(10)),
                                  lambda v, h: orbelix.cmsht2(v, 10, 10, l=h(32)),
                                  lambda v, h: orbelix.cmsht2(v, 10, 10, m=h(32)),
                                  lambda v, h: orbelix.cmsht2(v, 10, 10, coarse=h(0.2)),
                                  lambda v, h: orbelix.cmsht2(v, 10, 10, fine=h(0.1)),
                                  lambda v, h: orbelix.cmsht2(v, 10, 10, kernel_size=h(7))]


ROUTINES = ["fst", "ifst", "dst2", "idst2", "imfreq", "cmsht2"]


@pytest.mark.parametrize("change", [None, resizes, lambda owner: gives_new_data(owner, 8)],
                         ids=["nothing", "resize", "setstate"])
@pytest.mark.parametrize("wrap", [False, True], ids=["view", "__array__"])
@pytest.mark.parametrize("name", ROUTINES)
def test_owner_changed_during_conversion_is_refused_else_read(name, wrap, change):
    # Conversions that run Python code but change nothing keep the result of
    # a private copy of the input.
    shape, dtype, cases = calls(name)
    for call in cases:
        owner, view = view_of_owner(shape, dtype)
        arg = HandsOut(view) if wrap else view
        if change is None:
            got = call(arg, lambda value: Converts(value, lambda: None))
            want = call(np.array(view, order="F"), lambda value: value)
            assert np.array_equal(got, want, equal_nan=True)
            continue
        with pytest.raises(RuntimeError, match=rf"^the input array of orbelix\.{name} was "
                                               r"resized or given new data during the call$"):
            call(arg, lambda value: Converts(value, change(owner)))
