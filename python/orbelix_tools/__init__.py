"""Time-frequency analysis of recordings with the S-transform.

A strict, NumPy-friendly layer over the single-precision S-transform engine
of :mod:`orbelix`: frequencies in Hz and times in s, a band of voices,
exact time decimation, batches of channels, window width and worker
threads.

Functions
---------
stransform
    S-transform of signals over a band, at every `decim`-th time.
istransform
    Signal from its full-resolution transform over a band (filtering).
tfr_power
    Power and inter-trial coherence averaged over epochs.
local_measures
    Ratio, orientation, phase and energy of an image at every pixel.
plot
    A time-frequency map with a labelled colour bar (needs matplotlib).
plot_map
    A per-pixel map of an image: frequency, orientation or energy.
simd_path
    The SIMD instruction set the transforms run on.
to_xarray
    A transform as an xarray DataArray labelled in Hz and s (needs xarray).
"""

from ._local_measures import local_measures
from ._simd import simd_path, warn_unless_honoured
from ._transforms import istransform, stransform, tfr_power
from ._xarray import to_xarray
from .plotting import plot, plot_map

__all__ = ["istransform", "local_measures", "plot", "plot_map", "simd_path", "stransform",
           "tfr_power", "to_xarray"]

warn_unless_honoured()
del warn_unless_honoured
