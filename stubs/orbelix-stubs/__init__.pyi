"""Fast S-transforms (Stockwell transforms) in single precision for NumPy.

Complex inputs become complex64 and real ones float32; results are new
column-major arrays. An optional argument given as None takes its default.
The six functions are callable routine objects; `_cpointer` holds the
address of the C routine of the same name as a capsule.
"""
from typing import Any, type_check_only

import numpy as np
from numpy.typing import ArrayLike, NDArray

__version__: str
__f2py_numpy_version__: str

class _orbelix_error(Exception):
    """Raised when an argument disagrees with an array's shape."""

@type_check_only
class _Routine:
    _cpointer: Any

@type_check_only
class _Fst(_Routine):
    def __call__(self, h: ArrayLike, n: int | None = None) -> NDArray[np.complex64]:
        """Fast S-transform of the first n samples of h (default len(h)).

        Returns voices 0 .. n//2 (frequency k/n cycles per sample) by n time
        samples, shape (n//2 + 1, n); row 0 is the mean of the signal.
        """

@type_check_only
class _Ifst(_Routine):
    def __call__(self, s: ArrayLike, n: int | None = None) -> NDArray[np.complex64]:
        """Inverse of fst: n samples from an (n//2 + 1, n) coefficient array.

        n must equal 2 * (s.shape[0] - 1), which is its default. Real signals
        come back exactly (to single precision).
        """

@type_check_only
class _Dst2(_Routine):
    def __call__(self, h: ArrayLike, n: int | None = None) -> NDArray[np.complex64]:
        """2-D discrete S-transform of an n x n image, n a power of two.

        n must equal h.shape[0] (its default); returns n x n coefficients.
        """

@type_check_only
class _Idst2(_Routine):
    def __call__(self, s: ArrayLike, n: int | None = None) -> NDArray[np.complex64]:
        """Inverse of dst2: the n x n image from n x n coefficients."""

@type_check_only
class _Imfreq(_Routine):
    def __call__(
        self, s: ArrayLike, x: int, y: int, l: int | None = None
    ) -> NDArray[np.complex64]:
        """Local frequency domain of pixel (x, y) from an l x l coefficient matrix.

        l must equal s.shape[0] (its default); returns (2m + 1, 2m + 1) with
        m = floor(log2(l)) - 1, band numbers -m .. m along each axis.
        """

@type_check_only
class _Cmsht2(_Routine):
    def __call__(
        self,
        r: ArrayLike,
        x: int,
        y: int,
        l: int | None = None,
        m: int | None = None,
        coarse: float | None = 0.2,
        fine: float | None = 0.1,
        kernel_size: int | None = 7,
    ) -> NDArray[np.float32]:
        """Local Hilbert measures of the l x m real image r at pixel (x, y).

        Returns float32 [ratio, orientation, phase, energy], angles in
        radians, from a (2 * kernel_size + 1)-pixel square window around
        (x, y), which must lie inside the image.
        """

fst: _Fst
ifst: _Ifst
dst2: _Dst2
idst2: _Idst2
imfreq: _Imfreq
cmsht2: _Cmsht2
