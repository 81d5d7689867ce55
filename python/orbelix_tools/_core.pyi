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

class _SimdPath(Protocol):
    def __call__(self) -> str: ...

stransform_into: _StransformInto
istransform_into: _IstransformInto
tfr_power_into: _TfrPowerInto
simd_path: _SimdPath
