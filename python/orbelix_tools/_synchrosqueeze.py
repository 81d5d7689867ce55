r"""The synchrosqueezed S-transform and its inverse.

Derivation, for this library's voices (absolute phase, bins of a signal of
n samples, A the analytic spectrum, W_k(d) the window's weight at bin offset
d with W_k(0) = 1):

    S(j, k) = sum_d A(k+d) W_k(d) exp(2 pi i (k+d) j / n).

Instantaneous frequency. Differentiating in j,

    dS/dj = (2 pi i / n) (k S + D),   D(j, k) = sum_d A(k+d) d W_k(d) exp(...),

so (1/2 pi) d arg S/dj, in bins, is omega = k + Re(D conj S) / |S|^2 exactly
(D is the voice of the window weighted by its offset: no finite difference).

Reconstruction. Summing voices with weights g_k,

    sum_k g_k S(j, k) = sum_p A(p) exp(2 pi i p j / n) R(p),
    R(p) = sum_k g_k W_k(p - k).

For the Gaussian of width gamma, W_k(d) = exp(-c d^2 / k^2), c = 2 pi^2
gamma^2; with g_k = dk / k (dk the spacing of the voices) R(p) is a Riemann
sum of the integral of exp(-c (p/f - 1)^2) / f over f, which with s = p/f is
the integral of exp(-c (s - 1)^2) / s over s: the same for every p (up to
exp(-c) from the voices far above p, and the band's ends). Windows given by
a shape scale with frequency in the same way. Moving each coefficient to the
voice l nearest its instantaneous frequency leaves the sum unchanged, so with

    T(j, l) = sum over k moved to l of (dk / k) S(j, k) / R(b_l),

a tone of amplitude a at bin p gives T = a exp(2 pi i p j/n) in row p, and
Re sum_l T(j, l) is the signal restricted to the band. R is computed here,
exactly for the voices of the call (so also near the band's ends), rather
than taken from the integral.
"""

from __future__ import annotations

import importlib
import math
from typing import Any

import numpy as np
import numpy.typing as npt

from . import _core
from ._arrays import (Pin, allocate, check_finite, check_length, check_signal_count, owner_of,
                      refuse_masked, result_size, signal_array, signal_view, working_size)
from ._grid import (VoiceGrid, axis_index, bin_numbers, integer, positive, real_number,
                    worker_count)
from ._transforms import (_PLAN_BYTES, _grid_of, _is_dask, _split_by_signal, _stransform_buffers,
                          _warn_long_windows, _window_arguments)
from ._windows import Window, gauss_constant, gauss_constants, parse_window

Float64Array = npt.NDArray[np.float64]

#: The default threshold, relative to the sum of |A(p)| of each signal.
DEFAULT_GAMMA = 8.0 * float(np.finfo(np.float32).eps)

# The sums of the weighted windows are computed exactly at this many voices
# at most, and interpolated between them (they vary slowly).
_EXACT_SUMS = 1024
# A sum below this fraction of the sum of magnitudes: the voices cancel.
_CANCELLED = 1e-2
# A block of voices (values and destinations), as the extension sizes it.
_BLOCK_BYTES = 8 << 20


def _voice_spacing(bins: npt.NDArray[np.int64]) -> npt.NDArray[np.float64]:
    """dk of each voice: the bins a voice stands for in a sum over frequency
    (half the distance between its neighbours; one step at the ends)."""
    b = bins.astype(np.float64)
    if b.size == 1:
        return np.ones(1)
    gaps = np.diff(b)
    return np.concatenate([gaps[:1], 0.5 * (gaps[:-1] + gaps[1:]), gaps[-1:]])


def _sample(count: int) -> npt.NDArray[np.int64]:
    """The voices at which the sums are computed exactly: all of a short
    grid; else the ends of the band (where the sums bend) densely and evenly
    spaced ones between them, interpolated linearly."""
    if count <= _EXACT_SUMS:
        return np.arange(count)
    end = _EXACT_SUMS // 4
    middle = np.linspace(end, count - 1 - end, _EXACT_SUMS - 2 * end).round().astype(np.int64)
    return np.unique(np.concatenate([np.arange(end), middle, np.arange(count - end, count)]))


def _window_sums(win: Window, grid: VoiceGrid, weights: Any, h: npt.NDArray[np.complex128],
                 at: npt.NDArray[np.int64]) -> tuple[npt.NDArray[np.complex128], Float64Array]:
    """(sum_k h_k W_k(p - k), sum_k |h_k W_k(p - k)|) at the bins p of `at`,
    over the voices k > 0."""
    bins = grid.bins_array
    keep = bins > 0
    k = bins[keep].astype(np.float64)
    hk = h[keep]
    if weights is None:
        if win.kind == "gauss":
            c: Any = float(gauss_constant(win.params[0]))
        else:
            c = gauss_constants(win, bins * grid.fs / grid.n)[keep].astype(np.float64)
        r = np.zeros(at.size, np.complex128)
        size = np.zeros(at.size)
        # Rows of the weights' matrix a few MB at a time.
        rows = max(1, (4 << 20) // (8 * max(k.size, 1)))
        for first in range(0, at.size, rows):
            p = at[first:first + rows].astype(np.float64)[:, None]
            w = np.exp(-c * ((p - k) / k) ** 2)
            r[first:first + rows] = w @ hk
            size[first:first + rows] = w @ np.abs(hk)
        return r, size
    r = np.zeros(at.size, np.complex128)
    size = np.zeros(at.size)
    for i in np.flatnonzero(keep):
        lo, hi, start = int(weights.lo[i]), int(weights.hi[i]), int(weights.start[i])
        d = at - bins[i]
        hit = (d >= lo) & (d <= hi)
        w = h[i] * weights.values[start + d[hit] - lo].astype(np.complex128)
        r[hit] += w
        size[hit] += np.abs(w)
    return r, size


def voice_weights(bins: npt.NDArray[np.int64]) -> npt.NDArray[np.complex128]:
    """g_k = dk / k (1 for the mean at bin 0, which is not squeezed)."""
    k = bins.astype(np.float64)
    return np.where(k > 0, _voice_spacing(bins) / np.where(k > 0, k, 1.0), 1.0).astype(np.complex128)


def response(win: Window, grid: VoiceGrid, weights: Any) -> npt.NDArray[np.complex128]:
    """R(p) = sum_k g_k W_k(p - k) at the bin p of every voice (1 at bin 0);
    ValueError when the voices cancel in the sum."""
    bins = grid.bins_array
    at = _sample(bins.size)
    positive = bins[at] > 0
    r, size = _window_sums(win, grid, weights, voice_weights(bins), bins[at])
    cancelled = positive & (np.abs(r) < _CANCELLED * size)
    if cancelled.any():
        i = int(np.argmax(cancelled))
        raise ValueError(
            f"{win.describe()}: the voices of this window cancel in a sum over frequency "
            f"(at {bins[at][i] * grid.fs / grid.n!r} Hz to {abs(r[i]) / size[i]:.1e} of the "
            "sum of their magnitudes): a window whose weights turn in phase across the "
            "voices (one not centred on the analysis time) cannot be synchrosqueezed")
    r[~positive] = 1.0
    if at.size < bins.size:
        index = np.arange(bins.size)
        r = np.interp(index, at, r.real) + 1j * np.interp(index, at, r.imag)
    return r


# 1/R of the Gaussian windows' grids used last, by grid and window: a
# transform of many signals in chunks computes it once.
_SCALES: dict[tuple[Any, ...], npt.NDArray[np.complex64]] = {}
_SCALES_KEPT = 16


def row_scale(win: Window, grid: VoiceGrid, weights: Any) -> npt.NDArray[np.complex64]:
    """1/R of each voice, as the rows of the squeezed map are scaled."""
    if weights is not None:
        return (1.0 / response(win, grid, weights)).astype(np.complex64)
    key = (grid.n, grid.fs, grid.k0, grid.step, grid.count, grid.bins, win.kind, win.params)
    scale = _SCALES.get(key)
    if scale is None:
        scale = (1.0 / response(win, grid, None)).astype(np.complex64)
        scale.setflags(write=False)
        if len(_SCALES) >= _SCALES_KEPT:
            _SCALES.pop(next(iter(_SCALES)))
        _SCALES[key] = scale
    return scale


def threshold(gamma: object) -> tuple[float, bool]:
    """(gamma, relative) for the extension."""
    if gamma is None:
        return DEFAULT_GAMMA, True
    g = real_number(gamma, "gamma")
    if not (math.isfinite(g) and g >= 0.0):
        raise ValueError(f"gamma={gamma!r} must be finite and not negative")
    if g > float(np.finfo(np.float32).max):
        raise ValueError(f"gamma={gamma!r} is beyond single precision")
    return g, False


def _squeeze_buffers(batch: int, n: int, times: int, count: int, workers: int
                     ) -> tuple[int, int]:
    """(bytes, workers) of the working buffers: stransform's, a second voice
    and plan of the folded length per worker, a block of voices (12 bytes a
    coefficient: one per worker taking whole signals, else one shared), and
    a worker's coefficients of a block sorted for 64 of its times."""
    buffers, busy = _stransform_buffers(batch, n, times, count, workers)
    buffers += busy * (8 + _PLAN_BYTES) * times
    split = _split_by_signal(batch, workers)
    voices = min(count, max(1 if split else 2 * workers, _BLOCK_BYTES // (12 * times)))
    block = 12 * voices * times
    buffers += (busy if split else 1) * block + busy * 12 * voices * min(times, 64)
    return buffers, busy


def _dask() -> Any:
    """The chunked versions, imported only for dask input (they need dask)."""
    return importlib.import_module("._dask", __package__)


def _prepare(x: npt.ArrayLike, fs: float, fmin: float, fmax: float | None, df: float | None,
             freqs: Any, window: Any, gamma: object, decim: int, axis: int, workers: int,
             dtype: Any, what: str) -> Any:
    """The checked arguments, the result, the extension's arguments and the
    scale of the squeezed map's rows (for a complex result)."""
    a = signal_array(x, "x")
    pin = Pin(a, "x")
    ax = axis_index(axis, a.ndim)
    n = a.shape[ax]
    check_length(n, "x", axis, a.shape)
    win = parse_window(window, 1.0, check_width=False)
    grid, win = _grid_of(n, fs, freqs, fmin, fmax, df, decim, win)
    level, relative = threshold(gamma)
    threads = worker_count(workers)
    lead = a.shape[:ax] + a.shape[ax + 1:]
    shape = lead + (grid.count, grid.times)
    result_size(shape, dtype, what)
    batch = check_signal_count(lead, "x")
    buffers, busy = _squeeze_buffers(batch, n, grid.times, grid.count, threads)
    if win.shaped:
        buffers += 8 * grid.count * (n // 2 + 1) + (64 << 20)
    working_size(shape, dtype, what, buffers, busy)
    arguments, weights = _window_arguments(win, grid, threads)
    scale = row_scale(win, grid, weights) if dtype == np.complex64 else None
    if batch:
        _warn_long_windows(win, grid, n, stacklevel=4)  # past _prepare
    pin.check()
    check_finite(a, "x")
    # The squeezed map is a sum: it starts from zeros.
    out = allocate(shape, dtype, what, zeroed=dtype == np.complex64)
    pin.check()
    signals = signal_view(a, (ax,), (-1,), (1, -1, n))
    arguments.update(k0=grid.k0, step=grid.step, count=grid.count, decim=grid.step_in_time,
                     workers=threads, weight=voice_weights(grid.bins_array).astype(np.complex64),
                     gamma=level, relative=relative)
    return pin, grid, signals, out, arguments, scale


def sstransform(x: npt.ArrayLike, fs: float = 1.0, *, fmin: float = 0.0,
                fmax: float | None = None, df: float | None = None, freqs: Any = None,
                window: Any = None, gamma: float | None = None, decim: int = 1, axis: int = -1,
                workers: int = 1) -> tuple[Float64Array, Float64Array, npt.NDArray[np.complex64]]:
    r"""Synchrosqueezed S-transform: each coefficient moved to the voice of
    its instantaneous frequency.

    The S-transform (:func:`stransform` with ``phase="absolute"``) spreads a
    component over a band of voices that widens with frequency. Every
    coefficient ``S(t, f)`` carries the instantaneous frequency
    ``omega = f + (1/2 pi) d arg S / dt``, computed exactly from a second
    transform whose window is weighted by its frequency offset (the
    derivative of the voice in time, not a finite difference); the
    coefficient is added to the voice nearest ``omega``. Sharp lines result
    for tones, chirps and frequency modulations (Huang, Zhang, Zhao and Sun,
    IEEE Trans. Geosci. Remote Sens. 54(2), 2016).

    Parameters
    ----------
    x : array_like
        Real or complex signals, transformed along `axis`, as for
        :func:`stransform`.
    fs : float, default 1.0
        Sampling rate in Hz.
    fmin, fmax, df, freqs, window, decim
        The voices, times and window, as for :func:`stransform`. The
        squeezed map has the same voices: coefficients whose instantaneous
        frequency lies more than half a spacing outside them are dropped.
    gamma : float, optional
        Coefficients with ``|S| < gamma`` are left out (their phase is
        rounding error). By default ``8 * eps`` of float32 (about 9.5e-7)
        times the sum of ``|A(p)|`` over the bins of each signal's
        analytic spectrum ``A`` (the spectrum :func:`stransform` windows),
        which bounds ``|S|`` from above for windows of unit peak and equals
        the largest ``|S|`` of a pure tone on a bin.
    axis : int, default -1
        Time axis of `x`.
    workers : int, default 1
        Threads over signals (or voices); -1 for all cores. The numbers do
        not depend on it.

    Returns
    -------
    f : ndarray of float64
        Frequencies of the voices in Hz.
    t : ndarray of float64
        Times in s.
    T : ndarray of complex64
        Shape ``x.shape`` without `axis`, followed by ``(len(f), len(t))``.
        ``T[l, j]`` is the sum of ``S(t_j, f_k) (dk / k) / R(f_l)`` over the
        voices ``k`` moved to ``l`` (``dk`` the spacing of the voices in
        bins, ``R`` the normalisation that makes a tone of amplitude ``a``
        give ``|T| = a`` in its row), with the phase of the signal. The
        voice at 0 Hz, when selected, holds the mean as in :func:`stransform`
        (and whatever is moved to it). ``Re T.sum(axis=-2)`` is the signal
        restricted to the band: :func:`isstransform`.

    Raises
    ------
    TypeError, ValueError, MemoryError, RuntimeError
        As for :func:`stransform`; also ValueError for a negative or
        non-finite `gamma`.

    Notes
    -----
    The normalisation: summing voices weighted by ``g_k = dk / k`` gives
    ``sum_p A(p) exp(2 pi i p t) R(p)`` with ``R(p) = sum_k g_k W_k(p - k)``;
    for the Gaussian of width gamma this is a Riemann sum of
    ``integral exp(-2 pi^2 gamma^2 (s - 1)^2) / s ds`` (``s = p/f``), the
    same for every ``p`` away from the band's ends. ``R`` is computed
    exactly for the voices of the call, so the inverse also holds near the
    ends. Memory: the result plus a few signal lengths per worker (and a
    block of voices when few signals share the workers). A dask array `x`
    gives a lazy dask result computed chunk by chunk.

    Examples
    --------
    A 10 Hz tone of amplitude 2 is one line of the squeezed map:

    >>> import numpy as np
    >>> from orbelix_tools import sstransform
    >>> fs = 256.0
    >>> x = 2 * np.cos(2 * np.pi * 10.0 * np.arange(1024) / fs)
    >>> f, t, T = sstransform(x, fs, fmin=2.0, fmax=30.0)
    >>> float(f[np.argmax(np.abs(T[:, 512]))])
    10.0
    >>> round(float(np.abs(T[:, 512]).max()), 3)
    2.0
    """
    if _is_dask(x):
        return _dask().sstransform(x, fs, fmin=fmin, fmax=fmax, df=df, freqs=freqs, window=window,
                                   gamma=gamma, decim=decim, axis=axis, workers=workers)
    pin, grid, signals, out, arguments, scale = _prepare(
        x, fs, fmin, fmax, df, freqs, window, gamma, decim, axis, workers, np.complex64,
        "the transform")
    pinned = owner_of(signals)
    rows = out.reshape(-1, grid.count, grid.times)
    _core.sstransform_into(signals, rows, owner=pinned, scale=scale, zeroed=True, **arguments)
    del pinned, pin
    return grid.f, grid.t, out


def instantaneous_frequency(x: npt.ArrayLike, fs: float = 1.0, *, fmin: float = 0.0,
                            fmax: float | None = None, df: float | None = None,
                            freqs: Any = None, window: Any = None, gamma: float | None = None,
                            decim: int = 1, axis: int = -1, workers: int = 1
                            ) -> tuple[Float64Array, Float64Array, npt.NDArray[np.float32]]:
    """The instantaneous frequency in Hz of every S-transform coefficient.

    ``omega(t, f) = f + (1/2 pi) d arg S / dt`` as :func:`sstransform`
    computes it to move the coefficients; NaN where ``|S| < gamma``.
    Arguments and shapes as for :func:`sstransform` (float32 result).

    Examples
    --------
    >>> import numpy as np
    >>> from orbelix_tools import instantaneous_frequency
    >>> x = np.cos(2 * np.pi * 10.3 * np.arange(1024) / 256.0)
    >>> f, t, w = instantaneous_frequency(x, 256.0, fmin=8.0, fmax=12.0)
    >>> round(float(w[4, 512]), 2)
    10.3
    """
    pin, grid, signals, out, arguments, _ = _prepare(
        x, fs, fmin, fmax, df, freqs, window, gamma, decim, axis, workers, np.float32,
        "the instantaneous frequencies")
    pinned = owner_of(signals)
    rows = out.reshape(-1, grid.count, grid.times)
    _core.instantaneous_frequency_into(signals, rows, owner=pinned, **arguments)
    del pinned, pin
    rows *= np.float32(grid.fs / grid.n)
    return grid.f, grid.t, out


def _voice_bins(f: object, n: int, fs: float) -> npt.NDArray[np.int64]:
    """The bins k of frequencies k*fs/n: increasing, within 0 .. n/2."""
    k = bin_numbers(f, "f", n, fs, "fs", lambda i, v: (
        f"f[{i}]={v!r} is not the frequency k*fs/n of an FFT bin (n={n}, fs={fs!r}): "
        "f must come from the transform of a signal of n samples"))
    if np.any(np.diff(k) <= 0):
        raise ValueError(f"f must increase within 0 .. fs/2={fs / 2!r} Hz")
    return k.astype(np.int64)


def isstransform(f: npt.ArrayLike, T: npt.ArrayLike, n: int, *, fs: float = 1.0,
                 mask: npt.ArrayLike | None = None, axis: int = -1) -> npt.NDArray[np.float32]:
    r"""Signal from its synchrosqueezed S-transform, over the band or a mask.

    ``x(t) = Re sum_l T(t, f_l)``, over the voices where `mask` is true: the
    squeezed map is normalised so that this sum is the signal restricted to
    the band (see :func:`sstransform`), at each time on its own. Masking is
    time-frequency filtering on the sharp map.

    Parameters
    ----------
    f : array_like
        Frequencies of the voices in Hz, as :func:`sstransform` returned them.
    T : array_like
        The squeezed map, ``(..., len(f), len(t))``.
    n : int
        Length of the signal.
    fs : float, default 1.0
        Sampling rate in Hz.
    mask : array_like of bool, optional
        Which coefficients to keep, broadcast against `T`.
    axis : int, default -1
        Where the time axis goes in the result.

    Returns
    -------
    x : ndarray of float32
        ``T.shape[:-2]`` with the time axis inserted at `axis`: the signal at
        the times of `T` (every `decim`-th sample of a decimated map).

    Raises
    ------
    TypeError
        `T` not complex, `mask` not boolean, or wrong argument types.
    ValueError
        `f` not the increasing bin frequencies of a signal of `n` samples,
        `T` whose shape does not match `f` and `n` (its times must be
        ``ceil(n/decim)`` for some `decim`), a `mask` that does not
        broadcast, or a value of `T` that is NaN or infinite.

    Examples
    --------
    >>> import numpy as np
    >>> from orbelix_tools import sstransform, isstransform
    >>> fs, n = 100.0, 1000
    >>> time = np.arange(n) / fs
    >>> tone = np.cos(2 * np.pi * 10 * time)
    >>> fm = 0.5 * np.cos(2 * np.pi * (25 * time + 0.5 * np.sin(np.pi * time)))
    >>> f, t, T = sstransform(tone + fm, fs, window=("gauss", 2.0))
    >>> y = isstransform(f, T, n, fs=fs)
    >>> bool(np.abs(y - tone - fm).max() < 1e-5)
    True
    >>> low = isstransform(f, T, n, fs=fs, mask=(f < 18)[:, None])
    >>> bool(np.abs(low - tone).max() < 1e-5)
    True
    """
    refuse_masked(T, "T")
    s = np.asarray(T)
    length = integer(n, "n")
    if length < 1:
        raise ValueError(f"n={n!r} must be a positive signal length")
    rate = positive(fs, "fs")
    if s.dtype.kind != "c":
        raise TypeError(f"T has dtype {s.dtype}: the inverse needs the complex squeezed map")
    if s.ndim < 2:
        raise ValueError(f"T must have a frequency and a time axis, not shape {s.shape}")
    bins = _voice_bins(f, length, rate)
    if s.shape[-2] != bins.size:
        raise ValueError(f"T has {s.shape[-2]} voices (axis -2) but f has {bins.size} frequencies")
    times = s.shape[-1]
    decim = -(-length // times) if 0 < times <= length else 0
    if not decim or -(-length // decim) != times:
        raise ValueError(f"T has {times} time samples (axis -1), which is ceil(n/decim) for no "
                         f"decim with n={length}")
    ax = axis_index(axis, s.ndim - 1)
    check_finite(s, "T")
    real = s.real
    if mask is not None:
        keep = np.asarray(mask)
        if keep.dtype != np.bool_:
            raise TypeError(f"mask has dtype {keep.dtype}; expected booleans")
        try:
            shape = np.broadcast_shapes(keep.shape, s.shape)
        except ValueError:
            raise ValueError(f"mask of shape {keep.shape} does not broadcast against T of shape "
                             f"{s.shape}") from None
        if shape != s.shape:
            raise ValueError(f"mask of shape {keep.shape} does not broadcast against T of shape "
                             f"{s.shape}")
        real = np.where(keep, real, 0.0)
    x = real.sum(axis=-2, dtype=np.float64).astype(np.float32)
    return np.moveaxis(x, -1, ax)
