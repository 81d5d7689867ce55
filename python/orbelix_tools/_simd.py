"""The SIMD instruction set the transforms run on."""
import os
import warnings

from . import _core

PATHS = ("sse2", "avx2", "avx512")


def simd_path() -> str:
    """The SIMD instruction set the transforms run on.

    Returns
    -------
    str
        ``'sse2'``, ``'avx2'`` or ``'avx512'``: the widest one this CPU has,
        or the one the environment variable ``ORBELIX_SIMD`` names if the CPU
        has it, chosen once per process. Every path gives the same numbers,
        bit for bit; only the speed differs.

    Examples
    --------
    >>> import orbelix_tools
    >>> path = orbelix_tools.simd_path()
    >>> path in ("sse2", "avx2", "avx512")
    True
    """
    return _core.simd_path()


def warn_unless_honoured() -> None:
    """Warn when ORBELIX_SIMD names a path the transforms do not run on."""
    wanted = os.environ.get("ORBELIX_SIMD", "")
    used = simd_path()
    if wanted and wanted != used:
        why = "this CPU lacks it" if wanted in PATHS else "it is none of " + ", ".join(PATHS)
        warnings.warn(f"ORBELIX_SIMD={wanted!r} is ignored ({why}); the transforms run on {used}",
                      RuntimeWarning, stacklevel=2)
