"""Large fst results reuse the pages of a result that is gone: the numbers
stay those of a fresh result, live results never share memory, and the
result is an ordinary array that owns its data."""
import pickle

import numpy as np

import orbelix

# A result above the size from which pages are kept: 2049 x 4096 complex64.
N = 4096


def signal(seed):
    rng = np.random.default_rng(seed)
    return (rng.standard_normal(N) + 1j * rng.standard_normal(N)).astype(np.complex64)


def test_reused_pages_give_the_numbers_of_fresh_ones():
    # The second y transform lands on the pages x's result left behind:
    # any value not written would show x's numbers instead of y's.
    x, y = signal(1), signal(2)
    keep = orbelix.fst(x)  # occupies memory while y's first result is made
    fresh = orbelix.fst(y)
    want = fresh.copy()
    del keep, fresh
    s = orbelix.fst(x)
    del s
    again = orbelix.fst(y)
    assert np.array_equal(again.view(np.uint64), want.view(np.uint64))
    # The same holds with the pages of y's own earlier result, which differ
    # from y's numbers nowhere, and of a result of the constant signal.
    del again
    orbelix.fst(np.ones(N, np.complex64))
    assert np.array_equal(orbelix.fst(y).view(np.uint64), want.view(np.uint64))


def test_live_results_never_share_memory_and_a_freed_one_is_reused():
    x = signal(3)
    a = orbelix.fst(x)
    b = orbelix.fst(x)
    assert not np.shares_memory(a, b)
    address = a.ctypes.data
    del a
    c = orbelix.fst(x)
    assert c.ctypes.data == address
    assert not np.shares_memory(b, c)
    assert np.array_equal(b.view(np.uint64), c.view(np.uint64))


def test_result_is_an_ordinary_owning_array():
    s = orbelix.fst(signal(4))
    assert s.flags.owndata and s.flags.f_contiguous and s.flags.writeable and s.base is None
    assert s.dtype == np.complex64 and s.shape == (N // 2 + 1, N)
    copy = pickle.loads(pickle.dumps(s))
    assert np.array_equal(copy, s)
    head = s.ravel(order="F")[:15].copy()  # the first values in memory
    s.resize((15,), refcheck=False)  # through the pages' own resize
    assert s.flags.owndata and s.size == 15
    assert np.array_equal(s, head)
    s.resize((2 * N * N,), refcheck=False)  # larger than any kept block
    s[-1] = 1 + 2j
    assert s[-1] == 1 + 2j
    del s
    assert not orbelix.fst(np.zeros(N, np.complex64)).any()
