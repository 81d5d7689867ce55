"""The S-transform of signals in Hz and seconds, its inverse, and epoch averages."""

from __future__ import annotations

import dataclasses
import functools
import importlib
import warnings
from typing import Any

import numpy as np
import numpy.typing as npt

from . import _core
from ._arrays import (Pin, allocate, allocate_together, check_finite, check_length,
                      check_signal_count, owner_of, refuse_masked, result_size, signal_array,
                      signal_view, working_size)
from ._edges import long_window_message, pad_rows, padded_length
from ._grid import (VoiceGrid, axis_index, bin_numbers, choice, frequency_list_grid, integer,
                    positive, real_number, voice_grid, worker_count)
from ._windows import (Window, check_invertible, density_factors, gauss_constants,
                       parse_window, shaped_weights)

_PHASES = ("local", "absolute")
_OUTPUTS = ("complex", "power", "magnitude")
_SCALINGS = ("amplitude", "density")

Float64Array = npt.NDArray[np.float64]


# Working buffers of the extension, in bytes, counted with the result
# before anything is allocated. Per worker: a spectrum and a full-length
# voice (8 bytes a sample), a half window, FFT tables and work of a plan
# (_PLAN_BYTES a point: twiddles, block tables, and the chirp-z path's
# padded inner transform for lengths with a large prime factor), for the
# full length and the folded one; shared: the windows of all voices.
_PLAN_BYTES = 96
_WINDOW_TABLE_BYTES = 16 << 20


def _split_by_signal(batch: int, workers: int) -> bool:
    """Whether each worker takes whole signals (else the voices of one signal
    at a time are shared out), as the extension decides."""
    return workers == 1 or batch >= 4 * workers


def _worker_bytes(n: int, times: int) -> int:
    """The scratch of one worker forming voices of signals of n samples."""
    return (8 + 8 + 2 + _PLAN_BYTES) * n + (8 + _PLAN_BYTES) * times


def _stransform_buffers(batch: int, n: int, times: int, count: int, workers: int) -> tuple[int, int]:
    """(bytes, workers that take scratch) of stransform's working buffers."""
    busy = min(workers, batch if _split_by_signal(batch, workers) else count)
    return _WINDOW_TABLE_BYTES + busy * _worker_bytes(n, times), busy


def _tfr_power_buffers(epochs: int, channels: int, n: int, times: int, count: int,
                       workers: int) -> tuple[int, int]:
    """(bytes, workers) of tfr_power's: besides a worker's scratch (and four
    sums over the times), the analytic spectra and means of one channel's
    epochs, one per worker when each takes whole channels."""
    spectra = 8 * epochs * (n + 1)
    scratch = _worker_bytes(n, times) + 32 * times
    if _split_by_signal(channels, workers):
        busy = min(workers, channels)
        return _WINDOW_TABLE_BYTES + busy * (spectra + scratch), busy
    busy = min(workers, max(epochs, count))
    return _WINDOW_TABLE_BYTES + spectra + busy * scratch, busy


def _istransform_buffers(batch: int, n: int, count: int, workers: int) -> tuple[int, int]:
    """(bytes, workers) of istransform's: a spectrum and plan per worker, and
    the demodulating roots (16 bytes a sample)."""
    busy = min(workers, batch if _split_by_signal(batch, workers) else count)
    return 16 * n + busy * (8 + _PLAN_BYTES) * n, busy


# The weights of windows given by a shape in time held at once: the voices
# of a long signal are transformed in groups whose weights take this much.
_WEIGHT_BUDGET = 64 << 20


def _voices_per_group(n: int) -> int:
    return max(1, _WEIGHT_BUDGET // (8 * (n // 2 + 1)))


def _window_bytes(win: Window, n: int, count: int) -> int:
    """The weights of a group of voices of a window given by a shape in
    time (at most a half spectrum a voice, complex64) and the sampled
    shapes formed at once."""
    if not win.shaped:
        return 0
    return 8 * min(count, _voices_per_group(n)) * (n // 2 + 1) + (64 << 20)


def _voice_groups(win: Window, grid: VoiceGrid) -> list[VoiceGrid]:
    """The grid, or for a shaped window whose weights exceed the budget,
    consecutive groups of its voices."""
    size = _voices_per_group(grid.n)
    if not win.shaped or grid.count <= size:
        return [grid]
    bins = grid.bins_array.tolist()
    return [dataclasses.replace(grid, k0=part[0], step=1, count=len(part), bins=tuple(part))
            for part in (bins[i:i + size] for i in range(0, len(bins), size))]


def _grid_of(n: int, fs: object, freqs: object, fmin: object, fmax: object, df: object,
             decim: object, win: Window) -> tuple[VoiceGrid, Window]:
    """The voices of a band or of a list of frequencies, for signals of n
    samples (the padded length), and the window with a Gaussian's width
    checked."""
    width = win.params[0] if win.kind == "gauss" else 1.0
    if freqs is None:
        grid = voice_grid(n, fs, fmin, fmax, df, decim, width)
    else:
        grid = frequency_list_grid(n, fs, freqs, fmin, fmax, df, decim, width)
    return grid, (Window("gauss", (grid.width,)) if win.kind == "gauss" else win)


def _checked_voices(n: int, fs: object, freqs: object, fmin: object, fmax: object, df: object,
                    decim: object, window: object, width: object, pad: object, n_fft: object
                    ) -> tuple[VoiceGrid, Window, int, str]:
    """(grid, window, padded length, padding mode) of a call's arguments,
    each checked."""
    win = parse_window(window, width, check_width=False)
    m, mode = padded_length(n, pad, n_fft)
    grid, win = _grid_of(m, fs, freqs, fmin, fmax, df, decim, win)
    return grid, win, m, mode


# The grid of arguments that passed the checks, per argument values and
# types: a repeated call on short signals spends most of its time here.
_remembered_voices = functools.lru_cache(maxsize=64, typed=True)(_checked_voices)

# Arguments remembered only when each is of one of these exact types: no
# user code (a __hash__ or __eq__) runs, and no two arguments the checks
# treat differently compare equal (lru_cache's typed keys tell 1 from 1.0).
_PLAIN_TYPES = (int, float, str, type(None))


def _voices(n: int, fs: object, freqs: object, fmin: object, fmax: object, df: object,
            decim: object, window: object, width: object, pad: object, n_fft: object
            ) -> tuple[VoiceGrid, Window, int, str]:
    arguments = (n, fs, freqs, fmin, fmax, df, decim, window, width, pad, n_fft)
    if all(type(a) in _PLAIN_TYPES for a in arguments):
        return _remembered_voices(*arguments)
    return _checked_voices(*arguments)


def _window_arguments(win: Window, grid: VoiceGrid, workers: int, previous: Any = None
                      ) -> tuple[dict[str, Any], Any]:
    """The extension's arguments for the window and bins (the width of a
    Gaussian, a constant per voice, or the weights of a shape), and the
    shaped weights (None for Gaussians). The weights of a previous group,
    no longer read, lend their memory."""
    bins = grid.bins_array
    extra: dict[str, Any] = {}
    if grid.bins is not None:
        extra["bins"] = bins.astype(np.int32)
    if win.kind == "gauss":
        return {**extra, "width": win.params[0]}, None
    if win.kind == "gauss_power":
        return {**extra, "width": 1.0,
                "constants": gauss_constants(win, bins * grid.fs / grid.n)}, None
    weights = shaped_weights(win, grid.n, grid.fs, bins, workers, previous)
    return {**extra, "width": 1.0, "shaped": weights.as_tuple()}, weights


def _padded_signals(a: npt.NDArray[Any], axes: tuple[int, ...], dest: tuple[int, ...],
                    shape: tuple[int, ...], m: int, mode: str) -> npt.NDArray[Any]:
    """The signals of `a` moved and reshaped as signal_view does, padded
    to m samples (a new array)."""
    rows = np.moveaxis(a, axes, dest).reshape(shape)
    return pad_rows(rows, m, mode)


def _scale_rows(s: npt.NDArray[Any], factors: npt.NDArray[np.float64], power: bool) -> None:
    """Voices (axis -2) scaled in place: amplitudes by 1/sqrt(factor),
    powers by 1/factor."""
    scale = 1.0 / factors if power else 1.0 / np.sqrt(factors)
    s *= scale.astype(np.float32)[:, None]


def _long_window_message(win: Window, grid: VoiceGrid, n: int) -> str | None:
    return long_window_message(win, grid.f, n, grid.fs)


_remembered_long_window_message = functools.lru_cache(maxsize=128)(_long_window_message)


def _warn_long_windows(win: Window, grid: VoiceGrid, n: int, stacklevel: int = 3) -> None:
    """The long-window warning of a call on signals of n samples. The test
    sums each long voice's window: its outcome is remembered for the windows
    that are not a user's function (whose values could change)."""
    if win.kind == "callable":
        message = _long_window_message(win, grid, n)
    else:
        message = _remembered_long_window_message(win, grid, n)
    if message is not None:
        warnings.warn(message, UserWarning, stacklevel=stacklevel)


def _is_dask(x: object) -> bool:
    return type(x).__module__.startswith("dask")


def _dask() -> Any:
    """The chunked versions, imported only for dask input (they need dask)."""
    return importlib.import_module("._dask", __package__)


def stransform(x: npt.ArrayLike, fs: float = 1.0, *, fmin: float = 0.0,
               fmax: float | None = None, df: float | None = None, decim: int = 1,
               width: float = 1.0, phase: str = "local", output: str = "complex",
               axis: int = -1, workers: int = 1, window: Any = None, freqs: Any = None,
               scaling: str = "amplitude", pad: str = "none", n_fft: int | None = None
               ) -> tuple[Float64Array, Float64Array, npt.NDArray[Any]]:
    r"""S-transform (Stockwell transform) of signals over a band of frequencies.

    Each voice is the signal's analytic spectrum shifted to an FFT bin k,
    weighted by a Gaussian window in frequency, and transformed back to time,
    exactly as :func:`orbelix.fst` computes it; the voices are chosen by a band
    in Hz and returned at the times of every `decim`-th sample.

    Parameters
    ----------
    x : array_like
        Real or complex signals (integer, float or complex dtype; converted
        to complex64), transformed along `axis`. Any number of other axes.
    fs : float, default 1.0
        Sampling rate in Hz.
    fmin, fmax : float
        The band: the voices are the FFT bins ``k`` from ``round(fmin*n/fs)``
        to ``round(fmax*n/fs)`` (Python's round: halves go to the even
        bin), ``n`` the signal length.
        ``fmax`` defaults to (and may not exceed) ``fs/2``.
    df : float, optional
        Spacing of the voices in Hz, rounded to a whole number of bins (at
        least one). By default every bin; a step past the band's end leaves
        its first voice alone.
    decim : int, default 1
        Time step in samples: ``t[j] = j*decim/fs`` for ``j < ceil(n/decim)``.
        When `decim` divides ``n`` each voice is computed at these times
        directly (its windowed spectrum folded to length ``n/decim``, one
        inverse FFT of that length), an exact identity that is much cheaper
        than the full-length voice; otherwise the voice is computed at full
        length and sampled. Either way the values are those of the
        full-resolution transform at these times, to single precision.
    width : float, default 1.0
        Window width gamma: voice ``k`` is weighted by
        ``exp(-2 pi^2 gamma^2 m^2 / k^2)`` at bin offset ``m``. Larger gamma
        gives finer frequency and coarser time resolution. ``width=1`` gives
        the voices of :func:`orbelix.fst` bit for bit. The shorthand of
        ``window=("gauss", width)``; give one or the other.
    phase : {"local", "absolute"}, default "local"
        ``"local"`` is the convention of :func:`orbelix.fst` (the phase of
        voice ``k`` is measured against ``exp(2 pi i k t/n)``); ``"absolute"``
        multiplies voice ``k`` by ``exp(2 pi i k t/n)``, so that its phase is
        the signal's instantaneous phase. Both cost the same.
    output : {"complex", "power", "magnitude"}, default "complex"
        complex64 voices, or their float32 ``|S|**2`` or ``|S|``.
    axis : int, default -1
        Time axis of `x`.
    workers : int, default 1
        Threads over the voices and over the signals of a batch; -1 uses
        every core. The numbers do not depend on it.
    window : tuple or callable, optional
        The window of the voices, with ``f`` a voice's frequency in Hz and
        ``u = tau - t`` the analysis time minus the signal time in s:

        - ``("gauss", gamma)``: the Gaussian of `width` gamma (the default,
          gamma 1).
        - ``("gauss_power", gamma, p)``: a Gaussian with standard deviation
          ``gamma / f**p`` in time, weighting the frequency offset ``alpha``
          by ``exp(-2 pi^2 sigma^2 alpha^2)``; ``p=1`` is ``("gauss", gamma)``.
        - ``("bigauss", gamma_front, gamma_back)``: the shape
          ``exp(-f^2 u^2 / (2 g^2))``, ``g = gamma_front`` for ``u < 0`` and
          ``gamma_back`` for ``u >= 0``.
        - ``("hyperbolic", gamma_front, gamma_back, lam)``: Pinnegar and
          Mansinha's hyperbolic window ``exp(-f^2 X^2 / 2)``, ``X = a (u -
          xi) + b sqrt((u - xi)^2 + lam^2)``, ``a = (gf + gb) / (2 gf gb)``,
          ``b = (gf - gb) / (2 gf gb)``, ``xi = sqrt((gf - gb)^2 lam^2 / (4
          gf gb))`` (`lam` in s).
        - a callable ``g(v)``: a real or complex mother window of the scaled
          time ``v = f*u``, taking and returning NumPy arrays.

        The windows given by a shape (the last three) weight voice ``k`` by
        the DFT of the shape sampled at the lags ``u = j/fs``, ``j =
        -floor(n/2) .. ceil(n/2) - 1``, divided by its value at offset 0 (the
        sum of the samples), so that a tone of amplitude A gives ``|S| = A``
        at its bin; a window whose samples sum to 0 at a voice's frequency is
        refused. Their weights are computed once a call, shared by the
        signals of a batch: the shape is sampled where it is not negligible
        (a callable is called once a voice there, see the guide), and
        weights below ``2**-24`` of the one at offset 0 are dropped from the
        ends of a voice's range, which changes a voice by at most
        ``2**-24`` of the analytic signal's root mean square.
    freqs : sequence of float, optional
        In place of `fmin`, `fmax` and `df`: any increasing list of
        frequencies in Hz from 0 to ``fs/2``, each rounded to its nearest
        bin ``round(f*n_fft/fs)`` (halves to the even bin); ``f`` returns
        the bins' exact frequencies. Two frequencies rounding to the same
        bin are refused.
    scaling : {"amplitude", "density"}, default "amplitude"
        ``"amplitude"``: a tone of amplitude A gives ``|S| = A``.
        ``"density"``: each voice divided by ``sqrt(F)``, ``F = (2 fs/n)
        sum |W(d)|**2`` over the offsets d its weights W reach (``fs/(2n)``
        at 0 Hz), so that the time-averaged ``|S|**2`` of broadband activity
        is its one-sided power spectral density (per Hz), comparable with
        Welch or multitaper spectra.
    pad : {"none", "reflect", "zeros"}, default "none"
        The transform is circular: ``"none"`` lets each end of the signal
        leak into the other. ``"reflect"`` mirrors the signal at both ends
        and ``"zeros"`` appends zeros, up to `n_fft` samples; the result
        is returned at the original times only.
    n_fft : int, optional
        Length of the padded signal: at least ``n``, by default ``2n`` when
        padding (``n`` otherwise). Bins are ``fs/n_fft`` apart.

    Returns
    -------
    f : ndarray of float64
        Frequencies of the voices in Hz, ``k*fs/n``.
    t : ndarray of float64
        Times in s.
    S : ndarray
        Shape ``x.shape`` without `axis`, followed by ``(len(f), len(t))``.
        The voice at 0 Hz, when selected, is the mean of the signal.

    Raises
    ------
    TypeError
        For arguments of the wrong type, or `x` that does not hold numbers.
    ValueError
        For an empty signal, an axis out of range, ``fmin > fmax``, ``fmax``
        above ``fs/2``, a non-positive `df`, `decim` or `width` (or a `width`
        outside ``1e-18 <= width < 1e18``), a non-finite `fs`, an unknown
        `phase` or `output`, a result NumPy cannot index, or a sample of `x`
        that is NaN or infinite (or beyond single precision), naming the
        first one; a `window` with unknown name or bad parameters, given
        with a `width`, or whose samples sum to 0 at some voice; `freqs`
        given with a band, not increasing, outside ``0 .. fs/2`` or with two
        frequencies in one bin; an unknown `pad` or `scaling`, or an `n_fft`
        below ``n`` (or above it without padding).
    MemoryError
        When the result, or the result and the working buffers of the
        workers, would exceed the machine's memory (stating their sizes in
        GB), before anything is allocated; or when a working buffer cannot
        be had (naming it and its size).
    RuntimeError
        When the array owning `x`'s memory is given new data
        (``__setstate__``) during the call, by Python code of another
        argument or by a signal handler. NumPy refuses to resize it from
        the call's first line to its end.

    Warns
    -----
    UserWarning
        Once a call, when the windows of some voices are longer than the
        signal (more than 5% of their weight outside it at every time):
        those voices read the other end of the signal or the padding.
        :func:`edge_mask` marks where the ends are felt. A band from 0 Hz
        (the default `fmin`) always begins with such voices: the run of them
        just above 0 Hz is not reported, only voices chosen by a higher
        `fmin`, by `freqs`, or lying past that run.

    See Also
    --------
    istransform : The inverse of a full-resolution transform over a band.
    edge_mask : The cone of influence of the window.
    tfr_power : Power and inter-trial coherence averaged over epochs.

    Notes
    -----
    Memory: the result plus scratch of a few signal lengths per worker.
    float32, float64, complex64 and complex128 input is read in place (each
    signal rounded to complex64 as it is transformed); other dtypes, and
    batch axes that cannot be flattened without a copy, are copied first. A dask array `x` gives a lazy dask result computed
    chunk by chunk (dask is an optional dependency).

    Ctrl-C interrupts a long call with KeyboardInterrupt.

    Examples
    --------
    A 10 Hz cosine sampled at 256 Hz, from 5 to 15 Hz, every 8th sample:

    >>> import numpy as np
    >>> from orbelix_tools import stransform
    >>> fs = 256.0
    >>> x = np.cos(2 * np.pi * 10.0 * np.arange(512) / fs)
    >>> f, t, S = stransform(x, fs, fmin=5.0, fmax=15.0, decim=8)
    >>> S.shape, S.dtype
    ((21, 64), dtype('complex64'))
    >>> float(f[np.argmax(np.abs(S[:, 32]))])
    10.0
    >>> round(float(np.abs(S[10, 32])), 4)
    1.0

    Power of two channels at once, every 2 Hz:

    >>> f, t, P = stransform(np.stack([x, 2 * x]), fs, fmin=4.0, fmax=16.0, df=2.0,
    ...                      output="power")
    >>> f
    array([ 4.,  6.,  8., 10., 12., 14., 16.])
    >>> P.shape, P.dtype
    ((2, 7, 512), dtype('float32'))
    """
    if _is_dask(x):
        return _dask().stransform(x, fs, fmin=fmin, fmax=fmax, df=df, decim=decim, width=width,
                                phase=phase, output=output, axis=axis, workers=workers,
                                window=window, freqs=freqs, scaling=scaling, pad=pad,
                                n_fft=n_fft)
    a = signal_array(x, "x")
    # From here on Python code run by the other arguments' conversions (or a
    # signal handler, or another thread) cannot resize x's memory.
    pin = Pin(a, "x")
    ax = axis_index(axis, a.ndim)
    n = a.shape[ax]
    check_length(n, "x", axis, a.shape)
    grid, win, m, mode = _voices(n, fs, freqs, fmin, fmax, df, decim, window, width, pad, n_fft)
    absolute = choice(phase, "phase", _PHASES) == "absolute"
    kind = choice(output, "output", _OUTPUTS)
    density = choice(scaling, "scaling", _SCALINGS) == "density"
    threads = worker_count(workers)

    lead = a.shape[:ax] + a.shape[ax + 1:]
    times = -(-n // grid.decim)  # the original times only, when padded
    shape = lead + (grid.count, times)
    dtype = np.complex64 if kind == "complex" else np.float32
    result_size(shape, dtype, "the transform")
    batch = check_signal_count(lead, "x")
    buffers, busy = _stransform_buffers(batch, m, grid.times, grid.count, threads)
    if m > n:  # the padded signals
        buffers += batch * 16 * m
    working_size(shape, dtype, "the transform", buffers + _window_bytes(win, m, grid.count), busy)
    groups = _voice_groups(win, grid)
    window_arguments, weights = _window_arguments(win, groups[0], threads)
    if batch:
        _warn_long_windows(win, grid, n)
    pin.check()
    check_finite(a, "x")
    s = allocate(shape, dtype, "the transform")
    pin.check()
    if m == n:
        signals = signal_view(a, (ax,), (-1,), (1, -1, n))
    else:
        signals = _padded_signals(a, (ax,), (-1,), (1, -1, n), m, mode)
    # What the extension watches: pin's owner, or a private copy.
    pinned = owner_of(signals)
    rows = s.reshape(-1, grid.count, times)
    first = 0
    for j, part in enumerate(groups):
        if j:
            window_arguments, weights = _window_arguments(win, part, threads, weights)
        out = rows if len(groups) == 1 else np.empty((rows.shape[0], part.count, times), dtype)
        _core.stransform_into(signals, out, k0=part.k0, step=part.step, count=part.count,
                              decim=part.step_in_time, absolute=absolute, output=kind,
                              workers=threads, owner=pinned, keep=times,
                              **window_arguments)
        if out is not rows:
            rows[:, first:first + part.count] = out
        if density:
            _scale_rows(rows[:, first:first + part.count], density_factors(win, part, weights),
                        kind == "power")
        first += part.count
    del pinned, pin
    return grid.f, grid.t[:times], s


def _refuse_padded(f: object, n: int, fs: float) -> None:
    """ValueError for voices spaced more finely than fs/n: a transform of
    signals padded to n_fft > n samples, returned at the original times."""
    freqs = np.asarray(f)
    if freqs.ndim != 1 or freqs.size < 2 or freqs.dtype.kind not in "iuf":
        return
    spacing = float(freqs[1]) - float(freqs[0])
    if 0.0 < spacing < (1.0 - 1e-6) * fs / n:
        n_fft = round(fs / spacing)
        raise ValueError(
            f"f is spaced by {spacing!r} Hz, finer than fs/n={fs / n!r} Hz: S comes from a "
            f"transform padded to n_fft={n_fft} samples and returned at the original times "
            "only, which cannot be inverted (each voice's time sum must run over the padded "
            "length); invert the transform of the padded signal instead")


def _bins_of(f: object, n: int, fs: float) -> tuple[int, int]:
    """First bin and count of the consecutive bins that f names."""
    k = bin_numbers(f, "f", n, fs, "fs", lambda i, v: (
        f"f[{i}]={v!r} is not the frequency k*fs/n of an FFT bin (n={n}, fs={fs!r}): "
        "f must come from the transform of a signal of n samples"))
    steps = np.diff(k)
    if steps.size and not np.all(steps == 1):
        if np.all(steps == steps[0]) and steps[0] > 1:
            raise ValueError(
                f"f steps by {int(steps[0])} bins (a transform with df > fs/n): it cannot be "
                "inverted, because each voice's time sum gives only its own bin's spectrum, "
                "so the bins between the voices are missing")
        raise ValueError("f must hold consecutive, increasing FFT bin frequencies")
    return int(k[0]), int(k.size)


def istransform(f: npt.ArrayLike, S: npt.ArrayLike, n: int, *, fs: float = 1.0,
                phase: str = "local", axis: int = -1, workers: int = 1, window: Any = None,
                width: float = 1.0) -> npt.NDArray[np.float32]:
    r"""Signal from its full-resolution S-transform over a band.

    Summing a voice over time gives ``n`` times the analytic spectrum at its
    bin (after undoing the phase factor for ``phase="absolute"``); the
    spectrum is completed by conjugate symmetry, zero outside the band, and
    transformed back. Masking `S` and inverting is time-frequency filtering.

    Parameters
    ----------
    f : array_like
        Frequencies of the voices in Hz, as :func:`stransform` returned them:
        every bin between the band's ends (``df`` of one bin).
    S : array_like
        The complex transform (``decim=1``): ``(..., len(f), n)``.
    n : int
        Length of the signal.
    fs : float, default 1.0
        Sampling rate in Hz, as given to :func:`stransform`.
    phase : {"local", "absolute"}, default "local"
        The phase convention `S` was computed with.
    axis : int, default -1
        Where the time axis goes in the result (the `axis` given to
        :func:`stransform`).
    workers : int, default 1
        Threads over signals (or voices of a single signal); -1 for all cores.
    window, width : optional
        The window `S` was computed with (see :func:`stransform`). The
        inverse holds for every window whose weight at offset 0 is non-zero
        at every voice: each voice is divided by that weight, so its time sum
        is ``n`` times the spectrum at its bin whatever the window's shape;
        the window is checked against this condition (the Gaussians always
        meet it), and the voices are then summed as for the Gaussian.

    Returns
    -------
    x : ndarray of float32
        The band-limited real signal: ``S.shape[:-2]`` with the time axis of
        length `n` inserted at `axis`. For a real signal this is the signal
        itself restricted to the band. The transform keeps only non-negative
        frequencies, so for a complex signal it is the real signal whose
        spectrum equals the complex signal's on the band's bins ``1 .. n/2``
        (and conjugate-symmetric below zero); at 0 Hz and at ``fs/2`` only
        the real part is kept.

    Raises
    ------
    TypeError
        `S` not complex (a power or magnitude output), or wrong argument types.
    ValueError
        `f` not the consecutive bin frequencies of a signal of `n` samples
        (a strided transform, ``df`` above one bin, cannot be inverted), or
        `S` with fewer than `n` time samples (a decimated transform cannot
        be inverted: each voice must be summed over all `n` samples),
        shapes that do not match, or a value of `S` that is NaN or infinite.
    MemoryError, RuntimeError
        As for :func:`stransform` (for `S` in place of `x`).

    Examples
    --------
    Keep only the 8-12 Hz band of a two-tone signal, then remove the
    second half of the 10 Hz burst by masking:

    >>> import numpy as np
    >>> from orbelix_tools import stransform, istransform
    >>> fs, n = 100.0, 400
    >>> time = np.arange(n) / fs
    >>> x = np.cos(2 * np.pi * 10 * time) + np.cos(2 * np.pi * 30 * time)
    >>> f, t, S = stransform(x, fs, fmin=8.0, fmax=12.0)
    >>> y = istransform(f, S, n, fs=fs)
    >>> bool(np.allclose(y, np.cos(2 * np.pi * 10 * time), atol=1e-5))
    True
    >>> S[:, t >= 2.0] = 0
    >>> z = istransform(f, S, n, fs=fs)
    >>> bool(np.abs(z[300:360]).max() < 0.05 < np.abs(z[40:100]).max())
    True
    """
    refuse_masked(S, "S")
    s = np.asarray(S)
    # From here on Python code run by the other arguments' conversions (or a
    # signal handler, or another thread) cannot resize S's memory.
    pin = Pin(s, "S")
    length = integer(n, "n")
    if length < 1:
        raise ValueError(f"n={n!r} must be a positive signal length")
    rate = positive(fs, "fs")
    absolute = choice(phase, "phase", _PHASES) == "absolute"
    threads = worker_count(workers)
    win = parse_window(window, width)
    if s.dtype.kind != "c":
        raise TypeError(
            f"S has dtype {s.dtype}: the inverse needs the complex transform "
            "(output='complex'), not its power or magnitude")
    if s.ndim < 2:
        raise ValueError(f"S must have a frequency and a time axis, not shape {s.shape}")
    # The time axis first: it bounds n, which the bins of f are counted in.
    if s.shape[-1] != length:
        times = s.shape[-1]
        # The smallest decim giving at most `times` times (in whole numbers:
        # n may exceed the float range); no decim gives exactly `times` unless
        # this one does.
        decim = -(-length // times) if 0 < times < length else 0
        if decim and -(-length // decim) == times:
            raise ValueError(
                f"S has {s.shape[-1]} time samples but n={length}: a decimated transform "
                f"(decim={decim}?) cannot be inverted, because the inverse sums each voice "
                "over all n time samples")
        raise ValueError(f"S has {s.shape[-1]} time samples (axis -1) but n={length}")
    _refuse_padded(f, length, rate)
    k0, count = _bins_of(f, length, rate)
    if s.shape[-2] != count:
        raise ValueError(f"S has {s.shape[-2]} voices (axis -2) but f has {count} frequencies")
    check_invertible(win, length, rate, np.arange(k0, k0 + count, dtype=np.int64))
    lead = s.shape[:-2]
    ax = axis_index(axis, len(lead) + 1)
    result_size(lead + (length,), np.float32, "the signal")
    batch = check_signal_count(lead, "S")
    working_size(lead + (length,), np.float32, "the signal",
                 *_istransform_buffers(batch, length, count, threads))
    pin.check()
    check_finite(s, "S")
    out = allocate(lead + (length,), np.float32, "the signal")
    pin.check()
    # The extension reads whole, aligned complex64 values in C order.
    voices = np.require(s, np.complex64, ["C_CONTIGUOUS", "ALIGNED"]).reshape(-1, count, length)
    # What the extension watches: pin's owner, or a private copy.
    pinned = owner_of(voices)
    _core.istransform_into(voices, out.reshape(-1, length), k0=k0, absolute=absolute,
                           workers=threads, owner=pinned)
    del pinned, pin
    return np.moveaxis(out, -1, ax)


def tfr_power(x: npt.ArrayLike, fs: float, *, fmin: float = 0.0, fmax: float | None = None,
              df: float | None = None, decim: int = 1, width: float = 1.0,
              epochs_axis: int = 0, axis: int = -1, workers: int = 1, window: Any = None,
              freqs: Any = None, scaling: str = "amplitude", pad: str = "none",
              n_fft: int | None = None) -> tuple[Float64Array, Float64Array, npt.NDArray[np.float32],
                         npt.NDArray[np.float32]]:
    r"""Power and inter-trial coherence of the S-transform, averaged over epochs.

    For every voice and time, ``power = mean(|S|**2)`` and
    ``itc = |mean(S/|S|)|`` over the epochs (a zero coefficient counts as
    zero in the latter), with `S` as :func:`stransform` computes it for the
    same arguments. The sums are formed in double precision voice by voice,
    never holding the transforms of all epochs: memory is the two results
    plus the spectra of one channel's epochs per worker. Each ``S/|S|`` is
    formed in single precision (within two float ulps; in double where
    ``|S|**2`` leaves the float range), so `itc` lies within 3e-7 of the
    float64 mean of the same coefficients.

    Parameters
    ----------
    x : array_like
        Real or complex signals with an epochs axis and a time axis; any
        other axes (channels, ...) are kept.
    fs : float
        Sampling rate in Hz.
    fmin, fmax, df, decim, width, window, freqs, scaling, pad, n_fft
        As for :func:`stransform` (``"density"`` scales the power; the
        coherence does not depend on it).
    epochs_axis : int, default 0
        The axis averaged over.
    axis : int, default -1
        The time axis.
    workers : int, default 1
        Threads over channels (or voices); -1 for all cores. The numbers do
        not depend on it.

    Returns
    -------
    f, t : ndarray of float64
        Frequencies in Hz and times in s.
    power, itc : ndarray of float32
        ``x.shape`` without the epochs and time axes, followed by
        ``(len(f), len(t))``.

    Raises
    ------
    TypeError, ValueError, MemoryError, RuntimeError
        As for :func:`stransform`; also a ValueError when `x` has fewer
        than two dimensions or no epochs, or `epochs_axis` and `axis` name
        the same axis.

    Notes
    -----
    The coefficients are those of :func:`orbelix.fst` (analytic spectrum,
    window of unit peak), so a unit-amplitude cosine has ``|S| = 1`` and
    power 1; packages that normalise their windows to unit area, or that
    use the one-sided spectrum without doubling, scale power differently.
    The coherence does not depend on the phase convention.

    Examples
    --------
    Twenty epochs of a 10 Hz cosine with random phases, and one more
    with the same phase every time:

    >>> import numpy as np
    >>> from orbelix_tools import tfr_power
    >>> fs, n = 128.0, 256
    >>> time = np.arange(n) / fs
    >>> phases = np.random.default_rng(0).uniform(0, 2 * np.pi, 20)
    >>> random = np.cos(2 * np.pi * 10 * time + phases[:, None])
    >>> locked = np.cos(2 * np.pi * 10 * time + np.zeros((20, 1)))
    >>> f, t, power, itc = tfr_power(np.stack([random, locked], axis=1), fs,
    ...                              fmin=10.0, fmax=10.0, decim=16)
    >>> power.shape
    (2, 1, 16)
    >>> np.round(power[:, 0, 8], 3)
    array([1., 1.], dtype=float32)
    >>> bool(itc[0, 0, 8] < 0.5), round(float(itc[1, 0, 8]), 3)
    (True, 1.0)
    """
    if _is_dask(x):
        return _dask().tfr_power(x, fs, fmin=fmin, fmax=fmax, df=df, decim=decim, width=width,
                               epochs_axis=epochs_axis, axis=axis, workers=workers,
                               window=window, freqs=freqs, scaling=scaling, pad=pad,
                               n_fft=n_fft)
    a = signal_array(x, "x")
    # From here on Python code run by the other arguments' conversions (or a
    # signal handler, or another thread) cannot resize x's memory.
    pin = Pin(a, "x")
    if a.ndim < 2:
        raise ValueError(f"x must have an epochs axis and a time axis, not shape {a.shape}")
    eax = axis_index(epochs_axis, a.ndim, "epochs_axis")
    ax = axis_index(axis, a.ndim)
    if eax == ax:
        raise ValueError(f"epochs_axis={epochs_axis!r} and axis={axis!r} name the same axis")
    n = a.shape[ax]
    check_length(n, "x", axis, a.shape)
    epochs = a.shape[eax]
    if epochs == 0:
        raise ValueError(f"x has no epochs along epochs_axis={epochs_axis!r} (shape {a.shape})")
    grid, win, m, mode = _voices(n, fs, freqs, fmin, fmax, df, decim, window, width, pad, n_fft)
    density = choice(scaling, "scaling", _SCALINGS) == "density"
    threads = worker_count(workers)

    lead = tuple(d for i, d in enumerate(a.shape) if i not in (eax, ax))
    times = -(-n // grid.decim)  # the original times only, when padded
    shape = lead + (grid.count, times)
    result_size((2,) + shape, np.float32, "the power and coherence")
    channels = check_signal_count((epochs,) + lead, "x") // epochs
    buffers, busy = _tfr_power_buffers(epochs, channels, m, grid.times, grid.count, threads)
    if m > n:  # the padded signals
        buffers += epochs * channels * 16 * m
    working_size((2,) + shape, np.float32, "the power and coherence",
                 buffers + _window_bytes(win, m, grid.count), busy)
    groups = _voice_groups(win, grid)
    window_arguments, weights = _window_arguments(win, groups[0], threads)
    if channels:
        _warn_long_windows(win, grid, n)
    pin.check()
    check_finite(a, "x")
    power, itc = allocate_together(shape, np.float32, 2, "the power and coherence")
    pin.check()
    if m == n:
        signals = signal_view(a, (eax, ax), (0, -1), (epochs, -1, n))
    else:
        signals = _padded_signals(a, (eax, ax), (0, -1), (epochs, -1, n), m, mode)
    power_rows = power.reshape(-1, grid.count, times)
    itc_rows = itc.reshape(-1, grid.count, times)
    # What the extension watches: pin's owner, or a private copy.
    pinned = owner_of(signals)
    first = 0
    for j, part in enumerate(groups):
        if j:
            window_arguments, weights = _window_arguments(win, part, threads, weights)
        if len(groups) == 1:
            pw, co = power_rows, itc_rows
        else:
            pw, co = (np.empty((power_rows.shape[0], part.count, times), np.float32)
                      for _ in range(2))
        _core.tfr_power_into(signals, pw, co, k0=part.k0, step=part.step, count=part.count,
                             decim=part.step_in_time, workers=threads, owner=pinned,
                             keep=times, **window_arguments)
        if pw is not power_rows:
            power_rows[:, first:first + part.count] = pw
            itc_rows[:, first:first + part.count] = co
        if density:
            _scale_rows(power_rows[:, first:first + part.count],
                        density_factors(win, part, weights), True)
        first += part.count
    del pinned, pin
    return grid.f, grid.t[:times], power, itc
