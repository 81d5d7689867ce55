"""orbelix_tools with numbers beyond the float range (an int or Fraction a
float cannot hold): the argument is refused by name with ValueError, never an
OverflowError from a conversion inside; a decim of that size is one beyond
the signal, the single time 0."""

from fractions import Fraction

import numpy as np
import pytest

from orbelix_tools import istransform, stransform, tfr_power

X = np.random.default_rng(5).standard_normal((2, 64))
HUGE = [10**400, -10**400, Fraction(10**400, 3)]


@pytest.mark.parametrize("value", HUGE)
@pytest.mark.parametrize("name", ["fs", "fmin", "fmax", "df", "width"])
def test_real_arguments_beyond_the_float_range_are_refused_by_name(name, value):
    text = f"{name}={value!r} is beyond the float range"
    with pytest.raises(ValueError) as stransform_error:
        stransform(X, **{"fs": 1.0, name: value})
    with pytest.raises(ValueError) as tfr_error:
        tfr_power(X[:, None], **{"fs": 1.0, name: value})
    assert str(stransform_error.value) == str(tfr_error.value) == text


def test_decim_beyond_the_float_range_gives_the_first_time():
    f, t, s = stransform(X, 2.0, decim=10**400)
    assert t.tolist() == [0.0]
    assert np.array_equal(s, stransform(X, 2.0, decim=64)[2])


@pytest.mark.parametrize("n", [10**400, 2**64])
def test_inverse_length_beyond_the_float_range_is_refused_by_the_time_axis(n):
    f, t, s = stransform(X[0], 2.0)
    with pytest.raises(ValueError, match=f"^S has 64 time samples but n={n}: a decimated"):
        istransform(f, s, n, fs=2.0)
