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
edge_mask
    Where a voice's window reaches past the ends of the signal.
plot
    A time-frequency map with a labelled colour bar (needs matplotlib).
simd_path
    The SIMD instruction set the transforms run on.
"""

from ._edges import edge_mask
from ._simd import simd_path, warn_unless_honoured
from ._transforms import istransform, stransform, tfr_power
from .plotting import plot

__all__ = ["edge_mask", "istransform", "plot", "simd_path", "stransform", "tfr_power"]

warn_unless_honoured()
del warn_unless_honoured
