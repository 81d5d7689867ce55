"""Float64 references for the orbelix_tools tests, written from the definitions."""

import numpy as np


def analytic_spectrum(x):
    """Forward DFT scaled by 1/n, positive bins doubled, negative ones zeroed."""
    x = np.asarray(x, dtype=np.complex128)
    n = x.size
    a = np.fft.fft(x) / n
    a[1:(n + 1) // 2] *= 2
    a[n // 2 + 1:] = 0
    return a


def voices(x, bins, width=1.0, absolute=False):
    """S-transform voices at the given bins and every time, in float64."""
    x = np.asarray(x, dtype=np.complex128)
    n = x.size
    a = analytic_spectrum(x)
    m = np.arange(n)
    offset = np.minimum(m, n - m).astype(np.float64)
    t = np.arange(n)
    out = np.empty((len(bins), n), dtype=np.complex128)
    for i, k in enumerate(bins):
        if k == 0:
            out[i] = x.mean()
            continue
        w = np.exp(-2 * np.pi**2 * width**2 * offset**2 / float(k) ** 2)
        out[i] = np.fft.ifft(a[(k + m) % n] * w) * n
        if absolute:
            out[i] *= np.exp(2j * np.pi * ((k * t) % n) / n)
    return out


def relative_error(got, want):
    """Largest deviation relative to the largest reference value."""
    want = np.asarray(want)
    scale = np.abs(want).max()
    return float(np.abs(np.asarray(got) - want).max() / (scale if scale > 0 else 1.0))
