"""The extension refuses arrays at an address that is no multiple of their
element's alignment (the Python layer copies such input first); reading or
writing them would be misaligned accesses (UBSan's misaligned load)."""

import numpy as np
import pytest

from orbelix_tools import _core

GRID = dict(k0=0, step=1, count=9, decim=1, width=1.0, workers=1)


def misaligned(dtype, shape):
    """Zeros of `shape` at an address one float32 past an aligned one
    (misaligned for 8-byte types), or one byte past for float32."""
    dtype = np.dtype(dtype)
    offset = 4 if dtype.alignment == 8 else 1
    count = int(np.prod(shape))
    buf = bytearray(count * dtype.itemsize + offset + 16)
    start = (-np.frombuffer(buf, np.uint8).ctypes.data) % 16 + offset
    return np.frombuffer(buf, dtype, count, start).reshape(shape)


@pytest.mark.parametrize("dtype", [np.float32, np.float64, np.complex128])
def test_stransform_and_tfr_power_refuse_misaligned_signals(dtype):
    x = misaligned(dtype, (2, 1, 16))
    with pytest.raises(ValueError, match="x is not aligned"):
        _core.stransform_into(x, np.zeros((2, 9, 16), np.complex64), absolute=False,
                              output="complex", **GRID)
    with pytest.raises(ValueError, match="x is not aligned"):
        _core.tfr_power_into(x, np.zeros((1, 9, 16), np.float32),
                             np.zeros((1, 9, 16), np.float32), **GRID)


def test_outputs_and_coefficients_at_odd_addresses_are_refused():
    x = np.ones((1, 1, 16), np.float32)
    out = misaligned(np.float32, (1, 9, 16))
    with pytest.raises(ValueError, match="out is not aligned"):
        _core.stransform_into(x, out, absolute=False, output="power", **GRID)
    with pytest.raises(ValueError, match="power is not aligned"):
        _core.tfr_power_into(x, out, np.zeros((1, 9, 16), np.float32), **GRID)
    with pytest.raises(ValueError, match="s is not aligned"):
        _core.istransform_into(misaligned(np.float32, (1, 9, 32)).view(np.complex64),
                               np.zeros((1, 16), np.float32), k0=0, absolute=False, workers=1)
    assert not out.any()
