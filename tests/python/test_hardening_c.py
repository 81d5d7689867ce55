"""The C entry routines at their boundary, each call in a child process: a size beyond
their 32-bit arithmetic or a failed allocation ends the process with status 1 after
one line on standard error, never with an exception escaping into the C caller (which
would abort) nor with undefined arithmetic. (From Python the same failures raise:
test_hardening.py and test_module_numerics.py.)"""
import os
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest

from hostile import under_asan

HERE = Path(__file__).resolve().parent


def run_child(body, tail=""):
    script = textwrap.dedent("""
        import resource
        import numpy as np
        import cabi
        from cabi import i32, f32, ptr
        lib = cabi.load()
    """) + textwrap.dedent(body) + tail
    path = [str(HERE)] + [p for p in sys.path if p]
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(path))
    return subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          timeout=120, env=env)


# Small buffers suffice: each size is refused before anything is read or written.
SIZE_STOPS = {
    "fst": ("""
        h = np.zeros(8, np.complex64); s = np.zeros(8, np.complex64)
        lib.fst(i32(2**30 + 100), ptr(h), ptr(s))
     """, "orbelix: fst: n=1073741924 is too large: its FFT table exceeds 32-bit sizes\n"),
    "ifst": ("""
        s = np.zeros(8, np.complex64); h = np.zeros(8, np.complex64)
        lib.ifst(i32(2**31 - 1), ptr(s), ptr(h))
     """, "orbelix: ifst: n=2147483647 is too large: its FFT table exceeds 32-bit sizes\n"),
    "imfreq": ("""
        s = np.zeros((16, 16), np.complex64, order="F"); h = np.zeros(64, np.complex64)
        lib.imfreq(i32(16), i32(2**30), ptr(s), i32(3), i32(3), ptr(h))
     """, "orbelix: imfreq: m=1073741824 is too large: 2m+1 exceeds 32-bit sizes\n"),
}


@pytest.mark.parametrize("name", sorted(SIZE_STOPS))
def test_size_beyond_32_bits_is_a_fatal_stop_with_a_message(name):
    body, message = SIZE_STOPS[name]
    done = run_child(body, "print('returned')\n")
    assert (done.returncode, done.stdout, done.stderr) == (1, "", message)



@under_asan
def test_largest_fft_length_that_fits_is_not_refused_by_the_size_check():
    # 1073741807 is the last length whose table fits; the check lets it through to the
    # work itself, whose first step (the 8 GB table) does not fit the limited address
    # space: a message, status 1, nothing read or written.
    done = run_child("""
        h = np.zeros(8, np.complex64); s = np.zeros(8, np.complex64)
        resource.setrlimit(resource.RLIMIT_AS, (2**32, 2**32))
        lib.fst(i32(1073741807), ptr(h), ptr(s))
    """)
    assert (done.returncode, done.stdout, done.stderr) == (1, "", "orbelix: fst: out of memory\n")


# fst/ifst of length 16384 allocate their FFT table and spectrum (128 KB and more each);
# with the address space limited to 64 KB above what the caller's arrays take, the
# first of those allocations fails.
OUT_OF_MEMORY = """
    n = 16384
    signal = np.ones(n, np.complex64); coefficients = np.zeros((n // 2 + 1) * n, np.complex64)
    args = {"fst": (i32(n), ptr(signal), ptr(coefficients)),
            "ifst": (i32(n), ptr(coefficients), ptr(signal))}
    used = int(open("/proc/self/statm").read().split()[0]) * resource.getpagesize()
    resource.setrlimit(resource.RLIMIT_AS, (used + 2**16, resource.RLIM_INFINITY))
"""


@under_asan
@pytest.mark.parametrize("name", ["fst", "ifst"])
def test_out_of_memory_in_an_entry_routine_is_a_fatal_stop_with_a_message(name):
    done = run_child(OUT_OF_MEMORY, f"lib.{name}(*args[{name!r}])\nprint('returned')\n")
    assert (done.returncode, done.stdout, done.stderr) == (1, "", f"orbelix: {name}: out of memory\n")


def test_imfreq_with_a_negative_m_writes_nothing_without_wrapping_2m_plus_1():
    # Below m = -2**30, 2m + 1 does not fit an int (UBSan: signed overflow).
    done = run_child("""
        s = np.ones((16, 16), np.complex64, order="F"); h = np.zeros(8, np.complex64)
        for m in (-1, -2**30, -2**30 - 1, -2**31):
            lib.imfreq(i32(16), i32(m), ptr(s), i32(3), i32(3), ptr(h))
        print(h.any())
    """)
    assert (done.returncode, done.stdout, done.stderr) == (0, "False\n", "")
