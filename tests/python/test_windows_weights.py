"""The weights of windows given by a shape in time (the asymmetric windows
and a user's own) against their float64 definition, the supports the
shapes are sampled on, the extension's own checks, the same bytes on every
SIMD path and worker count, and when the long-window warning speaks."""
import hashlib
import json
import math
import os
import subprocess
import sys
import textwrap
import warnings

import numpy as np
import pytest

import orbelix_tools as ot
from orbelix_tools import _core, _windows
from cpu_paths import wide_paths
from references import shaped_voices, shaped_weights, window_shape

HERE = os.path.dirname(os.path.abspath(__file__))
TRIM = 2.0**-24

WINDOWS = {
    "bigauss": ("bigauss", 0.6, 1.7),
    "hyperbolic": ("hyperbolic", 0.8, 1.6, 0.05),
    "real callable": lambda v: np.exp(-np.abs(v) ** 1.5),
    "complex callable": lambda v: np.exp(-0.5 * v * v) * (1.0 + 0.3j * np.tanh(v)),
}


def definition(window, n, fs, k):
    """Voice k's n weights (by offset mod n) from the window's definition."""
    return shaped_weights(lambda j: window_shape(window, j / fs, k * fs / n), n)


def full_range(weights, i, k, n):
    """Voice i's weights over the offsets -k .. n/2-k, 0 where trimmed."""
    out = np.zeros(n // 2 + 1, np.complex128)
    lo, hi, start = int(weights.lo[i]), int(weights.hi[i]), int(weights.start[i])
    out[lo + k:hi + k + 1] = weights.values[start:start + hi - lo + 1]
    return out


@pytest.mark.parametrize("n", [64, 75, 101, 30000])
@pytest.mark.parametrize("name", list(WINDOWS))
def test_weights_against_their_definition(n, name):
    fs = 50.0
    win = _windows.parse_window(WINDOWS[name], 1.0)
    if n < 200:
        bins = np.arange(0, n // 2 + 1)
    else:  # from windows wider than the circle to a few samples long
        bins = np.array([0, 1, 2, 7, 150, 1234, 7500, 14999, 15000])
    one = _windows.shaped_weights(win, n, fs, bins)
    two = _windows.shaped_weights(win, n, fs, bins, workers=2)
    for a, b in zip(one.as_tuple(), two.as_tuple()):
        np.testing.assert_array_equal(a, b)
    assert one.hi[0] < one.lo[0]  # 0 Hz: the mean, no weights
    for i, k in enumerate(bins.tolist()):
        if k == 0:
            continue
        d = np.arange(-k, n // 2 - k + 1)
        want = definition(WINDOWS[name], n, fs, k)[d % n]
        got = full_range(one, i, k, n)
        # single-precision transforms of the samples: within a few ulps of 1
        assert np.abs(got - want).max() < 2e-6, (k, np.abs(got - want).max())
        assert one.lo[i] <= 0 <= one.hi[i] and got[k] == pytest.approx(1.0, abs=1e-6)
        # only the ends are trimmed, and only where the definition is negligible
        outside = (d < one.lo[i]) | (d > one.hi[i])
        assert np.all(np.abs(want[outside]) < TRIM + 2e-6)


@pytest.mark.parametrize("name", ["bigauss", "complex callable"])
def test_weights_transformed_in_parts_are_the_weights_at_once(name, monkeypatch):
    win = _windows.parse_window(WINDOWS[name], 1.0)
    bins = np.arange(0, 1501, 7)
    whole = _windows.shaped_weights(win, 3000, 40.0, bins)
    monkeypatch.setattr(_windows, "_SAMPLES_AT_ONCE", 500)  # a few voices a part
    parts = _windows.shaped_weights(win, 3000, 40.0, bins, workers=2)
    for a, b in zip(whole.as_tuple(), parts.as_tuple()):
        np.testing.assert_array_equal(a, b)


@pytest.mark.parametrize("name", list(WINDOWS))
@pytest.mark.parametrize("decim", [1, 8, 7])  # full, folded, sampled
def test_voices_of_a_long_signal_against_the_definition(name, decim):
    n, fs = 24000, 200.0
    rng = np.random.default_rng(8)
    x = rng.standard_normal(n) + 3.0 * np.cos(2 * np.pi * 31.0 * np.arange(n) / fs)
    f, t, s = ot.stransform(x.astype(np.float32), fs, freqs=[0.5, 3.0, 31.0, 77.7, 99.0],
                            decim=decim, window=WINDOWS[name])
    bins = np.rint(f * n / fs).astype(int)
    want = shaped_voices(x, bins, lambda k: definition(WINDOWS[name], n, fs, k))[:, ::decim]
    assert np.abs(s - want).max() < 2e-5 * np.abs(want).max()


def test_named_shapes_leave_out_only_negligible_samples():
    for window in (("bigauss", 0.7, 1.4), ("bigauss", 3.0, 0.2), ("hyperbolic", 0.7, 1.4, 0.05),
                   ("hyperbolic", 2.0, 0.3, 0.5), ("hyperbolic", 1.0, 1.0, 0.2)):
        win = _windows.parse_window(window, 1.0)
        for n, fs, k in ((20001, 100.0, 10), (20001, 100.0, 9000), (64, 16.0, 1), (4096, 1.0, 2048)):
            first, values = _windows.voice_samples(win, n, fs, k)
            j = np.arange(-(n // 2), n - n // 2)
            everywhere = window_shape(window, j / fs, k * fs / n)
            inside = (j >= first) & (j < first + values.size)
            np.testing.assert_allclose(values, everywhere[inside], rtol=1e-13)
            assert np.all(everywhere[~inside] <= 2.0**-64 * everywhere.max()), (window, n, k)


@pytest.mark.parametrize("window,edge,evaluations", [
    # 2**-64 of the peak at |v| = sqrt(128 ln 2), well within |v| <= 64
    (lambda v: np.exp(-0.5 * v * v), math.sqrt(128 * math.log(2)), 1),
    # still 2**-40 of the peak on 32 < |v| <= 64: evaluated to 256, cut at 2**-64
    (lambda v: np.exp(-np.abs(v) / 4.0), 256 * math.log(2), 3),
    # never negligible: up to the whole circle (|v| <= 500)
    (lambda v: 1.0 / (1.0 + v * v), math.inf, 4),
])
def test_callables_are_evaluated_until_negligible(window, edge, evaluations):
    n, fs, k = 100000, 100.0, 1000  # 1 Hz: 100 samples a unit of v
    calls = []

    def counted(v):
        calls.append(v.size)
        return window(v)

    win = _windows.parse_window(counted, 1.0)
    first, values = _windows.voice_samples(win, n, fs, k)
    if math.isinf(edge):
        assert first == -(n // 2) and values.size == n
    else:
        assert -first * k / n == pytest.approx(edge, abs=0.011)
        assert (first + values.size - 1) * k / n == pytest.approx(edge, abs=0.011)
    # evaluated over |v| <= 64, doubled while the outer half is not negligible
    assert calls[0] == 12801 and len(calls) == evaluations
    j = np.arange(-(n // 2), n - n // 2)
    everywhere = np.abs(window(k * j / n))
    inside = (j >= first) & (j < first + values.size)
    assert np.all(everywhere[~inside] < 2.0**-64 * everywhere.max())


def test_a_callable_is_evaluated_once_a_voice():
    calls = []

    def window(v):
        calls.append(v.shape)
        return np.exp(-0.5 * v * v)

    n, fs = 1000, 100.0
    bins = np.arange(0, 201)
    weights = _windows.shaped_weights(_windows.parse_window(window, 1.0), n, fs, bins)
    assert len(calls) == bins.size - 1  # not the mean at 0 Hz
    # on its support: 641 samples at 20 Hz (|v| <= 64), the circle below 10 Hz
    assert calls[-1] == (641,) and calls[99] == (n,)
    assert np.all(weights.hi[1:] >= weights.lo[1:])


@pytest.mark.parametrize("kw,match", [
    (dict(out=np.zeros((1, 32), np.complex64)), "out must hold n/2 \\+ 1 weights a voice"),
    (dict(first=np.array([-40], np.int32)), "samples lie outside the circle"),
    (dict(bins=np.array([33], np.int32)), "samples lie outside the circle"),
    (dict(count=np.array([4], np.int32)), "count must sum to the number of samples"),
    (dict(re=np.array([1.0, -2.0, 0.0, 1.0, 0.0])), "finite and sum to a finite non-zero value"),
    (dict(re=np.array([1.0, np.nan, 0.0, 1.0, 0.0])), "finite and sum to a finite non-zero value"),
    (dict(im=np.zeros(4)), "re and im must have one extent"),
])
def test_the_extension_checks_what_it_indexes(kw, match):
    args = dict(n=64, bins=np.array([3], np.int32), first=np.array([-2], np.int32),
                count=np.array([5], np.int32), re=np.ones(5), im=None,
                out=np.zeros((1, 33), np.complex64))
    args.update(kw)
    with pytest.raises(ValueError, match=match):
        _core.window_weights(args["n"], args["bins"], args["first"], args["count"], args["re"],
                             args["im"], args["out"])


SHAPED_DIGESTS = textwrap.dedent("""
    import hashlib, json
    import numpy as np
    import orbelix_tools as ot

    rng = np.random.default_rng(4)
    out = {}
    windows = {"bigauss": ("bigauss", 0.6, 1.7), "hyperbolic": ("hyperbolic", 0.8, 1.6, 0.05),
               "callable": lambda v: np.exp(-0.5 * v * v) * (1.0 + 0.3j * np.tanh(v))}
    for n in (101, 2400):
        x = rng.standard_normal((3, n))
        for name, window in windows.items():
            digest = hashlib.sha256()
            for decim in (1, 4, 7):
                for a in ot.stransform(x, 100.0, fmin=1.0, decim=decim, window=window)[2:]:
                    digest.update(np.ascontiguousarray(a).tobytes())
            for a in ot.tfr_power(x[:, None], 100.0, fmin=1.0, decim=4, window=window)[2:]:
                digest.update(np.ascontiguousarray(a).tobytes())
            out[f"{name} {n}"] = digest.hexdigest()
    print(json.dumps({"path": ot.simd_path(), "digests": out}))
""")


@pytest.mark.slow
def test_every_simd_path_gives_the_same_bytes():
    runs = {}
    for path in ["sse2"] + wide_paths():
        env = {**os.environ, "ORBELIX_SIMD": path}
        done = subprocess.run([sys.executable, "-c", SHAPED_DIGESTS], cwd=HERE, env=env,
                              capture_output=True, text=True, timeout=600)
        assert done.returncode == 0, done.stderr
        result = json.loads(done.stdout)
        assert result["path"] == path
        runs[path] = result["digests"]
    first = runs["sse2"]
    for path, digests in runs.items():
        assert digests == first, path


# ---- the long-window warning ---------------------------------------------

def _warnings_of(call):
    with warnings.catch_warnings(record=True) as got:
        warnings.simplefilter("always")
        call()
    return [str(w.message) for w in got if "longer than the signal" in str(w.message)]


def test_a_band_from_zero_hz_does_not_warn_of_its_lowest_voices():
    x = np.random.default_rng(1).standard_normal(256)
    for window in (None, ("bigauss", 0.6, 1.7), ("gauss_power", 1.0, 0.5)):
        assert _warnings_of(lambda: ot.stransform(x, 64.0, window=window)) == []
        assert _warnings_of(lambda: ot.stransform(x, 64.0, fmax=10.0, window=window)) == []
        assert _warnings_of(lambda: ot.tfr_power(x[None, None], 64.0, window=window)) == []
    # 16 samples: every signal, however short
    assert _warnings_of(lambda: ot.stransform(x[:16])) == []


def test_voices_the_caller_chose_warn_once():
    x = np.random.default_rng(1).standard_normal(256)
    chosen = [
        lambda: ot.stransform(x, 64.0, fmin=0.25, fmax=10.0),
        lambda: ot.stransform(x, 64.0, freqs=[0.25, 0.5, 0.75, 3.0]),
        lambda: ot.stransform(x, 64.0, freqs=[0.0, 0.25, 0.5, 0.75, 3.0][1:]),
        lambda: ot.tfr_power(x[None, None], 64.0, fmin=0.25, fmax=10.0),
    ]
    for call in chosen:
        assert _warnings_of(call) == [
            "the windows of 3 voices (up to 0.75 Hz) are longer than the signal of 256 samples: "
            "at every time more than 0.05 of their weight falls outside it, and the transform "
            "reads the signal's other end or the padding there (see edge_mask)"]
    # voices that fit do not warn, with any window
    assert _warnings_of(lambda: ot.stransform(x, 64.0, fmin=3.0, window=("bigauss", 0.6, 1.7))) == []


def test_long_windows_past_the_run_from_zero_hz_warn():
    # sigma = 0.05 f s: the windows lengthen with frequency, past 4 s above 80 Hz
    x = np.random.default_rng(1).standard_normal(512)
    got = _warnings_of(lambda: ot.stransform(x, 128.0, window=("gauss_power", 0.05, -1.0)))
    assert len(got) == 1 and "longer than the signal of 512 samples" in got[0]
    assert _warnings_of(lambda: ot.stransform(x, 128.0, fmax=20.0,
                                              window=("gauss_power", 0.05, -1.0))) == []
