"""The windows of the voices: the Gaussian of a width, a Gaussian whose width
varies with frequency as a power law, asymmetric windows and a user's own.

Gaussians are computed by the extension from one constant per voice; the
windows given by a shape in time have their weights built here, once per
call, as the DFT of the shape sampled on the circle."""

from __future__ import annotations

import math
from dataclasses import dataclass
from typing import Any, Callable

import numpy as np
import numpy.typing as npt

from ._grid import WIDTH_RANGE, positive, real_number

#: The windows by name, with the names of their parameters.
WINDOWS: dict[str, tuple[str, ...]] = {
    "gauss": ("gamma",),
    "gauss_power": ("gamma", "p"),
    "bigauss": ("gamma_front", "gamma_back"),
    "hyperbolic": ("gamma_front", "gamma_back", "lam"),
}

# Weights below this fraction of a voice's largest are left out: they change
# no single-precision voice.
_TRIM = 2.0**-40
# A voice's weight at offset 0 (the sum of the window's samples) counts as 0
# below this fraction of the sum of their magnitudes: the voice would be
# rounding error divided by rounding error.
_VANISHING = 1e-10
# Values of the sampled shapes formed at once (16 bytes each).
_CHUNK = 1 << 22


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


def shape_values(win: Window, u: npt.NDArray[np.float64], f: npt.NDArray[np.float64]
                 ) -> npt.NDArray[Any]:
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


# exp(-x) is exactly 0 in double precision for x above 745.2: the shapes
# exp(-(f X)^2 / 2) vanish where |f X| exceeds this.
_ZERO_BEYOND = math.sqrt(2.0 * 745.2)


def _reach(win: Window, f: float) -> float | None:
    """A lag (s) beyond which the named shapes are exactly 0 (None: a user's
    window, evaluated everywhere). X grows at least as fast as
    min(1/gf, 1/gb) |u - xi| less |b| lam."""
    if win.shaped and win.kind != "callable" and f <= 0.0:
        return math.inf  # the voice at 0 Hz: not used, the mean stands for it
    if win.kind == "bigauss":
        return _ZERO_BEYOND * max(win.params) / f
    if win.kind == "hyperbolic":
        gf, gb, lam = win.params
        xi = math.sqrt((gf - gb) ** 2 * lam**2 / (4.0 * gf * gb))
        b = abs(gf - gb) / (2.0 * gf * gb)
        return xi + (_ZERO_BEYOND / f + b * lam) * max(gf, gb)
    return None


def _sampled_shapes(win: Window, u: npt.NDArray[np.float64], f: npt.NDArray[np.float64]
                    ) -> npt.NDArray[Any]:
    """The shapes of voices at f (a column) at the lags u, evaluated only
    within their reach (the rest is exactly 0)."""
    reach = [_reach(win, float(fk)) for fk in f[:, 0]]
    if any(r is None for r in reach):
        return shape_values(win, u[None, :], f)
    values = np.zeros((f.shape[0], u.size))
    span = np.abs(u)
    for row, r in enumerate(reach):
        inside = np.flatnonzero(span <= r)
        if inside.size == u.size:
            values[row] = shape_values(win, u[None, :], f[row:row + 1])[0]
        elif inside.size:
            values[row, inside] = shape_values(win, u[None, inside], f[row:row + 1])[0]
    return values


def circle_lags(n: int, fs: float) -> npt.NDArray[np.float64]:
    """The lags u = j/fs of the circle, j = -floor(n/2) .. ceil(n/2) - 1,
    stored at index j mod n (the order of the DFT)."""
    j = np.arange(n, dtype=np.float64)
    j[j >= n - n // 2] -= n
    return j / fs


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


def shaped_weights(win: Window, n: int, fs: float,
                   bins: npt.NDArray[np.int64]) -> ShapedWeights:
    """Every voice's weights: the DFT of the shape sampled at the circle's
    lags, divided by its value at offset 0, over the offsets the voice
    reads (-k .. n/2 - k), trimmed where negligible. ValueError when a
    voice's weight at offset 0 is 0 or not finite: it cannot be normalised
    to unit tone amplitude, nor inverted."""
    u = circle_lags(n, fs)
    count = bins.size
    lo = np.zeros(count, np.int32)
    hi = np.full(count, -1, np.int32)
    pieces: list[npt.NDArray[np.complex64]] = []
    start = np.zeros(count, np.int64)
    total = 0
    rows = max(1, _CHUNK // max(n, 1))
    for c0 in range(0, count, rows):
        ks = bins[c0:c0 + rows]
        f = (ks.astype(np.float64) * fs / n)[:, None]
        values = _sampled_shapes(win, u, f)
        real = values.dtype.kind != "c"
        if real:  # W[-d] = conj(W[d]): half the spectrum
            spectrum = np.fft.rfft(values.astype(np.float64), axis=-1)
        else:
            spectrum = np.fft.fft(values.astype(np.complex128), axis=-1)
        scale = np.abs(values).sum(axis=-1)
        del values
        for r, k in enumerate(ks.tolist()):
            i = c0 + r
            if k == 0:
                start[i] = total
                continue
            w = spectrum[r]
            w0 = w[0]
            if not (np.isfinite(w0) and abs(w0) > _VANISHING * scale[r]
                    and np.all(np.isfinite(w))):
                raise ValueError(
                    f"{win.describe()}: the weights of the voice at {k * fs / n!r} Hz are "
                    f"{'not finite' if not np.all(np.isfinite(w)) else '0 at offset 0'} "
                    "(the sum of the window's samples): the voice cannot be normalised to unit "
                    "tone amplitude, and the transform could not be inverted")
            d = np.arange(-k, n // 2 - k + 1)
            if real:
                wd = np.concatenate([np.conj(w[k:0:-1]), w[:n // 2 - k + 1]]) / w0
            else:
                wd = w[d % n] / w0
            mag = np.abs(wd)
            keep = np.flatnonzero(mag >= _TRIM * mag.max())
            a, b = int(keep[0]), int(keep[-1])
            lo[i], hi[i] = int(d[a]), int(d[b])
            start[i] = total
            pieces.append(wd[a:b + 1].astype(np.complex64))
            total += b - a + 1
    values_all = np.concatenate(pieces) if pieces else np.zeros(0, np.complex64)
    return ShapedWeights(values_all, start, lo, hi)


def check_invertible(win: Window, n: int, fs: float, bins: npt.NDArray[np.int64]) -> None:
    """ValueError unless every voice's weight at offset 0 (the sum of the
    window's samples) is finite and non-zero (above 1e-10 of the sum of the
    samples' magnitudes): then the voices are divided
    by it, and the time sum of voice k is n times the spectrum at bin k,
    which the inverse reads."""
    if not win.shaped:
        return  # A Gaussian's weight at offset 0 is 1.
    u = circle_lags(n, fs)
    rows = max(1, _CHUNK // max(n, 1))
    for c0 in range(0, bins.size, rows):
        ks = bins[c0:c0 + rows]
        f = (ks.astype(np.float64) * fs / n)[:, None]
        values = shape_values(win, u[None, :], f)
        sums = values.sum(axis=-1)
        with np.errstate(invalid="ignore"):
            bad = (ks > 0) & ~(np.isfinite(sums) & (np.abs(sums) > _VANISHING * np.abs(values).sum(axis=-1)))
        if bad.any():
            k = int(ks[int(np.argmax(bad))])
            raise ValueError(
                f"{win.describe()} cannot be inverted: its weight at offset 0 (the sum of its "
                f"samples) is {'0' if np.isfinite(sums[np.argmax(bad)]) else 'not finite'} "
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
