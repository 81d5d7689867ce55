# The extension's functions are nanobind callables rather than Python
# functions, so their signatures are given as callable protocols.
from typing import Any, Protocol

import numpy as np
import numpy.typing as npt

_Samples = np.float32 | np.float64 | np.complex64 | np.complex128

class _StransformInto(Protocol):
    def __call__(self, x: npt.NDArray[_Samples],
                 out: npt.NDArray[np.complex64] | npt.NDArray[np.float32], *, k0: int,
                 step: int, count: int, decim: int, width: float, absolute: bool, output: str,
                 workers: int, owner: npt.NDArray[Any] | None = ...,
                 bins: npt.NDArray[np.int32] | None = ...,
                 constants: npt.NDArray[np.float32] | None = ...,
                 shaped: tuple[Any, ...] | None = ..., keep: int = ...) -> None: ...

class _IstransformInto(Protocol):
    def __call__(self, s: npt.NDArray[np.complex64], out: npt.NDArray[np.float32], *, k0: int,
                 absolute: bool, workers: int, owner: npt.NDArray[Any] | None = ...) -> None: ...

class _TfrPowerInto(Protocol):
    def __call__(self, x: npt.NDArray[_Samples], power: npt.NDArray[np.float32],
                 itc: npt.NDArray[np.float32], *, k0: int, step: int, count: int, decim: int,
                 width: float, workers: int, owner: npt.NDArray[Any] | None = ...,
                 bins: npt.NDArray[np.int32] | None = ...,
                 constants: npt.NDArray[np.float32] | None = ...,
                 shaped: tuple[Any, ...] | None = ..., keep: int = ...) -> None: ...

class _LocalMeasuresInto(Protocol):
    def __call__(self, image: npt.NDArray[np.float32] | npt.NDArray[np.float64],
                 ratio: npt.NDArray[np.float32], orientation: npt.NDArray[np.float32],
                 phase: npt.NDArray[np.float32], energy: npt.NDArray[np.float32], *,
                 coarse: float, fine: float, kernel_size: int, border: str, workers: int,
                 owner: npt.NDArray[Any] | None = ...) -> None: ...
class _DostInplace(Protocol):
    def __call__(self, a: npt.NDArray[np.complex64], *, inverse: bool, workers: int) -> bool: ...

class _Dost2Inplace(Protocol):
    def __call__(self, a: npt.NDArray[np.complex64], *, inverse: bool, workers: int,
                 real: bool = ...) -> bool: ...

class _DominantInto(Protocol):
    def __call__(self, c: npt.NDArray[np.complex64], frequency_table: npt.NDArray[np.float32],
                 orientation_table: npt.NDArray[np.float32], frequency: npt.NDArray[np.float32],
                 orientation: npt.NDArray[np.float32], *, workers: int) -> None: ...

class _OctavesInto(Protocol):
    def __call__(self, c: npt.NDArray[np.complex64], octave_table: npt.NDArray[np.int32],
                 energy: npt.NDArray[np.float32], *, workers: int) -> None: ...

class _MagnitudesInto(Protocol):
    def __call__(self, c: npt.NDArray[np.complex64], out: npt.NDArray[np.float32], *,
                 workers: int) -> None: ...

class _FirstNotFinite(Protocol):
    def __call__(self, a: npt.NDArray[_Samples], owner: npt.NDArray[Any] | None,
                 name: str) -> int: ...

class _SqueezeInto(Protocol):
    def __call__(self, x: npt.NDArray[_Samples],
                 out: npt.NDArray[np.complex64] | npt.NDArray[np.float32], *, k0: int,
                 step: int, count: int, decim: int, width: float, workers: int,
                 owner: npt.NDArray[Any] | None = ..., bins: npt.NDArray[np.int32] | None = ...,
                 constants: npt.NDArray[np.float32] | None = ...,
                 shaped: tuple[Any, ...] | None = ..., keep: int = ...,
                 weight: npt.NDArray[np.complex64], gamma: float, relative: bool) -> None: ...

class _SstransformInto(Protocol):
    def __call__(self, x: npt.NDArray[_Samples], out: npt.NDArray[np.complex64], *, k0: int,
                 step: int, count: int, decim: int, width: float, workers: int,
                 owner: npt.NDArray[Any] | None = ..., bins: npt.NDArray[np.int32] | None = ...,
                 constants: npt.NDArray[np.float32] | None = ...,
                 shaped: tuple[Any, ...] | None = ..., keep: int = ...,
                 weight: npt.NDArray[np.complex64], gamma: float, relative: bool,
                 scale: npt.NDArray[np.complex64], zeroed: bool = ...) -> None: ...

class _RidgePathsInto(Protocol):
    def __call__(self, m: npt.NDArray[np.float64], out: npt.NDArray[np.int32], *,
                 penalty: float, workers: int) -> None: ...

class _WindowWeights(Protocol):
    def __call__(self, n: int, bins: npt.NDArray[np.int32], first: npt.NDArray[np.int32],
                 count: npt.NDArray[np.int32], re: npt.NDArray[np.float64],
                 im: npt.NDArray[np.float64] | None, out: npt.NDArray[np.complex64], *,
                 workers: int = 1) -> tuple[npt.NDArray[np.int32], npt.NDArray[np.int32]]: ...

class _SimdPath(Protocol):
    def __call__(self) -> str: ...

stransform_into: _StransformInto
istransform_into: _IstransformInto
tfr_power_into: _TfrPowerInto
local_measures_into: _LocalMeasuresInto
dost_inplace: _DostInplace
dost2_inplace: _Dost2Inplace
dominant_into: _DominantInto
octaves_into: _OctavesInto
magnitudes_into: _MagnitudesInto
sstransform_into: _SstransformInto
instantaneous_frequency_into: _SqueezeInto
ridge_paths_into: _RidgePathsInto
simd_path: _SimdPath
first_not_finite: _FirstNotFinite
window_weights: _WindowWeights
