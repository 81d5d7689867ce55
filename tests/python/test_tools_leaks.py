"""Repeated calls of the analysis package, good and refused, keep neither
references to their arguments nor memory."""

import numpy as np
import pytest

import orbelix_tools as ot
from leaks import assert_no_leaks

RNG = np.random.default_rng(11)
X = RNG.standard_normal((3, 256))
EPOCHS = RNG.standard_normal((4, 2, 128)).astype(np.float32)
F, _, S = ot.stransform(X[0], 64.0, fmin=2.0, fmax=20.0)

CALLS = {
    "stransform": (lambda: ot.stransform(X, 64.0, fmin=1.0, fmax=30.0, decim=4, workers=2),
                   lambda: ot.stransform(X, 64.0, fmin=40.0)),
    "istransform": (lambda: ot.istransform(F, S, 256, fs=64.0),
                    lambda: ot.istransform(F, S, 257, fs=64.0)),
    "tfr_power": (lambda: ot.tfr_power(EPOCHS, 64.0, fmax=20.0, workers=2),
                  lambda: ot.tfr_power(EPOCHS, 64.0, epochs_axis=2)),
}


@pytest.mark.parametrize("name", [pytest.param("stransform", marks=pytest.mark.slow), "istransform",
                                  pytest.param("tfr_power", marks=pytest.mark.slow)])
def test_tools_no_leaks(name):
    good, bad = CALLS[name]
    arguments = (X, EPOCHS, F, S)

    def run(count):
        for _ in range(count):
            good()
            try:
                bad()
            except ValueError:
                pass
            else:
                raise AssertionError("the bad call was accepted")

    assert_no_leaks(run, arguments, calls=1000)
