"""Repeated DOST and local spectrum calls, and refused ones, keep neither
references nor memory (the plans kept between calls are bounded)."""
import numpy as np
import pytest

import orbelix_tools as ot
from leaks import assert_no_leaks

rng = np.random.default_rng(0)
SIGNAL = rng.standard_normal((2, 101)).astype(np.float32)
IMAGE = rng.standard_normal((2, 17, 24))
BAD = np.array([[1.0, np.nan]])

CALLS = {
    "dost": lambda: ot.idost(ot.dost(SIGNAL, workers=2)),
    "dost2": lambda: ot.idost2(ot.dost2(IMAGE)),
    "dominant": lambda: ot.local_spectrum(IMAGE, workers=2),
    "octaves": lambda: ot.local_spectrum(IMAGE, output="octaves"),
    "full": lambda: ot.local_spectrum(IMAGE[0], output="full"),
    "bands": lambda: ot.dost_bands(1000, 250.0),
}


def refused():
    for call in (lambda: ot.dost(BAD), lambda: ot.local_spectrum(BAD, spacing=(0.0, 1.0)),
                 lambda: ot.dost2(BAD, axes=(0, 0))):
        try:
            call()
        except (ValueError, TypeError):
            pass


@pytest.mark.parametrize("name", sorted(CALLS) + ["refused"])
def test_no_leaks(name):
    call = refused if name == "refused" else CALLS[name]

    def run(count):
        for _ in range(count):
            call()

    assert_no_leaks(run, [SIGNAL, IMAGE, BAD], calls=400)
