"""Bins and times of a transform from arguments in Hz, with their checks.

The Python layer's single source of the frequency and time axes: every
public function (and the chunked versions, which call them) derives them
here, so that the same arguments always give the same voices.
"""

from __future__ import annotations

import functools
import math
import numbers
import os
from collections.abc import Callable
from dataclasses import dataclass

import numpy as np
import numpy.typing as npt

#: Longest signal the engine takes (its tables count floats in 32 bits).
MAX_LENGTH = 2**29
#: Most threads a call may ask for.
MAX_WORKERS = 1024
#: Window widths whose constant 2 pi^2 width^2 is a normal, finite float32.
WIDTH_RANGE = (1e-18, 1e18)


def nearest_bin(value: float) -> int:
    """The nearest whole number of bins, as Python's round: halves to even."""
    return round(value)


def real_number(value: object, name: str) -> float:
    """value as a float; TypeError naming the argument when it is not a real number."""
    if type(value) is float:  # the common case, without the abstract-class checks
        return value
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError(f"{name} must be a real number, not {type(value).__name__} ({value!r})")
    try:
        return float(value)
    except OverflowError:  # an int or Fraction beyond the float range
        raise ValueError(f"{name}={value!r} is beyond the float range") from None


def positive(value: object, name: str) -> float:
    """A finite, positive real number."""
    v = real_number(value, name)
    if not (math.isfinite(v) and v > 0.0):
        raise ValueError(f"{name}={value!r} must be finite and positive")
    return v


def integer(value: object, name: str) -> int:
    """value as an int; TypeError naming the argument when it is not an integer."""
    if type(value) is int:  # the common case, without the abstract-class checks
        return value
    if isinstance(value, bool) or not isinstance(value, numbers.Integral):
        raise TypeError(f"{name} must be an integer, not {type(value).__name__} ({value!r})")
    return int(value)


def axis_index(axis: object, ndim: int, name: str = "axis") -> int:
    """A valid, non-negative axis of an array with ndim dimensions."""
    a = integer(axis, name)
    if not -ndim <= a < ndim:
        raise ValueError(f"{name}={axis!r} is out of range for an array of {ndim} dimensions")
    return a % ndim


def worker_count(workers: object) -> int:
    """Threads to use: a positive count, or -1 for every core this process may use."""
    w = integer(workers, "workers")
    if w == -1:
        try:
            return max(1, len(os.sched_getaffinity(0)))
        except AttributeError:  # platforms without affinity masks
            return max(1, os.cpu_count() or 1)
    if not 1 <= w <= MAX_WORKERS:
        raise ValueError(
            f"workers={workers!r} must be a count from 1 to {MAX_WORKERS} or -1 (all cores)")
    return w


def choice(value: object, name: str, allowed: tuple[str, ...]) -> str:
    """One of the allowed strings, as a plain str: the methods of a str
    subclass (its __eq__, say) never run here or later in the call."""
    if not issubclass(type(value), str):
        raise TypeError(f"{name} must be a string, not {type(value).__name__} ({value!r})")
    plain = str.__str__(value)
    for option in allowed:
        if plain == option:
            return option
    options = ", ".join(repr(a) for a in allowed)
    raise ValueError(f"{name}={plain!r} is not one of {options}")


def bin_numbers(freqs: object, name: str, n: int, rate: float, rate_name: str,
                not_a_bin: Callable[[int, float], str]) -> npt.NDArray[np.float64]:
    """The FFT bins k (whole, as floats) of frequencies `freqs` in Hz that
    must each be a bin frequency k*rate/n of signals of n samples, within
    0 .. rate/2: TypeError or ValueError naming the argument otherwise, the
    message of a frequency between bins from not_a_bin(index, value)."""
    f = np.asarray(freqs)
    if f.dtype.kind not in "iuf":
        raise TypeError(f"{name} has dtype {f.dtype}; expected real frequencies in Hz")
    if f.ndim != 1 or f.size == 0:
        raise ValueError(f"{name} must be a non-empty 1-D array of frequencies, not shape {f.shape}")
    exact = f.astype(np.float64) * n / rate
    k = np.floor(exact + 0.5)
    off = ~np.isfinite(exact) | (np.abs(exact - k) > 1e-6 * np.maximum(1.0, np.abs(k)))
    if off.any():
        i = int(np.argmax(off))
        raise ValueError(not_a_bin(i, float(f[i])))
    if k[0] < 0 or k[-1] > n // 2:
        verb = "run" if name.endswith("s") else "runs"  # "freqs run", "f runs"
        raise ValueError(f"{name} {verb} from {float(f[0])!r} to {float(f[-1])!r} Hz, "
                         f"outside 0 .. {rate_name}/2={rate / 2!r}")
    return k


@dataclass(frozen=True)
class VoiceGrid:
    """Voices at FFT bins k0, k0+step, ... (count of them) of signals of n samples
    at rate fs, sampled every decim samples in time."""

    n: int
    fs: float
    k0: int
    step: int
    count: int
    decim: int
    width: float
    #: The bins of a list of frequencies (None: k0, k0+step, ...).
    bins: tuple[int, ...] | None = None

    @property
    def step_in_time(self) -> int:
        """decim as the extension takes it: a step beyond the signal's end
        gives the single time 0 either way."""
        return min(self.decim, self.n)

    @property
    def times(self) -> int:
        """Number of time samples: ceil(n / decim)."""
        return -(-self.n // self.decim)

    @property
    def bins_array(self) -> npt.NDArray[np.int64]:
        """The FFT bins of the voices."""
        if self.bins is not None:
            return np.array(self.bins, dtype=np.int64)
        return self.k0 + self.step * np.arange(self.count, dtype=np.int64)

    @property
    def f(self) -> npt.NDArray[np.float64]:
        """Frequencies of the voices in Hz: k * fs / n (a new array)."""
        return self._frequencies.copy()

    @property
    def t(self) -> npt.NDArray[np.float64]:
        """Times of the samples in s: j * decim / fs (j = 0 alone for a decim
        beyond the signal, which may exceed the float range; a new array)."""
        return self._times.copy()

    # Formed once a grid: the grids of repeated calls are shared.
    @functools.cached_property
    def _frequencies(self) -> npt.NDArray[np.float64]:
        if self.bins is not None:
            return np.array(self.bins, dtype=np.float64) * self.fs / self.n
        k = self.k0 + self.step * np.arange(self.count, dtype=np.float64)
        return k * self.fs / self.n

    @functools.cached_property
    def _times(self) -> npt.NDArray[np.float64]:
        return np.arange(self.times, dtype=np.float64) * self.step_in_time / self.fs


def _bins_per_step(bins: float, n: int) -> int:
    """df in whole bins, at least one; a step past the band's end (n bins or
    more, or beyond float range) is one step of n: the first voice alone."""
    if not bins < n:
        return n
    return max(1, nearest_bin(bins))


def voice_grid(n: int, fs: object, fmin: object, fmax: object, df: object, decim: object,
               width: object) -> VoiceGrid:
    """The grid of a signal of n samples, checking every argument."""
    rate = positive(fs, "fs")
    # Bins (f*n/fs with f <= fs/2) and times (sample/fs) within float range.
    if not (math.isfinite(rate * n) and math.isfinite((n - 1) / rate)):
        raise ValueError(f"fs={fs!r} is out of range for a signal of {n} samples: "
                         "its frequencies or times would overflow")
    lo = real_number(fmin, "fmin")
    if not (math.isfinite(lo) and lo >= 0.0):
        raise ValueError(f"fmin={fmin!r} must be finite and not negative")
    nyquist = rate / 2.0
    hi = nyquist if fmax is None else real_number(fmax, "fmax")
    if not math.isfinite(hi):
        raise ValueError(f"fmax={fmax!r} must be finite")
    if hi > nyquist:
        raise ValueError(f"fmax={fmax!r} is above the Nyquist frequency fs/2={nyquist!r}")
    if lo > hi:
        raise ValueError(f"fmin={fmin!r} is above fmax={hi!r}")
    step = 1 if df is None else _bins_per_step(positive(df, "df") * n / rate, n)
    d = integer(decim, "decim")
    if d < 1:
        raise ValueError(f"decim={decim!r} must be a positive integer")
    gamma = positive(width, "width")
    low, high = WIDTH_RANGE
    if not low <= gamma < high:
        raise ValueError(f"width={width!r} is out of range: it must be at least {low:g} "
                         f"and below {high:g}")
    k0 = min(nearest_bin(lo * n / rate), n // 2)
    k1 = min(nearest_bin(hi * n / rate), n // 2)
    return VoiceGrid(n=n, fs=rate, k0=k0, step=step, count=(k1 - k0) // step + 1, decim=d,
                     width=gamma)


def frequency_list_grid(n: int, fs: object, freqs: object, fmin: object, fmax: object,
                        df: object, decim: object, width: object) -> VoiceGrid:
    """The grid of the voices nearest an increasing list of frequencies (Hz),
    each rounded to its nearest bin as the band's ends are; ValueError for
    frequencies outside 0 .. fs/2, not increasing, or sharing a bin."""
    if not (fmin == 0.0 and fmax is None and df is None):
        raise ValueError("freqs replaces fmin, fmax and df: give either freqs or a band")
    grid = voice_grid(n, fs, 0.0, None, None, decim, width)
    rate = grid.fs
    if isinstance(freqs, (str, bytes)) or not hasattr(freqs, "__len__"):
        raise TypeError(f"freqs must be a sequence of frequencies in Hz, not "
                        f"{type(freqs).__name__}")
    values = np.asarray(freqs)
    if values.dtype.kind not in "iuf":
        raise TypeError(f"freqs has dtype {values.dtype}; expected real frequencies in Hz")
    values = values.astype(np.float64)
    shown = values.tolist() if values.ndim == 1 else []
    if values.ndim != 1 or values.size == 0:
        raise ValueError(f"freqs must be a non-empty 1-D sequence, not shape {values.shape}")
    nyquist = rate / 2.0
    bad = ~(np.isfinite(values) & (values >= 0.0) & (values <= nyquist))
    if bad.any():
        i = int(np.argmax(bad))
        raise ValueError(f"freqs[{i}]={shown[i]!r} is outside 0 .. fs/2={nyquist!r} Hz")
    if values.size > 1 and not np.all(np.diff(values) > 0.0):
        i = int(np.argmax(~(np.diff(values) > 0.0)))
        raise ValueError(f"freqs must increase: freqs[{i + 1}]={shown[i + 1]!r} follows "
                         f"freqs[{i}]={shown[i]!r}")
    bins = [min(nearest_bin(v * n / rate), n // 2) for v in values.tolist()]
    for i in range(1, len(bins)):
        if bins[i] == bins[i - 1]:
            raise ValueError(
                f"freqs[{i - 1}]={shown[i - 1]!r} and freqs[{i}]={shown[i]!r} Hz round to the "
                f"same bin {bins[i]} ({bins[i] * rate / n!r} Hz; bins are fs/n={rate / n!r} Hz "
                "apart)")
    return VoiceGrid(n=n, fs=rate, k0=bins[0], step=1, count=len(bins), decim=grid.decim,
                     width=grid.width, bins=tuple(bins))
