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
sstransform, isstransform
    Synchrosqueezed S-transform (sharp lines at the instantaneous
    frequencies), and the signal from it.
instantaneous_frequency
    The instantaneous frequency of every S-transform coefficient.
ridges, component
    Curves of largest energy through a map, and the component around one.
edge_mask
    Where a voice's window reaches past the ends of the signal.
local_measures
    Ratio, orientation, phase and energy of an image at every pixel.
dost, idost
    Discrete orthonormal S-transform of signals of any length, and its inverse.
dost_bands
    The bands of the DOST: frequencies, coefficient slices and times.
dost2, idost2
    The 2-D DOST of images of any shape, and its inverse.
local_spectrum
    Local spectrum of every pixel: dominant frequency and orientation maps,
    energy per radial octave, or every band pair's magnitude.
plot
    A time-frequency map with a labelled colour bar (needs matplotlib).
plot_map
    A per-pixel map of an image: frequency, orientation or energy.
simd_path
    The SIMD instruction set the transforms run on.
to_xarray
    A transform as an xarray DataArray labelled in Hz and s (needs xarray).
"""

from ._dost import DostBand, dost, dost2, dost_bands, idost, idost2
from ._edges import edge_mask
from ._local_measures import local_measures
from ._local_frequency_maps import local_spectrum
from ._ridges import Ridges, component, ridges
from ._simd import simd_path, warn_unless_honoured
from ._synchrosqueeze import instantaneous_frequency, isstransform, sstransform
from ._transforms import istransform, stransform, tfr_power
from ._xarray import to_xarray
from .plotting import plot, plot_map

__all__ = ["Ridges", "component", "dost", "dost2", "dost_bands", "edge_mask", "idost", "idost2",
           "instantaneous_frequency", "isstransform", "istransform", "local_measures",
           "local_spectrum", "plot", "plot_map", "ridges", "simd_path", "sstransform",
           "stransform", "tfr_power", "to_xarray"]

warn_unless_honoured()
del warn_unless_honoured
