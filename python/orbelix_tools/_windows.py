"""The windows of the voices: the Gaussian of a width, a Gaussian whose width
varies with frequency as a power law, asymmetric windows and a user's own.

Gaussians are computed by the extension from one constant per voice. The
windows given by a shape in time are sampled here, voice by voice, where
they are not negligible; the extension transforms the samples into their
weights (the DFT of the shape sampled on the circle), once per call."""

from __future__ import annotations

import math
from dataclasses import dataclass
from typing import Any, Callable

import numpy as np
import numpy.typing as npt

from . import _core
from ._grid import WIDTH_RANGE, positive, real_number

#: The windows by name, with the names of their parameters.
WINDOWS: dict[str, tuple[str, ...]] = {
    "gauss": ("gamma",),
    "gauss_power": ("gamma", "p"),
    "bigauss": ("gamma_front", "gamma_back"),
    "hyperbolic": ("gamma_front", "gamma_back", "lam"),
}

# A voice's weight at offset 0 (the sum of the window's samples) counts as 0
# below this fraction of the sum of their magnitudes: the voice would be
# rounding error divided by rounding error.
_VANISHING = 1e-10


@dataclass(frozen=True)
class Window:
    """A parsed window: its kind, parameters, and the user's function."""

    kind: str
    params: tuple[float, ...]
    function: Callable[[Any], Any] | None = None

    @property
    def shaped(self) -> bool:
        """Whether its weights come from a shape in time."""
        return self.kind in ("bigauss", "hyperbolic", "callable")

    def describe(self) -> str:
        if self.kind == "callable":
            return f"window={getattr(self.function, '__name__', 'the callable')}"
        return f"window={(self.kind,) + self.params!r}"


def _gamma(value: object, name: str) -> float:
    g = positive(value, name)
    low, high = WIDTH_RANGE
    if not low <= g < high:
        raise ValueError(f"window {name}={value!r} is out of range: it must be at least {low:g} "
                         f"and below {high:g}")
    return g


def parse_window(window: Any, width: object, check_width: bool = True) -> Window:
    """The window of the arguments `window` and `width` (its shorthand);
    without check_width, a width alone is taken as it is (the grid checks it)."""
    if window is None:
        # Unchecked, the width goes to the grid, which checks it.
        return Window("gauss", (_gamma(width, "width") if check_width else width,))  # type: ignore[arg-type]
    if not (type(width) in (int, float) and width == 1.0):
        raise ValueError(f"width={width!r} and window={window!r} both given: give the "
                         "Gaussian's width as window=('gauss', width) or width= alone")
    if callable(window):
        return Window("callable", (), window)
    if not isinstance(window, tuple) or not window or not isinstance(window[0], str):
        raise TypeError(f"window must be a tuple (name, parameters...) or a callable, not "
                        f"{type(window).__name__} ({window!r})")
    name = str.__str__(window[0])
    if name not in WINDOWS:
        raise ValueError(f"window name {name!r} is not one of "
                         + ", ".join(repr(w) for w in WINDOWS))
    names = WINDOWS[name]
    if len(window) != len(names) + 1:
        raise ValueError(f"window {name!r} takes {len(names)} parameter"
                         f"{'s' if len(names) > 1 else ''} ({', '.join(names)}), "
                         f"not {len(window) - 1}")
    values: list[float] = []
    for pname, value in zip(names, window[1:]):
        if pname.startswith("gamma"):
            values.append(_gamma(value, pname))
        elif pname == "p":
            p = real_number(value, "p")
            if not (math.isfinite(p) and abs(p) <= 16.0):
                raise ValueError(f"window p={value!r} must be finite, from -16 to 16")
            values.append(p)
        else:
            lam = real_number(value, "lam")
            if not (math.isfinite(lam) and lam >= 0.0):
                raise ValueError(f"window lam={value!r} must be finite and not negative")
            values.append(lam)
    return Window(name, tuple(values))


def gauss_constant(width: float) -> np.float32:
    """The extension's window constant 2 pi^2 width^2 (width 1: the fast
    S-transform's constant, bit for bit)."""
    if width == 1.0:
        return np.float32(19.73921)
    return np.float32(19.739208802178716 * width * width)


def voice_widths(win: Window, f: npt.NDArray[np.float64]) -> npt.NDArray[np.float64]:
    """The width gamma_k of each voice's Gaussian (gauss_power: sigma =
    gamma/f^p in time is the Gaussian of width gamma f^(1-p)); 1 at 0 Hz,
    where the voice is the mean."""
    if win.kind == "gauss":
        return np.full(f.shape, win.params[0])
    gamma, p = win.params
    safe = np.where(f > 0.0, f, 1.0)
    with np.errstate(over="ignore"):
        widths = gamma * safe ** (1.0 - p) if p != 1.0 else np.full(f.shape, gamma)
    widths = np.where(f > 0.0, widths, 1.0)
    low, high = WIDTH_RANGE
    bad = ~((widths >= low) & (widths < high))
    if bad.any():
        i = int(np.argmax(bad))
        raise ValueError(f"{win.describe()} gives the voice at {f[i]!r} Hz a width "
                         f"gamma*f**(1-p)={widths[i]!r} outside {low:g} .. {high:g}")
    return widths


def gauss_constants(win: Window, f: npt.NDArray[np.float64]) -> npt.NDArray[np.float32]:
    """One window constant per voice for the extension."""
    return np.array([gauss_constant(float(w)) for w in voice_widths(win, f)], dtype=np.float32)


def shape_values(win: Window, u: npt.NDArray[np.float64],
                 f: npt.NDArray[np.float64] | float) -> npt.NDArray[Any]:
    """The window's shape at lags u (s, last axis) for voices at f (Hz, a
    column), unnormalised."""
    if win.kind == "bigauss":
        gf, gb = win.params
        g = np.where(u < 0.0, gf, gb)
        return np.exp(-0.5 * np.square(f * u / g))
    if win.kind == "hyperbolic":
        gf, gb, lam = win.params
        xi = math.sqrt((gf - gb) ** 2 * lam**2 / (4.0 * gf * gb))
        s = u - xi
        x = ((gf + gb) / (2.0 * gf * gb)) * s + ((gf - gb) / (2.0 * gf * gb)) * np.sqrt(s * s + lam * lam)
        return np.exp(-0.5 * np.square(f * x))
    assert win.function is not None
    v = f * u
    try:
        values = np.asarray(win.function(v))
    except Exception as e:
        raise ValueError(f"window: the callable failed on an array of scaled times: {e!r}") from e
    if values.shape != v.shape or values.dtype.kind not in "biufc":
        raise ValueError(f"window: the callable must return numbers of the shape of its "
                         f"argument {v.shape}, not {values.dtype} of shape {values.shape}")
    return values


# Samples of the named shapes below 2**-64 of their peak are left out of
# their support: exp(-(f X)^2 / 2) < 2**-64 where |f X| exceeds this. What
# they would add to any weight is below 2**-60 of the weight at offset 0.
_CUT = math.sqrt(128.0 * math.log(2.0))
_NEGLIGIBLE = 2.0**-64
# A callable is evaluated where |v| <= _CALLABLE_REACH first, and over
# twice the range while the outer half of what it returned reaches _TRIM
# of its largest magnitude (up to the whole circle); then, as the named
# shapes, without the ends below 2**-64 of that.
_CALLABLE_REACH = 64.0
_TRIM = 2.0**-40
# Samples of the voices' shapes held at once: up to 48 bytes each (a
# complex shape's values, scaled, and their parts for the extension), within
# the 64 MB the working memory counts for them.
_SAMPLES_AT_ONCE = 1 << 20


def _lag_range(win: Window, f: float) -> tuple[float, float]:
    """Lags (s) outside which a named shape is below 2**-64 of its peak. X
    grows at least as fast as |u - xi| / max(gf, gb), less |b| lam."""
    if win.kind == "bigauss":
        gf, gb = win.params
        return -_CUT * gf / f, _CUT * gb / f
    gf, gb, lam = win.params
    xi = math.sqrt((gf - gb) ** 2 * lam**2 / (4.0 * gf * gb))
    b = abs(gf - gb) / (2.0 * gf * gb)
    reach = (_CUT / f + b * lam) * max(gf, gb)
    return xi - reach, xi + reach


def _circle_span(n: int) -> tuple[int, int]:
    """The lags of the circle in samples: -floor(n/2) .. ceil(n/2) - 1."""
    return -(n // 2), n - n // 2 - 1


def voice_samples(win: Window, n: int, fs: float, k: int) -> tuple[int, npt.NDArray[Any]]:
    """(first lag, samples) of the shape of the voice of bin k >= 1 at the
    lags j/fs of the circle where it is not negligible (0 elsewhere)."""
    f = k * fs / n
    jmin, jmax = _circle_span(n)
    if win.kind != "callable":
        u_lo, u_hi = _lag_range(win, f)
        lo = max(jmin, math.ceil(u_lo * fs)) if math.isfinite(u_lo) else jmin
        hi = min(jmax, math.floor(u_hi * fs)) if math.isfinite(u_hi) else jmax
        return _trimmed(lo, shape_values(win, np.arange(lo, hi + 1) / fs, f))
    reach = _CALLABLE_REACH
    while True:
        half = reach / f * fs  # samples
        lo = max(jmin, -math.floor(half)) if half < n else jmin
        hi = min(jmax, math.floor(half)) if half < n else jmax
        j = np.arange(lo, hi + 1)
        values = shape_values(win, j / fs, f)
        if lo == jmin and hi == jmax:
            return _trimmed(lo, values)
        mag = np.abs(values)
        outer = mag[np.abs(j) > half / 2]
        with np.errstate(invalid="ignore"):
            if not outer.max(initial=0.0) >= _TRIM * mag.max():
                return _trimmed(lo, values)
        reach *= 2.0


def _trimmed(first: int, values: npt.NDArray[Any]) -> tuple[int, npt.NDArray[Any]]:
    """The run of samples without its ends below 2**-64 of its largest
    magnitude (all of it when that is not finite or 0: refused later)."""
    mag = np.abs(values)
    with np.errstate(invalid="ignore"):
        kept = np.flatnonzero(mag >= _NEGLIGIBLE * mag.max())
    if kept.size == 0:
        return first, values
    return first + int(kept[0]), values[kept[0]:kept[-1] + 1]


@dataclass
class ShapedWeights:
    """Voice i's weight at bin offset d (lo[i] <= d <= hi[i]) is
    values[start[i] + d - lo[i]]."""

    values: npt.NDArray[np.complex64]
    start: npt.NDArray[np.int64]
    lo: npt.NDArray[np.int32]
    hi: npt.NDArray[np.int32]

    def as_tuple(self) -> tuple[Any, ...]:
        return (self.values, self.start, self.lo, self.hi)


def _offset_zero(values: npt.NDArray[Any]) -> str | None:
    """Why samples cannot be normalised by their sum (None: they can)."""
    if not np.all(np.isfinite(values)):
        return "not finite"
    total = values.sum()
    if not (np.isfinite(total) and abs(total) > _VANISHING * np.abs(values).sum()):
        return "0 at offset 0"
    return None


def shaped_weights(win: Window, n: int, fs: float, bins: npt.NDArray[np.int64],
                   workers: int = 1, previous: ShapedWeights | None = None) -> ShapedWeights:
    """Every voice's weights: the DFT of the shape sampled at the circle's
    lags, divided by its value at offset 0 (the sum of the samples), over
    the offsets the voice reads (-k .. n/2 - k), trimmed where below 2**-24
    of the weight at offset 0 (1). The shapes are sampled here on their supports,
    the transforms run in the extension. ValueError when a voice's weight at
    offset 0 is 0 or not finite: it cannot be normalised to unit tone
    amplitude, nor inverted. The values of `previous`, weights no longer
    read, are overwritten when they have room."""
    voiced = [int(k) for k in bins.tolist() if k > 0]
    half = n // 2 + 1
    # Every voice's full range, trimmed in place: the weights of a dense
    # window fill it, and nothing is copied.
    size = len(voiced) * half
    if previous is not None and previous.values.size >= size:
        values_all = previous.values[:size].reshape(len(voiced), half)
    else:
        values_all = np.empty((len(voiced), half), np.complex64)
    lo_v = np.zeros(len(voiced), np.int32)
    hi_v = np.full(len(voiced), -1, np.int32)
    pending: list[tuple[int, npt.NDArray[Any]]] = []  # (first lag, samples)
    done = 0  # voices transformed

    def transform_pending() -> None:
        nonlocal done
        if not pending:
            return
        rows = slice(done, done + len(pending))
        imag = None
        if any(values.dtype.kind == "c" for _, values in pending):
            imag = np.concatenate([values.imag for _, values in pending]).astype(np.float64)
        lo_v[rows], hi_v[rows] = _core.window_weights(
            n, np.array(voiced[rows], np.int32), np.array([f for f, _ in pending], np.int32),
            np.array([v.size for _, v in pending], np.int32),
            np.concatenate([values.real for _, values in pending]).astype(np.float64), imag,
            values_all[rows], workers=workers)
        done += len(pending)
        pending.clear()

    held = 0
    for k in voiced:
        first, values = voice_samples(win, n, fs, k)
        why = _offset_zero(values)
        if why is not None:
            raise ValueError(
                f"{win.describe()}: the weights of the voice at {k * fs / n!r} Hz are {why} "
                "(the sum of the window's samples): the voice cannot be normalised to unit "
                "tone amplitude, and the transform could not be inverted")
        # A power of two keeps every sample within single precision and
        # changes no quotient by the sum.
        pending.append((first, values * 2.0 ** -math.frexp(float(np.abs(values).max()))[1]))
        held += values.size
        if held >= _SAMPLES_AT_ONCE:
            transform_pending()
            held = 0
    transform_pending()
    start = np.full(bins.size, values_all.size, np.int64)
    lo = np.zeros(bins.size, np.int32)
    hi = np.full(bins.size, -1, np.int32)
    inside = bins > 0
    start[inside] = np.arange(len(voiced), dtype=np.int64) * half + np.array(voiced) + lo_v
    lo[inside] = lo_v
    hi[inside] = hi_v
    return ShapedWeights(values_all.reshape(-1), start, lo, hi)


def check_invertible(win: Window, n: int, fs: float, bins: npt.NDArray[np.int64]) -> None:
    """ValueError unless every voice's weight at offset 0 (the sum of the
    window's samples) is finite and non-zero (above 1e-10 of the sum of the
    samples' magnitudes): then the voices are divided
    by it, and the time sum of voice k is n times the spectrum at bin k,
    which the inverse reads."""
    if not win.shaped:
        return  # A Gaussian's weight at offset 0 is 1.
    for k in bins.tolist():
        if k <= 0:
            continue
        why = _offset_zero(voice_samples(win, n, fs, int(k))[1])
        if why is not None:
            raise ValueError(
                f"{win.describe()} cannot be inverted: its weight at offset 0 (the sum of its "
                f"samples) is {'0' if why.startswith('0') else 'not finite'} "
                f"for the voice at {k * fs / n!r} Hz")


def density_factors(win: Window, grid: Any, weights: ShapedWeights | None
                    ) -> npt.NDArray[np.float64]:
    """Per voice, the factor F that turns time-averaged |S|^2 of white noise
    into its one-sided power spectral density: with the analytic spectrum a
    (E|a|^2 = 4 sigma^2/n off bin 0) and the voice's weights W over the
    offsets it reads, E|S|^2 = (4 sigma^2/n) sum |W|^2 and the density is
    2 sigma^2/fs, so F = (2 fs/n) sum |W|^2; at 0 Hz (the mean, E = sigma^2/n)
    F = fs/(2n)."""
    n, fs = grid.n, grid.fs
    bins = grid.bins_array
    factors = np.empty(bins.size)
    widths = (voice_widths(win, bins * fs / n) if win.kind == "gauss_power"
              else np.full(bins.size, win.params[0] if win.kind == "gauss" else 1.0))
    for i, k in enumerate(bins.tolist()):
        if k == 0:
            factors[i] = fs / (2.0 * n)
            continue
        lo, hi = -k, n // 2 - k
        if weights is None:
            # |W(d)|^2 = exp(-4 pi^2 gamma^2 d^2 / k^2) is below 1e-17 past
            # |d| = 1.01 k / gamma.
            reach = int(1.01 * k / widths[i]) + 2
            d = np.arange(max(lo, -reach), min(hi, reach) + 1, dtype=np.float64)
            total = float(np.exp(-4.0 * np.pi**2 * widths[i] ** 2 * (d / k) ** 2).sum())
        else:
            a, b = max(lo, int(weights.lo[i])), min(hi, int(weights.hi[i]))
            w = weights.values[weights.start[i] + a - weights.lo[i]:
                               weights.start[i] + b - weights.lo[i] + 1].astype(np.complex128)
            total = float(np.sum(np.abs(w) ** 2))
        factors[i] = 2.0 * fs / n * total
    return factors
