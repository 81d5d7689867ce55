"""S-transforms of MNE-Python objects, returned in MNE's own TFR containers.

MNE-Python is an optional dependency, imported when a function here is
called.
"""

from __future__ import annotations

import importlib
from typing import Any

import numpy as np
import numpy.typing as npt

from ._grid import bin_numbers
from ._transforms import stransform, tfr_power

_OUTPUTS = ("power", "complex")


def _mne() -> Any:
    try:
        return importlib.import_module("mne")
    except ImportError as e:
        raise ModuleNotFoundError(
            "orbelix_tools.mne needs MNE-Python (pip install mne, or the orbelix[mne] extra)") from e


def _band(freqs: npt.ArrayLike | None, fmin: float | None, fmax: float | None,
          df: float | None, n: int, sfreq: float) -> tuple[float, float | None, float | None]:
    """fmin, fmax and df for stransform, from either freqs or the band."""
    if freqs is None:
        return (sfreq / n if fmin is None else fmin), fmax, df
    if fmin is not None or fmax is not None or df is not None:
        raise ValueError("give either freqs or fmin/fmax/df, not both")
    k = bin_numbers(freqs, "freqs", n, sfreq, "sfreq", lambda i, v: (
        f"freqs[{i}]={v!r} is not an FFT bin frequency k*sfreq/n of the epochs "
        f"(n={n} samples, sfreq={sfreq!r}: bins every {sfreq / n!r} Hz)"))
    steps = np.diff(k)
    if steps.size and not (steps[0] >= 1 and np.all(steps == steps[0])):
        raise ValueError("freqs must be increasing and evenly spaced")
    step = float(steps[0]) * sfreq / n if steps.size else None
    return float(k[0]) * sfreq / n, float(k[-1]) * sfreq / n, step


def tfr_stockwell(inst: Any, freqs: npt.ArrayLike | None = None, fmin: float | None = None,
                  fmax: float | None = None, *, df: float | None = None, decim: int = 1,
                  width: float = 1.0, picks: Any = None, average: bool = True,
                  return_itc: bool = False, output: str = "power", workers: int = 1) -> Any:
    """S-transform power (and coherence) of MNE data, as MNE TFR objects.

    The counterpart of :func:`mne.time_frequency.tfr_stockwell` on the
    engine of :func:`orbelix_tools.stransform` and
    :func:`orbelix_tools.tfr_power`: the same kind of result (with ``info``,
    ``times`` and ``freqs`` set) from a call that is usually one line
    different.

    Parameters
    ----------
    inst : mne.Epochs, mne.Evoked or mne.io.Raw
        The data. Epochs give the power averaged over epochs
        (:class:`~mne.time_frequency.AverageTFRArray`) or of every epoch
        (:class:`~mne.time_frequency.EpochsTFRArray`); an Evoked gives an
        AverageTFRArray, a Raw a :class:`~mne.time_frequency.RawTFRArray`
        of the whole recording.
    freqs : array_like, optional
        Frequencies in Hz: evenly spaced FFT bins ``k*sfreq/n`` of the
        ``n`` samples of an epoch (``n`` is ``len(inst.times)``). The
        alternative to `fmin`, `fmax` and `df`.
    fmin, fmax : float, optional
        The band in Hz, as for :func:`orbelix_tools.stransform` (both ends
        included); `fmin` defaults to the first bin above 0 Hz,
        ``sfreq/n``, and `fmax` to ``sfreq/2``.
    df : float, optional
        Spacing of the frequencies in Hz (rounded to whole bins); every bin
        by default.
    decim : int, default 1
        Keep every `decim`-th time, computed exactly at those times.
    width : float, default 1.0
        The window width gamma of :func:`orbelix_tools.stransform` (1 is
        the classical S-transform). MNE's ``width`` is scaled differently;
        see Notes.
    picks : str, list or slice, optional
        Channels, as MNE's ``picks``: names or indices (bad channels
        included when named), or types (good channels only). By default
        the good data channels.
    average : bool, default True
        For epochs: average the power over epochs (an AverageTFRArray) or
        keep every epoch's (an EpochsTFRArray).
    return_itc : bool, default False
        Also return the inter-trial coherence as a second AverageTFRArray
        (epochs with ``average=True`` only).
    output : {"power", "complex"}, default "power"
        ``"complex"`` keeps the complex coefficients instead of the power
        (not with ``average=True`` on epochs, whose power is averaged).
    workers : int, default 1
        Threads; -1 uses every core. The numbers do not depend on it.

    Returns
    -------
    power : AverageTFRArray, EpochsTFRArray or RawTFRArray
        Data ``(n_channels, n_freqs, n_times)`` (with epochs first for an
        EpochsTFRArray), ``method="stockwell"``, ``times`` those of `inst`
        at every `decim`-th sample.
    itc : AverageTFRArray
        Only when `return_itc` is true.

    Raises
    ------
    ModuleNotFoundError
        When MNE-Python is not installed.
    TypeError
        For `inst` that is none of Epochs, Evoked and Raw, and for
        arguments of the wrong type.
    ValueError
        For `freqs` that are not evenly spaced bins of the epoch length,
        `freqs` given together with `fmin`, `fmax` or `df`, `return_itc`
        without averaged epochs, an unknown `output`, and the errors of
        :func:`orbelix_tools.stransform`.

    See Also
    --------
    orbelix_tools.tfr_power, orbelix_tools.stransform

    Notes
    -----
    Compared with :func:`mne.time_frequency.tfr_array_stockwell` (and
    :func:`mne.time_frequency.tfr_stockwell`) on the same frequencies:

    - Power is 4 times MNE's. Here the transform is that of the analytic
      signal (positive frequencies doubled), so a cosine of amplitude 1 has
      ``|S| = 1`` and power 1; in MNE it has ``|S| = 1/2`` and power 1/4.
      The inter-trial coherence is the same.
    - MNE's ``width=w`` with ``n_fft`` samples is ``width=w * n_fft / sfreq``
      here: the same number only when ``n_fft`` samples last one second.
      With that mapping the power agrees with 4 times MNE's to single
      precision above about ``10 * width / T`` Hz for epochs of ``T`` s
      (with this function's `width`); below, where the window in time
      (``3 * width / f`` s either side) nears the epoch's length, MNE's
      values depart from the Gaussian window used here.
    - MNE zero-pads each epoch to ``n_fft`` (by default the next power of
      two), which changes the bins and lets the end of an epoch see zeros
      instead of its beginning; here the transform has the epoch's own
      length and is circular. MNE's ``fmax`` is exclusive, `fmax` here is
      inclusive. MNE decimates after computing every time; here the
      decimated times are computed directly, with the same values.

    Examples
    --------
    >>> import mne  # doctest: +SKIP
    >>> from orbelix_tools.mne import tfr_stockwell  # doctest: +SKIP
    >>> power, itc = tfr_stockwell(epochs, fmin=4.0, fmax=40.0, decim=4,
    ...                            return_itc=True)  # doctest: +SKIP
    >>> power.plot(["Cz"])  # doctest: +SKIP
    """
    mne = _mne()
    epochs_kind = isinstance(inst, mne.BaseEpochs)
    evoked_kind = isinstance(inst, mne.Evoked)
    raw_kind = isinstance(inst, mne.io.BaseRaw)
    if not (epochs_kind or evoked_kind or raw_kind):
        raise TypeError(f"inst must be mne.Epochs, mne.Evoked or mne.io.Raw, not {type(inst).__name__}")
    if output not in _OUTPUTS:
        raise ValueError(f"output={output!r} must be one of {_OUTPUTS}")
    averaged = epochs_kind and bool(average)
    if return_itc and not averaged:
        raise ValueError("return_itc=True needs epochs and average=True: "
                         "the coherence is taken over epochs")
    if averaged and output != "power":
        raise ValueError(f"output={output!r} needs average=False: the average is of the power")

    # Channels are resolved by MNE's own rules on a one-sample stand-in, so
    # that only the picked channels' data are ever copied.
    stand_in = mne.EvokedArray(np.zeros((len(inst.ch_names), 1)), inst.info, verbose="error")
    names = stand_in.pick("data" if picks is None else picks, exclude="bads").ch_names
    info = mne.pick_info(inst.info, [inst.ch_names.index(c) for c in names])
    sfreq = float(info["sfreq"])
    n = len(inst.times)
    low, high, step = _band(freqs, fmin, fmax, df, n, sfreq)
    data = inst.get_data(picks=names)

    if averaged:
        f, t, power, itc = tfr_power(data, sfreq, fmin=low, fmax=high, df=step, decim=decim,
                                     width=width, epochs_axis=0, axis=-1, workers=workers)
        times = inst.times[::decim]  # len(t) samples, as MNE labels them
        nave = len(inst)
        result = mne.time_frequency.AverageTFRArray(
            info, power, times, f, nave=nave, method="stockwell")
        if return_itc:
            return result, mne.time_frequency.AverageTFRArray(
                info, itc, times, f, nave=nave, method="stockwell", comment="inter-trial coherence")
        return result

    f, t, S = stransform(data, sfreq, fmin=low, fmax=high, df=step, decim=decim, width=width,
                         output="power" if output == "power" else "complex", axis=-1,
                         workers=workers)
    times = inst.times[::decim]  # len(t) samples, as MNE labels them
    if epochs_kind:
        return mne.time_frequency.EpochsTFRArray(
            info, S, times, f, method="stockwell", events=inst.events,
            event_id=inst.event_id, selection=inst.selection, drop_log=inst.drop_log,
            metadata=inst.metadata)
    if evoked_kind:
        return mne.time_frequency.AverageTFRArray(
            info, S, times, f, nave=inst.nave, comment=inst.comment, method="stockwell")
    return mne.time_frequency.RawTFRArray(info, S, times, f, method="stockwell")
