"""fst gives the same bits on every SIMD path (ORBELIX_SIMD), window and all:
each path runs in a fresh process, which reports the path it ran on."""
import json
import os
import subprocess
import sys
import textwrap

import pytest

from cpu_paths import wide_paths

SCRIPT = textwrap.dedent("""
    import hashlib, json
    import numpy as np
    import orbelix
    import orbelix_tools
    digest = hashlib.sha256()
    for n in (2, 7, 64, 255, 1000, 1031):
        rng = np.random.default_rng(n)
        h = (rng.standard_normal(n) + 1j * rng.standard_normal(n)).astype(np.complex64)
        s = orbelix.fst(h)
        digest.update(s.tobytes())
        if n % 2 == 0:
            digest.update(orbelix.ifst(s).tobytes())
    print(json.dumps({"path": orbelix_tools.simd_path(), "digest": digest.hexdigest()}))
""")


def run(path):
    env = dict(os.environ, ORBELIX_SIMD=path)
    out = subprocess.run([sys.executable, "-c", SCRIPT], env=env, capture_output=True, text=True,
                         check=True, cwd=os.path.dirname(__file__))
    report = json.loads(out.stdout)
    assert report["path"] == path, f"asked for {path}, ran on {report['path']}"
    return report["digest"]


@pytest.mark.parametrize("path", ["avx2", "avx512"])
def test_every_path_gives_the_portable_bits(path):
    if path not in wide_paths():
        pytest.skip(f"this CPU has no {path}")
    assert run(path) == run("sse2")
