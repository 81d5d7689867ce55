"""A plain float64 DOST written from the band formulas, one coefficient sum at
a time: the oracle of the DOST tests."""
import numpy as np


def bands(n):
    """(first |bin|, width, negative) in coefficient order."""
    highest = (n - 1) // 2
    octaves = []
    x = 1
    while x <= highest:
        octaves.append((x, min(2 * x - 1, highest) - x + 1))
        x *= 2
    out = [(0, 1, False)] + [(b, w, False) for b, w in octaves]
    if n % 2 == 0:
        out.append((n // 2, 1, False))
    return out + [(b, w, True) for b, w in reversed(octaves)]


def dost(x):
    """DOST of the last axis in float64: band [b, b+w) centred on nu = b + w//2,
    c[b+k] = sum_{d=-h}^{w-1-h} X[nu+d] e^{2 pi i d k/w} / sqrt(w), and the mirror
    band c[n-b-k] = sum_{d=-(w-1-h)}^{h} X[-nu+d] e^{2 pi i d k/w} / sqrt(w)."""
    x = np.asarray(x, dtype=np.complex128)
    n = x.shape[-1]
    spectrum = np.fft.fft(x, axis=-1, norm="ortho")
    c = np.zeros_like(spectrum)
    for b, w, negative in bands(n):
        h = w // 2
        k = np.arange(w)
        if negative:
            d = np.arange(-(w - 1 - h), h + 1)
            bins, where = (-(b + h) + d) % n, (n - b - k) % n
        else:
            d = np.arange(-h, w - h)
            bins, where = (b + h + d) % n, b + k
        kernel = np.exp(2j * np.pi * np.outer(d, k) / w) / np.sqrt(w)
        c[..., where] = spectrum[..., bins] @ kernel
    return c


def dost2(image):
    """Tensor-product DOST of the last two axes."""
    return np.swapaxes(dost(np.swapaxes(dost(image), -1, -2)), -1, -2)


def rel_rms(a, b):
    return float(np.linalg.norm(np.asarray(a) - b) / np.linalg.norm(b))
