"""An independent float32 model of the FFT engine, for bit-for-bit tests.

The table of a length (factors, then twiddles from libm's sincosf on the
float32 angles) and the self-sorting passes: per factor p with L1 and
IDO = n / (L1 p), input element (k, i, m) at k + L1 (i + IDO m), output
(k, j, i) at k + L1 (j + p i), the radix-p butterfly, the twiddle of output
j at i (cos -/+ i sin, not applied for i = 0 or j = 0) and, on the forward
last pass, the scale 1 / float(p L1). Every operation is one float32 NumPy
operation, in the order the engine rounds them.
"""
import ctypes
import ctypes.util

import numpy as np

f32 = np.float32

_libm = ctypes.CDLL(ctypes.util.find_library("m"))
_libm.logf.restype = ctypes.c_float
_libm.logf.argtypes = [ctypes.c_float]
_libm.sincosf.restype = None
_libm.sincosf.argtypes = [ctypes.c_float, ctypes.POINTER(ctypes.c_float),
                          ctypes.POINTER(ctypes.c_float)]

TAUR, TAUI = f32(-0.5), f32(0.8660254)
TR11, TR12, TI11, TI12 = f32(0.309017), f32(-0.809017), f32(0.95105654), f32(0.58778524)


def ilog2(n):
    return int(f32(_libm.logf(f32(n))) / f32(0.6931472))


def factors(n):
    """4s first, then one 2, 3s, 5s and the other primes increasing."""
    found, rest, trial = [], n, 0
    for j in range(1, n + 1):
        trial = (4, 2, 3, 5)[j - 1] if j <= 4 else trial + 2
        while rest % trial == 0:
            found.append(trial)
            rest //= trial
        if rest == 1:
            return found
    return found


def _sincos(angle):
    s, c = ctypes.c_float(), ctypes.c_float()
    _libm.sincosf(f32(angle), ctypes.byref(s), ctypes.byref(c))
    return c.value, s.value


def table(n):
    """wsave of length n (NaN where nothing is written)."""
    w = np.full(2 * n + ilog2(n) + 4, np.nan, np.float32)
    if n == 1:
        return w
    fac = factors(n)
    w[2 * n] = len(fac)
    w[2 * n + 1:2 * n + 1 + len(fac)] = fac
    tpi, l1, iw = f32(6.2831855), 1, 0
    for p in fac:
        ido = n // (l1 * p)
        argz, arg1 = tpi / f32(p), tpi / f32(ido * p)
        cos = w[iw:iw + ido * (p - 1)].reshape(p - 1, ido)
        sin = w[iw + ido * (p - 1):iw + 2 * ido * (p - 1)].reshape(p - 1, ido)
        for j in range(2, p + 1):
            arg2 = f32(j - 1) * arg1
            for i in range(1, ido + 1):
                cos[j - 2, i - 1], sin[j - 2, i - 1] = _sincos(f32(i - 1) * arg2)
            if p > 5:
                cos[j - 2, 0], sin[j - 2, 0] = _sincos(f32(j - 1) * argz)
        iw += 2 * (p - 1) * ido
        l1 *= p
    return w


def _butterfly(p, xr, xi, sign, root):
    """Outputs j = 0 .. p-1 of one radix-p butterfly (sign -1 forward);
    root(k) gives cos and sin of 2 pi k / p from the table."""
    if p == 2:
        return [xr[0] + xr[1], xr[0] - xr[1]], [xi[0] + xi[1], xi[0] - xi[1]]
    if p == 3:
        tr, ti = xr[1] + xr[2], xi[1] + xi[2]
        cr, ci = xr[0] + TAUR * tr, xi[0] + TAUR * ti
        taui = TAUI if sign > 0 else -TAUI
        dr, di = taui * (xr[1] - xr[2]), taui * (xi[1] - xi[2])
        return [xr[0] + tr, cr - di, cr + di], [xi[0] + ti, ci + dr, ci - dr]
    if p == 4:
        ar, ai, br, bi = xr[0] + xr[2], xi[0] + xi[2], xr[0] - xr[2], xi[0] - xi[2]
        er, ei, dr, di = xr[1] + xr[3], xi[1] + xi[3], xr[1] - xr[3], xi[1] - xi[3]
        fr, fi = (-di, dr) if sign > 0 else (di, -dr)
        return [ar + er, br + fr, ar - er, br - fr], [ai + ei, bi + fi, ai - ei, bi - fi]
    if p == 5:
        a1r, a1i, b1r, b1i = xr[1] + xr[4], xi[1] + xi[4], xr[1] - xr[4], xi[1] - xi[4]
        a2r, a2i, b2r, b2i = xr[2] + xr[3], xi[2] + xi[3], xr[2] - xr[3], xi[2] - xi[3]
        t1, t2 = (TI11, TI12) if sign > 0 else (-TI11, -TI12)
        c2r, c2i = xr[0] + TR11 * a1r + TR12 * a2r, xi[0] + TR11 * a1i + TR12 * a2i
        c3r, c3i = xr[0] + TR12 * a1r + TR11 * a2r, xi[0] + TR12 * a1i + TR11 * a2i
        d2r, d2i = t1 * b1r + t2 * b2r, t1 * b1i + t2 * b2i
        d3r, d3i = t2 * b1r - t1 * b2r, t2 * b1i - t1 * b2i
        return ([xr[0] + a1r + a2r, c2r - d2i, c3r - d3i, c3r + d3i, c2r + d2i],
                [xi[0] + a1i + a2i, c2i + d2r, c3i + d3r, c3i - d3r, c2i - d2r])
    # Odd prime p: terms m and p-m paired into sums and differences, the
    # cosine parts accumulated into output r, the sine parts into p-r.
    half = (p + 1) // 2
    sr = {j: xr[j - 1] + xr[p + 1 - j] for j in range(2, half + 1)}
    si = {j: xi[j - 1] + xi[p + 1 - j] for j in range(2, half + 1)}
    dr = {p + 2 - j: xr[j - 1] - xr[p + 1 - j] for j in range(2, half + 1)}
    di = {p + 2 - j: xi[j - 1] - xi[p + 1 - j] for j in range(2, half + 1)}
    yr, yi = [None] * p, [None] * p
    yr[0], yi[0] = xr[0], xi[0]
    for j in range(2, half + 1):
        yr[0], yi[0] = yr[0] + sr[j], yi[0] + si[j]
    sgn = f32(sign)
    for r in range(2, half + 1):
        rc = p + 2 - r
        cos, sin = root(r - 1)
        cr, ci = xr[0] + cos * sr[2], xi[0] + cos * si[2]
        qr, qi = sgn * sin * dr[p], sgn * sin * di[p]
        for j in range(3, half + 1):
            cos, sin = root(((r - 1) * (j - 1)) % p)
            cr, ci = cr + cos * sr[j], ci + cos * si[j]
            qr, qi = qr + sgn * sin * dr[p + 2 - j], qi + sgn * sin * di[p + 2 - j]
        yr[r - 1], yi[r - 1] = cr - qi, ci + qr
        yr[rc - 1], yi[rc - 1] = cr + qi, ci - qr
    return yr, yi


def transform(x, forward, w):
    """cfft1f (forward) or cfft1b of the complex64 vector x with table w."""
    n = len(x)
    re, im = x.real.astype(f32), x.imag.astype(f32)
    if n == 1:
        return x.astype(np.complex64)
    sign = -1 if forward else 1
    l1, iw = 1, 0
    for p in factors(n):
        ido = n // (l1 * p)
        a_r, a_i = re.reshape(p, ido, l1), im.reshape(p, ido, l1)
        block = w[iw:iw + 2 * (p - 1) * ido]
        cos, sin = block[:(p - 1) * ido].reshape(p - 1, ido), block[(p - 1) * ido:].reshape(p - 1, ido)
        yr, yi = _butterfly(p, list(a_r), list(a_i), sign,
                            lambda k: (cos[k - 1, 0], sin[k - 1, 0]))
        b_r, b_i = np.empty((ido, p, l1), f32), np.empty((ido, p, l1), f32)
        scale = f32(1) / f32(p * l1)
        for j in range(p):
            r, q = yr[j], yi[j]
            if ido == 1 and forward:
                r, q = scale * r, scale * q
            elif j > 0 and ido > 1:
                wr, wi = cos[j - 1, 1:, None], sin[j - 1, 1:, None]
                r, q = r.copy(), q.copy()
                if forward:
                    r[1:], q[1:] = wr * yr[j][1:] + wi * yi[j][1:], wr * yi[j][1:] - wi * yr[j][1:]
                else:
                    r[1:], q[1:] = wr * yr[j][1:] - wi * yi[j][1:], wr * yi[j][1:] + wi * yr[j][1:]
            b_r[:, j, :], b_i[:, j, :] = r, q
        re, im = b_r.reshape(-1), b_i.reshape(-1)
        iw += 2 * (p - 1) * ido
        l1 *= p
    out = np.empty(n, np.complex64)
    out.real, out.imag = re, im
    return out
