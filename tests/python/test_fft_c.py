"""The exported FFT routines, called by address as a C caller would."""
import subprocess
import sys
import textwrap
from pathlib import Path

import numpy as np
import pytest

import fft_pass_model as model
from cabi import Ier, i32, ptr
from fft_engine import cfft1, cfft2, cfftm


def rms_rel(got, ref):
    return np.sqrt(np.mean(np.abs(got - ref) ** 2) / np.mean(np.abs(ref) ** 2))


def smooth(n):
    for p in (2, 3, 5):
        while n % p == 0:
            n //= p
    return n == 1


def signal(n, seed):
    rng = np.random.default_rng(seed)
    return (rng.standard_normal(n) + 1j * rng.standard_normal(n)).astype(np.complex64)


def test_every_length_up_to_512_against_float64(lib):
    worst = {True: 0.0, False: 0.0}
    for n in range(1, 513):
        x = signal(n, n)
        x64 = x.astype(np.complex128)
        fwd = rms_rel(cfft1(lib, x, True), np.fft.fft(x64) / n)
        bwd = rms_rel(cfft1(lib, x, False), np.fft.ifft(x64) * n)
        s = smooth(n)
        worst[s] = max(worst[s], fwd, bwd)
    assert worst[True] <= 1e-6
    assert worst[False] <= 5e-6


def test_large_prime_and_long_round_trip(lib):
    x = signal(4099, 1)
    assert rms_rel(cfft1(lib, x, True), np.fft.fft(x.astype(np.complex128)) / 4099) <= 5e-6
    n = 1 << 20
    x = signal(n, 2)
    back = cfft1(lib, cfft1(lib, x, True), False)
    assert rms_rel(back, x) <= 1e-6


@pytest.mark.parametrize("n", [1, 6, 14, 49, 210])
def test_stride_three_leaves_the_gaps(lib, n):
    x = signal(n, 3)
    c = cfft1(lib, x, True, inc=3)
    assert np.all(np.delete(c, np.s_[::3]) == 7 - 7j)
    np.testing.assert_array_equal(c[::3], cfft1(lib, x, True))


@pytest.mark.parametrize("n,lot,jump,inc", [
    (16, 8, 1, 8),      # interleaved, sequence stride 1
    (12, 5, 12, 1),     # end to end
    (7, 3, 1, 4),       # interleaved with a gap
    (30, 4, 70, 2),     # strided both ways
    (49, 6, 3, 17),
    (143, 5, 1, 5),     # 11 and 13, interleaved
    (91, 3, 100, 1),    # 7 and 13, end to end with a gap
    (1, 4, 2, 1),       # length 1: nothing to do
])
def test_many_sequences_are_bit_identical_to_single_ones(lib, n, lot, jump, inc):
    size = (lot - 1) * jump + inc * (n - 1) + 1
    c = np.full(size, 3 + 3j, np.complex64)
    seqs = [signal(n, 10 * s + n) for s in range(lot)]
    for s, x in enumerate(seqs):
        c[s * jump: s * jump + inc * (n - 1) + 1: inc] = x
    for forward in (True, False):
        d = c.copy()
        assert cfftm(lib, d, lot, jump, n, inc, forward) == 0
        for s, x in enumerate(seqs):
            got = d[s * jump: s * jump + inc * (n - 1) + 1: inc]
            want = cfft1(lib, x, forward)
            np.testing.assert_array_equal(np.ascontiguousarray(got).view(np.uint32),
                                          want.view(np.uint32))
        touched = np.zeros(size, bool)
        for s in range(lot):
            touched[s * jump: s * jump + inc * (n - 1) + 1: inc] = True
        assert np.all(d[~touched] == 3 + 3j)


@pytest.mark.parametrize("shape", [(1, 1), (4, 4), (8, 3), (5, 7), (1, 9), (9, 1), (64, 64),
                                   (256, 96), (1024, 1024)])
def test_2d_against_numpy_fft2(lib, shape):
    l, m = shape
    rng = np.random.default_rng(l * m)
    x = (rng.standard_normal(shape) + 1j * rng.standard_normal(shape)).astype(np.complex64)
    a = np.array(x, order="F")
    assert cfft2(lib, a, True) == 0
    bar = 1e-6 if smooth(l) and smooth(m) else 5e-6
    assert rms_rel(a, np.fft.fft2(x.astype(np.complex128)) / (l * m)) <= bar
    assert cfft2(lib, a, False) == 0
    assert rms_rel(a, x) <= 2 * bar


def test_2d_leading_dimension_rows_stay_untouched(lib):
    l, m, ldim = 5, 6, 8
    rng = np.random.default_rng(5)
    full = np.asfortranarray((rng.standard_normal((ldim, m)) + 1j * rng.standard_normal((ldim, m)))
                             .astype(np.complex64))
    pad = full[l:].copy()
    a = full.copy(order="F")
    assert cfft2(lib, a, True, ldim=l) == 0
    np.testing.assert_array_equal(a[l:], pad)
    ref = np.fft.fft2(full[:l].astype(np.complex128)) / (l * m)
    assert rms_rel(a[:l], ref) <= 1e-6


# Bit for bit against the float32 model of the tables and passes: every
# radix (4, 2, 3, 5, general odd), twiddled passes, the last pass in place or
# from work, and the scaling of the forward last pass.
MODEL_LENGTHS = [1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 25, 26, 27, 30, 31, 32,
                 38, 45, 49, 60, 77, 91, 92, 96, 97, 98, 116, 120, 121, 125, 143, 169, 210, 222, 243,
                 289, 360, 392, 512, 551, 625, 637, 656, 1001, 1024, 1331, 4096, 6000]


def built_table(lib, n):
    w = np.full(model.ilog2(n) + 2 * n + 4, np.nan, np.float32)
    ier = Ier()
    lib.cfft1i(i32(n), ptr(w), i32(len(w)), ier.ref)
    assert ier.value == 0
    return w


@pytest.mark.parametrize("n", MODEL_LENGTHS + [8192, 32768, 1009])
def test_tables_hold_factors_and_twiddles_bit_for_bit(lib, n):
    np.testing.assert_array_equal(built_table(lib, n).view(np.uint32), model.table(n).view(np.uint32))


def test_2d_table_is_the_two_tables_side_by_side(lib):
    l, m = 12, 35
    at = 2 * l + model.ilog2(l) + 2
    w = np.full(at + 2 * m + model.ilog2(m) + 6, np.nan, np.float32)
    ier = Ier()
    lib.cfft2i(i32(l), i32(m), ptr(w), i32(len(w)), ier.ref)
    assert ier.value == 0
    np.testing.assert_array_equal(w[:at].view(np.uint32), model.table(l)[:at].view(np.uint32))
    wm = model.table(m)
    np.testing.assert_array_equal(w[at:at + len(wm)].view(np.uint32), wm.view(np.uint32))


@pytest.mark.parametrize("n", MODEL_LENGTHS)
def test_transforms_follow_the_pass_model_bit_for_bit(lib, n):
    w = model.table(n)
    for forward in (True, False):
        x = signal(n, 100 + n)
        got = cfft1(lib, x, forward)
        want = model.transform(x, forward, w)
        np.testing.assert_array_equal(got.view(np.uint32), want.view(np.uint32))


def test_2d_transforms_follow_the_pass_model_bit_for_bit(lib):
    # The second dimension first, each row one sequence, then the columns.
    for l, m in ((8, 3), (5, 7), (1, 6), (6, 1), (14, 9)):
        x = np.asfortranarray(signal(l * m, l + m).reshape(l, m))
        for forward in (True, False):
            want = x.copy()
            for r in range(l):
                want[r] = model.transform(want[r], forward, model.table(m))
            for c in range(m):
                want[:, c] = model.transform(want[:, c], forward, model.table(l))
            got = x.copy(order="F")
            assert cfft2(lib, got, forward) == 0
            np.testing.assert_array_equal(got.reshape(-1, order="F").view(np.uint32),
                                          want.reshape(-1, order="F").view(np.uint32))


ERROR_SCRIPT = textwrap.dedent("""
    import sys
    sys.path.insert(0, {tests!r})
    import numpy as np
    from cabi import Ier, i32, load, ptr
    lib = load()
    n = 16
    c = np.arange(n, dtype=np.complex64)
    keep = c.copy()
    wsave = np.zeros(2 * n + 8, np.float32)
    work = np.zeros(2 * n, np.float32)
    ier = Ier()
    lib.cfft1i(i32(n), ptr(wsave), i32(2 * n + 8), ier.ref)
    {call}
    print("ier", ier.value, "untouched", bool(np.array_equal(c, keep)))
""")

CALLS = {
    "short work": (
        "lib.cfft1f(i32(n), i32(1), ptr(c), i32(n), ptr(wsave), i32(2*n+8), ptr(work), i32(2*n-1), ier.ref)",
        " ** On entry to CFFT1F parameter number   8 had an illegal value\nier 3 untouched True\n"),
    "short data": (
        "lib.cfft1b(i32(n), i32(2), ptr(c), i32(n), ptr(wsave), i32(2*n+8), ptr(work), i32(2*n), ier.ref)",
        " ** On entry to CFFT1B parameter number   4 had an illegal value\nier 1 untouched True\n"),
    "short table": (
        "lib.cfft1f(i32(n), i32(1), ptr(c), i32(n), ptr(wsave), i32(2*n+7), ptr(work), i32(2*n), ier.ref)",
        " ** On entry to CFFT1F parameter number   6 had an illegal value\nier 2 untouched True\n"),
    "short table at init": (
        "lib.cfft1i(i32(n), ptr(wsave), i32(2*n+7), ier.ref)",
        " ** On entry to CFFT1I parameter number   3 had an illegal value\nier 2 untouched True\n"),
    "zero length": (
        "lib.cfft1f(i32(0), i32(1), ptr(c), i32(n), ptr(wsave), i32(2*n+8), ptr(work), i32(2*n), ier.ref)",
        " ** On entry to CFFT1F parameter number   1 had an illegal value\nier 10 untouched True\n"),
    "overlapping sequences": (
        "lib.cfftmf(i32(2), i32(1), i32(8), i32(1), ptr(c), i32(n), ptr(wsave), i32(2*n+8), ptr(work), i32(2*n), ier.ref)",
        " ** On entry to CFFTMF parameters LOT, JUMP, N and INC are inconsistent\nier 4 untouched True\n"),
    "zero jump": (
        "lib.cfftmb(i32(2), i32(0), i32(8), i32(1), ptr(c), i32(n), ptr(wsave), i32(2*n+8), ptr(work), i32(2*n), ier.ref)",
        " ** On entry to CFFTMB parameters LOT, JUMP, N and INC are inconsistent\nier 4 untouched True\n"),
    "ldim below l": (
        "lib.cfft2f(i32(3), i32(4), i32(4), ptr(c), ptr(wsave), i32(2*n+8), ptr(work), i32(2*n), ier.ref)",
        " ** On entry to CFFT2F parameter L is greater than LDIM\nier 5 untouched True\n"),
    "2-D short work": (
        "lib.cfft2i(i32(4), i32(4), ptr(wsave), i32(2*n+8), ier.ref); "
        "lib.cfft2b(i32(4), i32(4), i32(4), ptr(c), ptr(wsave), i32(2*n+8), ptr(work), i32(2*n-1), ier.ref)",
        " ** On entry to CFFT2B parameter number   8 had an illegal value\nier 3 untouched True\n"),
}


@pytest.mark.parametrize("case", sorted(CALLS))
def test_error_records_are_written_and_the_process_goes_on(case):
    call, expected = CALLS[case]
    script = ERROR_SCRIPT.format(tests=str(Path(__file__).parent), call=call)
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert done.returncode == 0, done.stderr
    assert done.stdout == expected
