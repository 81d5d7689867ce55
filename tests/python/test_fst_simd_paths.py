"""fst gives the same bits on every SIMD path (ORBELIX_SIMD), window and all."""
import os
import subprocess
import sys
import textwrap

import numpy as np

SCRIPT = textwrap.dedent("""
    import hashlib, sys
    import numpy as np
    import orbelix
    digest = hashlib.sha256()
    for n in (2, 7, 64, 255, 1000, 1031):
        rng = np.random.default_rng(n)
        h = (rng.standard_normal(n) + 1j * rng.standard_normal(n)).astype(np.complex64)
        s = orbelix.fst(h)
        digest.update(s.tobytes())
        if n % 2 == 0:
            digest.update(orbelix.ifst(s).tobytes())
    print(digest.hexdigest())
""")


def run(path):
    env = dict(os.environ, ORBELIX_SIMD=path)
    out = subprocess.run([sys.executable, "-c", SCRIPT], env=env, capture_output=True, text=True,
                         check=True, cwd=os.path.dirname(__file__))
    return out.stdout.strip()


def test_every_path_gives_the_same_bits():
    # A path the CPU lacks falls back to the best it has, which must agree too.
    digests = {path: run(path) for path in ("sse2", "avx2", "avx512")}
    assert len(set(digests.values())) == 1, digests
    assert all(len(d) == 64 for d in digests.values())
