"""Thin ctypes drivers of the exported FFT routines, for the tests."""
import numpy as np

from cabi import Ier, i32, ptr


def ilog2(n):
    return int(np.float32(np.log(np.float32(n))) / np.float32(0.6931472))


def table_len(n):
    return 2 * n + ilog2(n) + 4


def cfft1(lib, x, forward=True, inc=1):
    """Transforms x (complex64 values) at element stride inc; returns the
    whole strided buffer after the call."""
    n = len(x)
    lensav = table_len(n)
    wsave = np.zeros(lensav, np.float32)
    ier = Ier()
    lib.cfft1i(i32(n), ptr(wsave), i32(lensav), ier.ref)
    assert ier.value == 0
    c = np.full(inc * (n - 1) + 1, 7 - 7j, np.complex64)
    c[::inc] = x
    work = np.zeros(2 * n, np.float32)
    run = lib.cfft1f if forward else lib.cfft1b
    run(i32(n), i32(inc), ptr(c), i32(len(c)), ptr(wsave), i32(lensav), ptr(work), i32(2 * n),
        ier.ref)
    assert ier.value == 0
    return c


def cfftm(lib, c, lot, jump, n, inc, forward=True):
    """Transforms lot sequences laid out in the complex64 buffer c, in place."""
    lensav = table_len(n)
    wsave = np.zeros(lensav, np.float32)
    ier = Ier()
    lib.cfftmi(i32(n), ptr(wsave), i32(lensav), ier.ref)
    assert ier.value == 0
    work = np.zeros(2 * lot * n, np.float32)
    run = lib.cfftmf if forward else lib.cfftmb
    run(i32(lot), i32(jump), i32(n), i32(inc), ptr(c), i32(len(c)), ptr(wsave), i32(lensav),
        ptr(work), i32(2 * lot * n), ier.ref)
    return ier.value


def cfft2(lib, a, forward=True, ldim=None):
    """Transforms the first l rows of the column-major complex64 array a
    (shape (ldim, m)) in place."""
    ldim_, m = a.shape
    l = ldim_ if ldim is None else ldim
    assert a.flags.f_contiguous
    lensav = table_len(l) + table_len(m)
    wsave = np.zeros(lensav, np.float32)
    ier = Ier()
    lib.cfft2i(i32(l), i32(m), ptr(wsave), i32(lensav), ier.ref)
    assert ier.value == 0
    work = np.zeros(2 * l * m, np.float32)
    run = lib.cfft2f if forward else lib.cfft2b
    run(i32(ldim_), i32(l), i32(m), ptr(a), ptr(wsave), i32(lensav), ptr(work), i32(2 * l * m),
        ier.ref)
    return ier.value
