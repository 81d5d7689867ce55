"""The edges of a recording: padding before the circular transform, the cone
of influence where a voice's window reaches past an end, and the warning for
windows longer than the signal."""

from __future__ import annotations

import math
from typing import Any

import numpy as np
import numpy.typing as npt

from ._grid import choice, integer, positive, real_number
from ._windows import Window, parse_window, shape_values, voice_widths

PADS = ("none", "reflect", "zeros")
#: The share of a window's weight that may fall outside the signal before
#: edge_mask marks the time (and the warning counts the voice).
FRACTION = 0.05
# A callable window is summed over scaled times |v| <= this.
_CALLABLE_REACH = 64.0


def padded_length(n: int, pad: object, n_fft: object) -> tuple[int, str]:
    """(length of the transform, padding mode) of the arguments."""
    mode = choice(pad, "pad", PADS)
    if n_fft is None:
        return (n if mode == "none" else 2 * n), mode
    m = integer(n_fft, "n_fft")
    if m < n:
        raise ValueError(f"n_fft={n_fft!r} is shorter than the signal ({n} samples)")
    if m > n and mode == "none":
        raise ValueError(f"n_fft={n_fft!r} > n={n} needs pad='zeros' or pad='reflect' "
                         "to say what fills the padding")
    return m, mode


def pad_rows(rows: npt.NDArray[Any], m: int, mode: str) -> npt.NDArray[Any]:
    """Signals (last axis, n samples) padded to m samples, the signal first.
    'reflect' mirrors the end into the first half of the padding and the
    start into the second, so that on the circle the signal is mirrored at
    both ends; 'zeros' appends zeros."""
    n = rows.shape[-1]
    dtype = rows.dtype if rows.dtype in (np.float32, np.float64, np.complex64,
                                         np.complex128) else np.complex64
    out = np.zeros(rows.shape[:-1] + (m,), dtype)
    out[..., :n] = rows
    if mode == "reflect" and m > n:
        after = (m - n + 1) // 2
        before = (m - n) // 2
        mirrored = np.pad(out[..., :n], [(0, 0)] * (rows.ndim - 1) + [(before, after)],
                          mode="reflect" if n > 1 else "edge")
        out[..., n:n + after] = mirrored[..., before + n:]
        if before:
            out[..., m - before:] = mirrored[..., :before]
    return out


def _reach(win: Window, f: float) -> float:
    """A lag (s) beyond which the window's weight is negligible."""
    if win.kind == "callable":
        return _CALLABLE_REACH / f
    if win.kind in ("gauss", "gauss_power"):
        sigma = float(voice_widths(win, np.array([f]))[0]) / f
        return 12.0 * sigma
    gf, gb = win.params[:2]
    extra = 0.0
    if win.kind == "hyperbolic":
        lam = win.params[2]
        extra = math.sqrt((gf - gb) ** 2 * lam**2 / (4.0 * gf * gb)) + lam
    return 12.0 * max(gf, gb) / f + extra


def _time_shape(win: Window, u: npt.NDArray[np.float64], f: float) -> npt.NDArray[np.float64]:
    """|window| at lags u for a voice at f Hz (the Gaussians' shape in time)."""
    if win.kind in ("gauss", "gauss_power"):
        sigma = float(voice_widths(win, np.array([f]))[0]) / f
        return np.exp(-0.5 * np.square(u / sigma))
    return np.abs(shape_values(win, u[None, :], np.array([[f]]))[0])


def outside_share(win: Window, f: float, n: int, fs: float,
                  samples: npt.NDArray[np.int64]) -> npt.NDArray[np.float64]:
    """The share of the voice's window weight (|w| summed over the lags
    j/fs) that falls outside the signal's samples 0 .. n-1 at each of the
    analysis samples."""
    if f <= 0.0:
        return np.zeros(samples.size)  # the mean: no window
    reach = min(int(math.ceil(_reach(win, f) * fs)) + 1, 64 * n + 64)
    lags = np.arange(-reach, reach + 1, dtype=np.float64)
    w = _time_shape(win, lags / fs, f)
    cum = np.concatenate([[0.0], np.cumsum(w)])
    total = cum[-1]
    if not total > 0.0:
        return np.ones(samples.size)
    # At analysis sample m the signal's samples s = 0 .. n-1 sit at lags
    # m - s, from m - n + 1 to m.
    hi = np.clip(samples + reach, -1, 2 * reach)
    lo = np.clip(samples - n + 1 + reach, 0, 2 * reach + 1)
    inside = np.where(hi >= lo, cum[np.minimum(hi + 1, 2 * reach + 1)] - cum[lo], 0.0)
    return np.clip(1.0 - inside / total, 0.0, 1.0)


def edge_mask(f: npt.ArrayLike, t: npt.ArrayLike, n: int, fs: float = 1.0, *,
              window: Any = None, width: float = 1.0,
              fraction: float = FRACTION) -> npt.NDArray[np.bool_]:
    r"""Where the transform's coefficients feel the ends of the signal.

    The cone of influence: ``True`` where more than `fraction` of a voice's
    window weight (the sum of ``|w|`` over the lags of the samples) falls
    before the first or after the last sample. There the circular transform
    reads the other end of the signal (``pad="none"``) or the padding.

    Parameters
    ----------
    f, t : array_like
        Frequencies (Hz) and times (s) as a transform returned them.
    n : int
        Length of the signal in samples.
    fs : float, default 1.0
        Sampling rate in Hz.
    window, width
        The window of the transform, as for :func:`stransform`.
    fraction : float, default 0.05
        The share of the weight outside the signal that marks a
        coefficient, between 0 and 1.

    Returns
    -------
    mask : ndarray of bool
        Shape ``(len(f), len(t))``. The voice at 0 Hz (the mean) is never
        marked.

    Examples
    --------
    >>> import numpy as np
    >>> from orbelix_tools import edge_mask

    Four seconds at 100 Hz: the 2 Hz voice's Gaussian (sigma = 0.5 s) feels
    the ends for about a second, the 20 Hz voice's only at the first sample:

    >>> mask = edge_mask([2.0, 20.0], np.arange(0, 4, 0.5), 400, 100.0)
    >>> mask.astype(int)
    array([[1, 1, 0, 0, 0, 0, 0, 1],
           [1, 0, 0, 0, 0, 0, 0, 0]])
    """
    freqs = np.asarray(f, dtype=np.float64)
    times = np.asarray(t, dtype=np.float64)
    if freqs.ndim != 1 or times.ndim != 1:
        raise ValueError(f"f and t must be 1-D, not shapes {freqs.shape} and {times.shape}")
    length = integer(n, "n")
    if length < 1:
        raise ValueError(f"n={n!r} must be a positive signal length")
    rate = positive(fs, "fs")
    share = real_number(fraction, "fraction")
    if not 0.0 <= share < 1.0:
        raise ValueError(f"fraction={fraction!r} must be at least 0 and below 1")
    if not (np.all(np.isfinite(freqs)) and np.all(freqs >= 0.0)):
        raise ValueError("f must hold finite, non-negative frequencies")
    if not np.all(np.isfinite(times)):
        raise ValueError("t must hold finite times")
    win = parse_window(window, width)
    samples = np.rint(times * rate).astype(np.int64)
    mask = np.zeros((freqs.size, times.size), bool)
    for i, fi in enumerate(freqs.tolist()):
        mask[i] = outside_share(win, fi, length, rate, samples) > share
    return mask


def long_window_message(win: Window, f: npt.NDArray[np.float64], n: int,
                        fs: float) -> str | None:
    """The warning's text when some voice's window is longer than the
    signal (more than FRACTION of its weight outside it at every time),
    else None. A band from 0 Hz (the default fmin) always begins with such
    voices, whatever the signal: the run of them just above 0 Hz is not
    reported, since the warning could only repeat that. Voices past that
    run, and any in a band or list of frequencies that starts above 0 Hz,
    are: the caller chose them, and can raise fmin, pad, lengthen the
    epochs or narrow the window."""
    middle = np.array([(n - 1) // 2, n // 2], dtype=np.int64)
    long_voices = []
    leading = f.size > 0 and f[0] <= 0.0  # in the run just above 0 Hz
    # Windows narrow with frequency for the usual parameters; a voice whose
    # window fits ends the search unless the window is a user's.
    for fi in f.tolist():
        if fi <= 0.0:
            continue
        if outside_share(win, fi, n, fs, middle).min() > FRACTION:
            if not leading:
                long_voices.append(fi)
            continue
        leading = False
        if win.kind != "callable" and not (win.kind == "gauss_power" and win.params[1] < 0):
            break
    if not long_voices:
        return None
    top = max(long_voices)
    return (f"the windows of {len(long_voices)} voice{'s' if len(long_voices) > 1 else ''} "
            f"(up to {top:g} Hz) are longer than the signal of {n} samples: at every time more "
            f"than {FRACTION:g} of their weight falls outside it, and the transform reads the "
            "signal's other end or the padding there (see edge_mask)")
