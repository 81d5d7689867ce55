"""Float64 references of the transforms, written from their definitions: the
one source of expected values for the tests of both packages."""

import numpy as np

# 2 pi^2 to seven digits, as the exact module defines its window.
WINDOW_CONSTANT = 19.73921


def analytic_spectrum(x):
    """Forward DFT scaled by 1/n, positive bins doubled, negative ones zeroed."""
    x = np.asarray(x, dtype=np.complex128)
    n = x.size
    a = np.fft.fft(x) / n
    a[1:(n + 1) // 2] *= 2
    a[n // 2 + 1:] = 0
    return a


def voices(x, bins, width=1.0, absolute=False, constant=None):
    """S-transform voices at the given bins and every time, in float64.

    Voice k at time t is sum_m A[(k+m) mod n] exp(-c min(m, n-m)^2 / k^2)
    e^{2 pi i m t / n}, with A the analytic spectrum and c = 2 pi^2 width^2
    unless `constant` gives c; voice 0 is the mean. `absolute` turns each
    voice's phase to absolute time (times e^{2 pi i k t / n})."""
    x = np.asarray(x, dtype=np.complex128)
    n = x.size
    c = 2 * np.pi**2 * width**2 if constant is None else constant
    a = analytic_spectrum(x)
    m = np.arange(n)
    offset = np.minimum(m, n - m).astype(np.float64)
    t = np.arange(n)
    out = np.empty((len(bins), n), dtype=np.complex128)
    for i, k in enumerate(bins):
        if k == 0:
            out[i] = x.mean()
            continue
        w = np.exp(-c * offset**2 / float(k) ** 2)
        out[i] = np.fft.ifft(a[(k + m) % n] * w) * n
        if absolute:
            out[i] *= np.exp(2j * np.pi * ((k * t) % n) / n)
    return out


def fst(h):
    """The exact module's fst in float64: voices 0 .. n/2 of h."""
    n = np.asarray(h).size
    return voices(h, range(n // 2 + 1), constant=WINDOW_CONSTANT)


def ifst(s):
    """The exact module's ifst in float64: the row sums give the analytic
    spectrum; halve bins 1 .. (n+1)/2 - 1, mirror by conjugation, inverse DFT."""
    s = np.asarray(s, dtype=np.complex128)
    n = s.shape[1]
    sums = np.zeros(n, dtype=np.complex128)
    sums[: s.shape[0]] = s.sum(axis=1)
    spectrum = sums / n
    spectrum[1:(n + 1) // 2] *= 0.5
    upper = np.arange(n // 2 + 1, n)
    spectrum[upper] = np.conj(spectrum[n - upper])
    return np.fft.ifft(spectrum) * n


def relative_error(got, want):
    """Largest deviation relative to the largest reference value."""
    want = np.asarray(want)
    scale = np.abs(want).max()
    return float(np.abs(np.asarray(got) - want).max() / (scale if scale > 0 else 1.0))


def offset_voices(x, bins, width=1.0):
    """The voices of the window weighted by its signed bin offset d,
    d exp(-c d^2 / k^2), with absolute phase, in float64: with the absolute
    voices S, dS/dt = (2 pi i / n)(k S + D)."""
    x = np.asarray(x, dtype=np.complex128)
    n = x.size
    c = 2 * np.pi**2 * width**2
    a = analytic_spectrum(x)
    m = np.arange(n)
    d = np.where(m <= n // 2, m, m - n).astype(np.float64)
    t = np.arange(n)
    out = np.zeros((len(bins), n), dtype=np.complex128)
    for i, k in enumerate(bins):
        if k == 0:
            continue
        w = d * np.exp(-c * d**2 / float(k) ** 2)
        out[i] = np.fft.ifft(a[(k + m) % n] * w) * n * np.exp(2j * np.pi * ((k * t) % n) / n)
    return out


def instantaneous_frequency(x, bins, width=1.0):
    """omega(t, k) in bins, k + Re(D conj S) / |S|^2, and the absolute voices S."""
    s = voices(x, bins, width=width, absolute=True)
    dv = offset_voices(x, bins, width=width)
    k = np.asarray(bins, dtype=np.float64)[:, None]
    with np.errstate(divide="ignore", invalid="ignore"):
        omega = k + (dv * np.conj(s)).real / np.abs(s) ** 2
    omega[np.asarray(bins) == 0] = 0.0
    return omega, s


def renyi_entropy(m, alpha=3):
    """Renyi entropy (bits) of a map's energy |m|^2 as a distribution."""
    p = np.abs(np.asarray(m, dtype=np.complex128)) ** 2
    p = p / p.sum()
    return float(np.log2((p**alpha).sum()) / (1 - alpha))


def window_shape(window, u, f):
    """A window's shape in time at lags u (s) for a voice at f Hz:
    ("gauss", gamma), ("gauss_power", gamma, p), ("bigauss", gf, gb),
    ("hyperbolic", gf, gb, lam) or a callable of the scaled time f*u."""
    u = np.asarray(u, dtype=np.float64)
    if callable(window):
        return np.asarray(window(f * u), dtype=np.complex128)
    name, *p = window
    if name == "gauss":
        return np.exp(-0.5 * (f * u / p[0]) ** 2)
    if name == "gauss_power":
        sigma = p[0] / abs(f) ** p[1]
        return np.exp(-0.5 * (u / sigma) ** 2)
    if name == "bigauss":
        g = np.where(u < 0, p[0], p[1])
        return np.exp(-0.5 * (f * u / g) ** 2)
    gf, gb, lam = p
    xi = np.sqrt((gf - gb) ** 2 * lam**2 / (4 * gf * gb))
    s = u - xi
    x = (gf + gb) / (2 * gf * gb) * s + (gf - gb) / (2 * gf * gb) * np.sqrt(s * s + lam * lam)
    return np.exp(-0.5 * (f * x) ** 2)


def shaped_weights(shape_of_lags, n):
    """A window given by its shape in time, as the weights of a voice: the
    DFT of the shape sampled at the lags j = -floor(n/2) .. ceil(n/2) - 1
    of the circle (stored at j mod n), divided by its value at offset 0.
    shape_of_lags maps lags in samples to the shape's values. Returns the
    n weights, indexed by offset mod n."""
    j = np.arange(n)
    j[j >= n - n // 2] -= n
    spectrum = np.fft.fft(np.asarray(shape_of_lags(j.astype(np.float64)), dtype=np.complex128))
    return spectrum / spectrum[0]


def shaped_voices(x, bins, weights_of_bin):
    """Voices at every time of a window given per voice by its n weights
    (indexed by offset mod n): voice k is sum_d A[k+d] W[d] e^{2 pi i d t/n}
    over the offsets -k .. n/2-k where the analytic spectrum A lives."""
    x = np.asarray(x, dtype=np.complex128)
    n = x.size
    a = analytic_spectrum(x)
    out = np.empty((len(bins), n), dtype=np.complex128)
    for i, k in enumerate(bins):
        if k == 0:
            out[i] = x.mean()
            continue
        d = np.arange(-k, n // 2 - k + 1)
        column = np.zeros(n, np.complex128)
        column[d % n] = a[k + d] * weights_of_bin(k)[d % n]
        out[i] = np.fft.ifft(column) * n
    return out
