"""Every SIMD path of the machine gives the bytes of the portable (SSE2)
path: the transforms and the exported FFT routines run in a fresh process
per path (ORBELIX_SIMD fixes the path at the first transform), each process
reports a digest of every result, and the digests must agree."""
import json
import os
import subprocess
import sys

import pytest

from cpu_paths import wide_paths

HERE = os.path.dirname(os.path.abspath(__file__))

# Runs in the child process: prints the path it ran on and {case: sha256 of
# the result bytes}.
CHILD = r"""
import hashlib, json, sys
import numpy as np
import orbelix
import orbelix_tools
import cabi
from fft_engine import cfft1, cfftm, cfft2

lib = cabi.load()
rng = np.random.default_rng(11)
out = {}

def put(name, a):
    out[name] = hashlib.sha256(np.ascontiguousarray(a).tobytes()).hexdigest()

def signal(n):
    return (rng.standard_normal(n) + 1j * rng.standard_normal(n)).astype(np.complex64)

# fst/ifst on lengths with radix 4 chains, a radix-2 last pass, 3s and 5s,
# a factor 7 and a prime; real and complex input.
for n in (8, 64, 96, 250, 256, 448, 1000, 1024, 2048, 1009):
    h = signal(n)
    s = orbelix.fst(h)
    put(f"fst {n}", s)
    put(f"fst real {n}", orbelix.fst(h.real.copy()))
    if n % 2 == 0:
        put(f"ifst {n}", orbelix.ifst(s))

for n in (8, 32, 64, 128, 256):
    g = rng.standard_normal((n, n)).astype(np.float32)
    s = orbelix.dst2(g)
    put(f"dst2 {n}", s)
    put(f"idst2 {n}", orbelix.idst2(s))

for n in (2, 5, 12, 64, 100, 256, 1024, 1536, 4096, 8192, 65536, 7 * 11 * 13, 4099):
    x = signal(n)
    for inc in (1, 2):
        put(f"cfft1f {n} {inc}", cfft1(lib, x, True, inc))
        put(f"cfft1b {n} {inc}", cfft1(lib, x, False, inc))

for n in (4, 16, 60, 256, 1024, 77):
    for lot in (1, 3, 4, 8, 13, 32):
        for jump, inc in ((1, lot), (1, lot + 1), (n, 1), (2 * n + 3, 2)):
            size = (lot - 1) * jump + inc * (n - 1) + 1
            for fwd in (True, False):
                c = signal(size)
                assert cfftm(lib, c, lot, jump, n, inc, fwd) == 0
                put(f"cfftm{'fb'[not fwd]} {n} {lot} {jump} {inc}", c)

for ldim, l, m in ((16, 16, 16), (20, 17, 24), (64, 64, 128), (256, 256, 256), (9, 7, 11)):
    for fwd in (True, False):
        a = np.asfortranarray(signal(ldim * m).reshape(ldim, m, order="F"))
        assert cfft2(lib, a, fwd, l) == 0
        put(f"cfft2{'fb'[not fwd]} {ldim} {l} {m}", a)

print(json.dumps({"path": orbelix_tools.simd_path(), "digests": out}))
"""


def digests(path):
    env = dict(os.environ, ORBELIX_SIMD=path)
    done = subprocess.run([sys.executable, "-c", CHILD], cwd=HERE, env=env, capture_output=True,
                          text=True, timeout=600)
    assert done.returncode == 0, done.stderr
    report = json.loads(done.stdout)
    assert report["path"] == path, f"asked for {path}, ran on {report['path']}"
    return report["digests"]


@pytest.fixture(scope="module")
def portable():
    return digests("sse2")


@pytest.mark.parametrize("path", ["avx2", "avx512"])
def test_path_gives_the_portable_bytes(portable, path):
    if path not in wide_paths():
        pytest.skip(f"this CPU has no {path}")
    got = digests(path)
    assert got.keys() == portable.keys()
    differ = sorted(name for name in portable if got[name] != portable[name])
    assert not differ, f"{path} differs from sse2 in: {differ[:20]}"


def test_cases_differ_from_each_other(portable):
    # A child that hashed the same bytes for every case would compare
    # nothing: the cases are distinct results.
    assert len(set(portable.values())) == len(portable)
