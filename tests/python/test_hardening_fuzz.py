"""A bounded, seeded fuzz of both packages with hostile arguments: views whose
owner is resized or given new data by a scalar's conversion, objects handing
out the caller's arrays, str and ndarray subclasses with Python code in their
methods, odd dtypes, layouts and strides. Every call returns the result of a
private, plain copy of its arguments or raises one of the documented kinds;
RuntimeError only after the input's memory was changed under the call. Run
under AddressSanitizer by the full test command, where a read of freed or
foreign memory that does not crash is caught too."""
import random
import warnings

import numpy as np
import pytest

import orbelix
import orbelix_tools as ot
from hostile import Converts, HandsOut, Lying, Option, armed, give_new_data

pytestmark = pytest.mark.slow

SEED = 20261209
CASES = 1500  # per package

ALLOWED = (orbelix._orbelix_error, ValueError, TypeError, OverflowError, IndexError,
           MemoryError, RecursionError)


class Action:
    """What a hostile argument does when Python code of it runs, and whether
    that changed memory a call may read (a RuntimeError is then allowed)."""

    def __init__(self, rng, owner):
        self.kind = rng.choice(["none", "none", "resize", "setstate", "reshape", "raise"])
        self.owner = owner
        self.changed = False

    def __call__(self):
        o = self.owner
        if self.kind == "resize":
            try:
                o.resize(max(1, o.size // 3), refcheck=False)
                self.changed = True
            except ValueError:
                pass  # pinned: NumPy refuses
        elif self.kind == "setstate":
            give_new_data(o)
            self.changed = True
        elif self.kind == "reshape" and o.ndim == 2:
            try:
                o.shape = o.shape[::-1]
            except AttributeError:
                pass  # not contiguous: NumPy refuses
        elif self.kind == "raise":
            raise ZeroDivisionError("from a hostile argument")


def arm_subclass(rng, owner, actions):
    """An owner of the ndarray subclass runs an action of its own when its
    attributes are read."""
    if isinstance(owner, Lying):
        action = Action(rng, owner)
        actions.append(action)
        Lying.action = staticmethod(action)


DTYPES = [np.complex64, np.complex64, np.complex128, np.float32, np.float64, np.int16,
          np.float16, ">c8", ">f8", np.bool_]


def make_input(rng, shape, dtype):
    """(argument, owner, plain copy, view): an array of shape in one of many
    layouts, the array owning its memory (None for a list), a private copy of
    its values, and whether the argument only views the owner's memory."""
    size = int(np.prod(shape))
    values = np.random.default_rng(rng.randrange(2**32)).standard_normal(2 * size + 8)
    layout = rng.choice(["fresh", "F", "view", "strided", "subclass", "handout", "list", "masked"])
    if layout == "list":
        a = np.asarray(values[:size], dtype).reshape(shape)
        return a.tolist(), None, a.copy(), False
    owner = np.asarray(values * 4, dtype)
    if layout == "fresh":
        owner = owner[:size].reshape(shape).copy()
        a = owner
    elif layout == "F":
        owner = np.asfortranarray(owner[:size].reshape(shape))
        a = owner
    elif layout == "strided":
        a = owner[: 2 * size: 2].reshape(shape)
    elif layout == "subclass":
        owner = owner.view(Lying)
        a = owner[:size].reshape(shape, order="F")
    else:
        a = owner[:size].reshape(shape, order=rng.choice("CF"))
    plain, view = np.array(a), a is not owner
    if layout == "handout":
        return HandsOut(a), owner, plain, view
    if layout == "masked":
        return np.ma.array(a, mask=False), owner, plain, view
    return a, owner, plain, view


def call_checked(call, hostile_call, actions, view):
    """hostile_call() either matches call() (the plain arguments) bit for bit or
    raises an allowed error; RuntimeError only once memory was changed. An
    input that only views memory whose owner was changed (view) is read only
    if it was copied before the change: a result then is the plain one."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        try:
            got = hostile_call()
        except ZeroDivisionError:
            return "hostile"
        except RuntimeError as e:
            assert any(a.changed for a in actions), e
            assert "given new data during the call" in str(e)
            return "refused"
        except ALLOWED:
            return "error"
        if any(a.changed or a.kind == "reshape" for a in actions) and not view:
            return "changed"  # the result of what the arguments became
        want = call()
    if isinstance(got, tuple):
        assert len(got) == len(want)
        for g, w in zip(got, want):
            assert np.array_equal(g, w, equal_nan=True)
    else:
        assert np.array_equal(got, want, equal_nan=True)
    return "result"


# ---- orbelix ---------------------------------------------------------------------------

ROUTINES = {
    # name: (input rank, input is real, scalar names and their natural values)
    "fst": (1, False, lambda s: [("n", s[0])]),
    "ifst": (2, False, lambda s: [("n", 2 * (s[0] - 1))]),
    "dst2": (2, False, lambda s: [("n", s[0])]),
    "idst2": (2, False, lambda s: [("n", s[0])]),
    "imfreq": (2, False, lambda s: [("x", s[0] // 2), ("y", s[0] // 3), ("l", s[0])]),
    "cmsht2": (2, True, lambda s: [("x", s[0] // 2), ("y", s[1] // 2), ("l", s[0]), ("m", s[1]),
                                   ("coarse", 0.2), ("fine", 0.1), ("kernel_size", 3)]),
}


def module_case(rng):
    name = rng.choice(sorted(ROUTINES))
    rank, real, scalars = ROUTINES[name]
    side = rng.choice([1, 2, 4, 8, 16, 32])
    if rank == 1:
        shape = (rng.choice([1, 2, 3, 8, 17, 64]),)
    elif name == "ifst":
        n = rng.choice([2, 4, 8, 16])
        shape = (n // 2 + 1, n)
    elif name == "cmsht2":
        shape = (rng.choice([8, 16, 17]), rng.choice([8, 16, 20]))
    else:
        shape = (side, side)
    dtype = np.float32 if real and rng.random() < 0.7 else rng.choice(DTYPES)
    arg, owner, plain, view = make_input(rng, shape, dtype)
    actions = []
    plain_args, hostile_args = {}, {}
    for i, (key, natural) in enumerate(scalars(shape)):
        if i >= 2 and rng.random() < 0.5:
            continue  # an optional argument left out
        value = natural if rng.random() < 0.8 else rng.choice([0, 1, -1, 3, 2**31, natural + 1])
        plain_args[key] = value
        if owner is not None and rng.random() < 0.4:
            action = Action(rng, owner)
            actions.append(action)
            hostile_args[key] = Converts(value, action)
        else:
            hostile_args[key] = value
    arm_subclass(rng, owner, actions)
    f = getattr(orbelix, name)
    return (lambda: f(plain.copy(order="F"), **plain_args),
            lambda: f(arg, **hostile_args), actions, view)


# ---- orbelix_tools ---------------------------------------------------------------------

def tools_case(rng):
    name = rng.choice(["stransform", "stransform", "tfr_power", "istransform"])
    n = rng.choice([1, 2, 5, 16, 31, 64])
    dtype = rng.choice(DTYPES)
    if name == "stransform":
        shape = rng.choice([(n,), (2, n), (3, n), (n, 2)])
    elif name == "tfr_power":
        shape = rng.choice([(2, n), (3, 2, n), (1, n)])
    else:
        dtype = rng.choice([np.complex64, np.complex128, ">c8"])
        shape = rng.choice([(n // 2 + 1, n), (2, n // 2 + 1, n)])
    arg, owner, plain, view = make_input(rng, shape, dtype)
    actions = []

    def maybe_hostile(value, kind):
        if owner is None or rng.random() > 0.3:
            return value
        action = Action(rng, owner)
        actions.append(action)
        if kind == "str":
            Option.action = staticmethod(action)
            return Option(value)
        return Converts(value, action)

    fs = rng.choice([1.0, 64.0, 100.0])
    kw, hostile_kw = {}, {}

    def add(key, value, kind="number"):
        kw[key] = value
        hostile_kw[key] = maybe_hostile(value, kind)

    workers = rng.choice([1, 1, 2, 3, -1])
    kw["workers"] = hostile_kw["workers"] = workers
    if name == "istransform":
        f = np.arange(shape[-2]) * fs / n
        add("fs", fs)
        add("phase", rng.choice(["local", "absolute", "bogus"]), "str")
        arm_subclass(rng, owner, actions)
        return (lambda: ot.istransform(f, plain.copy(), n, **kw),
                lambda: ot.istransform(f, arg, n, **hostile_kw), actions, view)
    if rng.random() < 0.5:
        add("fmin", rng.choice([0.0, fs / 8]))
    if rng.random() < 0.5:
        add("fmax", rng.choice([fs / 4, fs / 2, fs]))
    if rng.random() < 0.3:
        add("decim", rng.choice([1, 2, 3, 100]))
    if rng.random() < 0.3:
        add("width", rng.choice([0.5, 1.0, 2.0]))
    if name == "stransform":
        add("phase", rng.choice(["local", "absolute"]), "str")
        add("output", rng.choice(["complex", "power", "magnitude", "Power"]), "str")
    if shape[-1] != n:
        kw["axis"] = hostile_kw["axis"] = 0
    arm_subclass(rng, owner, actions)
    f = getattr(ot, name)
    return (lambda: f(plain.copy(), fs, **kw), lambda: f(arg, fs, **hostile_kw), actions, view)


@pytest.mark.parametrize("case, seed", [(module_case, SEED), (tools_case, SEED + 1)],
                         ids=["orbelix", "orbelix_tools"])
def test_fuzz(case, seed):
    rng = random.Random(seed)
    outcomes = {}
    with armed(Lying, lambda: None), armed(Option, lambda: None):
        for _ in range(CASES):
            outcome = call_checked(*case(rng))
            outcomes[outcome] = outcomes.get(outcome, 0) + 1
    print(outcomes)
    # The cases reach every outcome, results included.
    assert set(outcomes) >= {"result", "error", "refused", "hostile"}, outcomes
