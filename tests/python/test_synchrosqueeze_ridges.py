"""orbelix_tools.ridges and component: the path search against a plain
dynamic program, instantaneous frequencies of chirps and frequency
modulations through the ridges of the squeezed map, components from their
ridges, and the arguments refused."""

import re

import numpy as np
import pytest

import orbelix_tools as ot


def objective(m, path, penalty):
    """sum m[path] - penalty * sum jumps^2 of one path (m normalised)."""
    return m[path, np.arange(m.shape[1])].sum() - penalty * (np.diff(path) ** 2).sum()


def best_objective(m, penalty):
    """The optimum by the O(F^2 T) dynamic program, in float64."""
    f = np.arange(m.shape[0])
    jump = penalty * (f[:, None] - f[None, :]) ** 2
    score = m[:, 0].copy()
    for t in range(1, m.shape[1]):
        score = (score[None, :] - jump).max(axis=1) + m[:, t]
    return score.max()


class TestPathSearch:
    @pytest.mark.parametrize("penalty", [0.0, 0.003, 0.05, 1.0, 50.0])
    def test_optimal_against_plain_dynamic_program(self, penalty):
        rng = np.random.default_rng(int(penalty * 1000))
        for shape in [(1, 5), (7, 1), (23, 40), (64, 17)]:
            m = rng.random(shape)
            r = ot.ridges(np.arange(shape[0]), np.arange(shape[1]), m, penalty=penalty)
            path = r.index[0]
            norm = m / m.max()
            assert objective(norm, path, penalty) == pytest.approx(best_objective(norm, penalty),
                                                                   rel=1e-12, abs=1e-12)
            assert np.array_equal(r.amplitude[0], m[path, np.arange(shape[1])])

    def test_batch_band_and_several_ridges(self):
        f = np.linspace(0, 50, 51)
        t = np.arange(30) / 10
        m = np.zeros((2, 51, 30))
        m[0, 10] = 3.0
        m[0, 40] = 2.0
        m[1, 25] = 1.0
        m[1, 5] = 5.0
        r = ot.ridges(f, t, m, n_ridges=2, workers=2)
        assert r.index.shape == (2, 2, 30)
        assert (r.index[0, 0] == 10).all() and (r.index[0, 1] == 40).all()
        assert (r.index[1, 0] == 5).all() and (r.index[1, 1] == 25).all()
        assert np.array_equal(r.frequency[0, 1], np.full(30, 40.0))
        assert np.array_equal(r.amplitude[0, 1], np.full(30, 2.0))
        banded = ot.ridges(f, t, m, band=(20.0, 50.0))
        assert (banded.index[0, 0] == 40).all() and (banded.index[1, 0] == 25).all()

    def test_bad_arguments(self):
        f, t, m = np.arange(4.0), np.arange(3.0), np.ones((4, 3))
        cases = [
            ((f, t, m + 0j), {}, TypeError, "M has dtype complex128"),
            ((f[1:], t, m), {}, ValueError, "the last two axes must be (len(f), len(t))"),
            ((f, t, m), {"penalty": -1.0}, ValueError, "penalty=-1.0 must be finite"),
            ((f, t, m), {"n_ridges": 5}, ValueError, "n_ridges=5 must be from 1 to the 4"),
            ((f, t, m), {"band": (9.0, 10.0)}, ValueError, "band=(9.0, 10.0) holds none"),
            ((f, t, m), {"band": 3.0}, TypeError, "band must be a pair"),
            ((f, t, -m), {}, ValueError, "M has negative values"),
            ((f, t, m * np.nan), {}, ValueError, "is not finite"),
        ]
        for args, kwargs, error, message in cases:
            with pytest.raises(error, match=re.escape(message)):
                ot.ridges(*args, **kwargs)


def ridge_error(x, fs, truth, edge, n_ridges=1, **kwargs):
    """Largest relative error of the ridge frequencies of the squeezed map
    against the true instantaneous frequencies, away from the ends."""
    f, t, T = ot.sstransform(x, fs, **kwargs)
    r = ot.ridges(f, t, np.abs(T), n_ridges=n_ridges)
    mid = slice(edge, -edge)
    return [np.abs(r.frequency[i][mid] / truth[i][mid] - 1).max() for i in range(n_ridges)]


class TestInstantaneousFrequencyByRidges:
    def test_linear_chirp(self):
        n, fs = 4096, 1000.0
        time = np.arange(n) / fs
        x = np.cos(2 * np.pi * (50 * time + 40 * time**2))
        assert max(ridge_error(x, fs, [50 + 80 * time], n // 10, fmin=20.0, fmax=400.0)) < 0.01

    def test_quadratic_chirp(self):
        n, fs = 4096, 1000.0
        time = np.arange(n) / fs
        x = np.cos(2 * np.pi * (60 * time + 10 / 3 * time**3))
        truth = 60 + 10 * time**2
        assert max(ridge_error(x, fs, [truth], n // 10, fmin=20.0, fmax=400.0)) < 0.01

    def test_sinusoidal_fm_and_a_tone(self):
        n, fs = 4096, 1000.0
        time = np.arange(n) / fs
        fm = 150 + 30 * np.sin(2 * np.pi * 1.0 * time)
        x = np.cos(2 * np.pi * np.cumsum(fm) / fs) + 0.5 * np.cos(2 * np.pi * 350 * time)
        errors = ridge_error(x, fs, [fm, np.full(n, 350.0)], n // 10, n_ridges=2,
                             fmin=50.0, fmax=450.0)
        # The strongest ridge is the FM (amplitude 1), then the tone.
        assert max(errors) < 0.01


class TestComponent:
    def test_components_from_ridges(self):
        n, fs = 4096, 1000.0
        time = np.arange(n) / fs
        fm = 120 + 20 * np.sin(2 * np.pi * 0.7 * time)
        first = np.cos(2 * np.pi * np.cumsum(fm) / fs)
        second = 0.6 * np.cos(2 * np.pi * (300 * time + 15 * time**2))
        # Windows of width 2 keep the components apart (width 1 windows at
        # 300 Hz reach down to the FM, and their mixed coefficients spread).
        f, t, T = ot.sstransform(first + second, fs, fmin=20.0, fmax=480.0,
                                 window=("gauss", 2.0))
        r = ot.ridges(f, t, np.abs(T), n_ridges=2)
        parts = ot.component(f, t, T, r, 8)
        assert parts.shape == (2, n) and parts.dtype == np.float32
        mid = slice(n // 10, -n // 10)
        for got, want in zip(parts, (first, second)):
            assert np.abs(got - want)[mid].max() / np.abs(want).max() < 1e-2
        # One ridge as an index array, batch axes kept.
        one = ot.component(f, t, T[None], r.index[None, 1], 8)
        assert one.shape == (1, n) and np.array_equal(one[0], parts[1])
        # halfwidth 0 keeps the ridge's voice alone: a sum of one row.
        alone = ot.component(f, t, T, r.index[0], 0)
        assert np.allclose(alone, T.real[r.index[0], np.arange(n)], atol=1e-6)

    def test_bad_arguments(self):
        f, t = np.arange(4.0), np.arange(3.0)
        T = np.ones((4, 3), np.complex64)
        cases = [
            ((f, t, T.real, np.zeros(3, int), 1), TypeError, "T has dtype float32"),
            ((f, t, T, np.zeros(3), 1), TypeError, "ridge has dtype float64"),
            ((f, t, T, np.zeros(2, int), 1), ValueError, "ridge has shape (2,); expected (3,)"),
            ((f, t, T, np.full(3, 4), 1), ValueError, "outside 0 .. 3"),
            ((f, t, T, np.zeros(3, int), -1), ValueError, "halfwidth=-1 must not be negative"),
            ((f, t, T, np.zeros(3, int), 1.5), TypeError, "halfwidth must be an integer"),
        ]
        for args, error, message in cases:
            with pytest.raises(error, match=re.escape(message)):
                ot.component(*args)
