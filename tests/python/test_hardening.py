"""Arguments that change under the wrapper's feet, extents beyond 32 bits, and sizes
beyond the routines' arithmetic: always a Python exception or a correct result."""
import re

import numpy as np
import pytest

import orbelix
from hostile import Converts, resizes, run_child, under_asan

ERROR = orbelix._orbelix_error


def setstate(a, shape, data):
    data = np.asarray(data, a.dtype)
    return lambda: a.__setstate__((1, shape, a.dtype, True, data.tobytes(order="F")))


def signal(n, seed=0):
    rng = np.random.default_rng(seed)
    return (rng.standard_normal(n) + 1j * rng.standard_normal(n)).astype(np.complex64)


def image(n, seed=0, dtype=np.complex64):
    rng = np.random.default_rng(seed)
    return np.asfortranarray(rng.standard_normal((n, n)).astype(dtype))


# ---- the input shrunk while a scalar is converted -----------------------------------

# (call, message): the array the routine would read is smaller than the scalars ask
# for now, so the wrapper's check refuses it instead of reading past its end.
def shrink_cases():
    h = signal(1024)
    yield "fst", lambda: orbelix.fst(h, Converts(8, resizes(h, 4))), \
        r"^\(len\(h\)>=n\) failed for 1st keyword n: fst:n=8$"
    h2 = signal(1024)
    yield "fst setstate", lambda: orbelix.fst(h2, Converts(8, setstate(h2, (2,), [1, 2]))), \
        r"^\(len\(h\)>=n\) failed for 1st keyword n: fst:n=8$"
    s = np.asfortranarray(orbelix.fst(signal(64)))
    yield "ifst", lambda: orbelix.ifst(s, Converts(64, resizes(s, (3, 4)))), \
        r"^\(\(shape\(s,0\)-1.0\)/\(0.5\)==n\) failed for 1st keyword n: ifst:n=64$"
    for name in ("dst2", "idst2"):
        a = image(64)
        arg = "h" if name == "dst2" else "s"
        yield name, (lambda a=a, name=name: getattr(orbelix, name)(a, Converts(64, resizes(a, (2, 2))))), \
            rf"^\(shape\({arg},0\)==n\) failed for 1st keyword n: {name}:n=64$"
    s2 = image(16)
    yield "imfreq", lambda: orbelix.imfreq(s2, Converts(3, resizes(s2, (2, 2))), 3), \
        r"^\(shape\(s,0\)==l\) failed for 1st keyword l: imfreq:l=16$"
    r = image(32, dtype=np.float32)
    yield "cmsht2", lambda: orbelix.cmsht2(r, Converts(10, resizes(r, (4, 4))), 10), \
        r"^\(shape\(r,0\)==l\) failed for 1st keyword l: cmsht2:l=32$"
    r2 = image(32, dtype=np.float32)
    coarse = Converts(0.2, setstate(r2, (32, 2), np.zeros(64)))
    yield "cmsht2 coarse", lambda: orbelix.cmsht2(r2, 10, 10, coarse=coarse), \
        r"^\(shape\(r,1\)==m\) failed for 2nd keyword m: cmsht2:m=32$"


SHRINK = {name: (call, message) for name, call, message in shrink_cases()}


@pytest.mark.parametrize("name", sorted(SHRINK))
def test_input_shrunk_during_conversion_is_refused(name):
    call, message = SHRINK[name]
    with pytest.raises(ERROR, match=message):
        call()


def test_input_replaced_during_conversion_is_read_as_it_is_then():
    # Same extents, new buffer and contents: the routine sees the new data.
    h = signal(64, seed=1)
    new = signal(64, seed=2)
    got = orbelix.fst(h, Converts(64, setstate(h, (64,), new)))
    assert np.array_equal(got, orbelix.fst(new))
    # Grown: a new, larger buffer; the first n samples of it are transformed.
    h = signal(16, seed=3)
    keep = h.copy()
    got = orbelix.fst(h, Converts(16, resizes(h, 4096)))
    assert np.array_equal(got, orbelix.fst(keep))
    # A new element type: the input is converted again, as a copy.
    s = image(16, seed=4)
    new = image(16, seed=5).real.astype(np.float64)
    got = orbelix.imfreq(s, Converts(5, lambda: s.__setstate__((1, (16, 16), np.dtype(np.float64), True, new.tobytes(order="F")))), 9)
    assert np.array_equal(got, orbelix.imfreq(new, 5, 9))


# ---- extents beyond 32 bits ---------------------------------------------------------

@pytest.fixture(scope="module")
def sparse(tmp_path_factory):
    """A sparse file of 2**32 + 8 complex64 zeros (32 GiB apparent, nothing on disk),
    opened as memory maps of any shape; only the pages a call touches are read."""
    path = tmp_path_factory.mktemp("sparse") / "zeros.bin"
    size = (2**32 + 8) * 8
    with open(path, "wb") as f:
        f.truncate(size)

    def view(shape, dtype=np.complex64):
        return np.memmap(path, dtype=dtype, mode="r", shape=shape, order="F")
    return view


@pytest.mark.parametrize("count", [2**32 + 8, 2**31 + 8, 2**31])
def test_fst_default_length_beyond_32_bits_is_refused(sparse, count):
    h = sparse((count,))
    with pytest.raises(OverflowError, match=rf"^len\(h\)={count} does not fit the 32-bit argument n of orbelix\.fst$"):
        orbelix.fst(h)
    # An explicit n in range reads only its first n samples.
    assert np.array_equal(orbelix.fst(h, 8), np.zeros((5, 8), np.complex64))


@pytest.mark.parametrize("call, shape, dtype, message", [
    (lambda a: orbelix.ifst(a), (2**31, 1), np.complex64,
     r"^\(shape\(s,0\)-1\.0\)/\(0\.5\)=4294967294 does not fit the 32-bit argument n of orbelix\.ifst$"),
    (lambda a: orbelix.dst2(a), (2**32 + 8, 1), np.complex64,
     r"^shape\(h,0\)=4294967304 does not fit the 32-bit argument n of orbelix\.dst2$"),
    (lambda a: orbelix.idst2(a), (2**31, 2), np.complex64,
     r"^shape\(s,0\)=2147483648 does not fit the 32-bit argument n of orbelix\.idst2$"),
    (lambda a: orbelix.imfreq(a, 0, 0), (2**32 + 8, 1), np.complex64,
     r"^shape\(s,0\)=4294967304 does not fit the 32-bit argument l of orbelix\.imfreq$"),
    (lambda a: orbelix.cmsht2(a, 0, 0, kernel_size=-1), (2**32 + 16, 1), np.float32,
     r"^shape\(r,0\)=4294967312 does not fit the 32-bit argument l of orbelix\.cmsht2$"),
    (lambda a: orbelix.cmsht2(a, 0, 0, kernel_size=-1), (1, 2**32 + 16), np.float32,
     r"^shape\(r,1\)=4294967312 does not fit the 32-bit argument m of orbelix\.cmsht2$"),
], ids=["ifst", "dst2", "idst2", "imfreq", "cmsht2-l", "cmsht2-m"])
def test_default_extents_beyond_32_bits_are_refused(sparse, call, shape, dtype, message):
    with pytest.raises(OverflowError, match=message):
        call(sparse(shape, dtype))


def test_extents_in_range_keep_their_defaults(sparse):
    # The largest extent that fits is taken as it is (and then checked as before).
    r = sparse((1, 2**31 - 1), np.float32)
    assert orbelix.cmsht2(r, 0, 0, kernel_size=-1).shape == (4,)  # m = 2**31 - 1
    with pytest.raises(ERROR, match=r"^\(shape\(r,1\)==m\) failed for 2nd keyword m: cmsht2:m=5$"):
        orbelix.cmsht2(r, 0, 0, m=5)
    with pytest.raises((MemoryError, ValueError)):
        orbelix.fst(sparse((2**31 - 1,)))  # n fits; its (2**30, n) result cannot be allocated


# ---- sizes beyond the routines' arithmetic, from Python -----------------------------

def test_fst_beyond_the_fft_tables_raises_without_ending_the_process(sparse):
    # n = 2**30 + 100: the result alone is 2**62 bytes; a Python exception, not a stop.
    with pytest.raises((MemoryError, ValueError)) as info:
        orbelix.fst(sparse((2**30 + 100,)))
    assert "failed in converting hidden `s' of orbelix.fst" in str(info.value)


# ---- working arrays that cannot be allocated -------------------------------------

MEMORY_CHILD = r"""
import re, resource, sys
import re

import numpy as np
import orbelix

name, n, extra = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rng = np.random.default_rng(0)
shape = (n,) if name == "fst" else (n, n)
x = np.asfortranarray(rng.standard_normal(shape) + 1j * rng.standard_normal(shape), np.complex64)
result = (n // 2 + 1) * n * 8 if name == "fst" else n * n * 8
getattr(orbelix, name)(x[:16] if name == "fst" else x[:16, :16])  # code and caches in place
status = open("/proc/self/status").read()
mapped = int(re.search(r"VmSize:\s+(\d+) kB", status).group(1)) * 1024
# Room for the result (and its header) and `extra` bytes of working arrays.
resource.setrlimit(resource.RLIMIT_AS, (mapped + result + 16384 + extra, resource.RLIM_INFINITY))
try:
    getattr(orbelix, name)(x)
    print("returned")
except MemoryError as e:
    print(e)
"""

@under_asan
@pytest.mark.parametrize("name, n", [("fst", 4096), ("dst2", 2048)])
def test_working_arrays_that_cannot_be_allocated_are_named_with_their_size(name, n):
    # Room for the result only: the routine's own arrays cannot be had.
    message = run_child(MEMORY_CHILD, name, n, 0)
    match = re.fullmatch(rf"the working arrays of orbelix\.{name} for n={n} \(about "
                         r"([0-9.e-]+) GB\) could not be allocated", message)
    assert match, message
    stated = float(match.group(1)) * 1e9
    # The size stated is what the call needs, within a factor of two (and
    # the slack of aligned and page-rounded mappings).
    assert run_child(MEMORY_CHILD, name, n, int(stated / 2)) == message
    assert run_child(MEMORY_CHILD, name, n, int(2 * stated) + (4 << 20)) == "returned"
