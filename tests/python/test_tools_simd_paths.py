"""orbelix_tools runs on the SIMD path that ORBELIX_SIMD names, or on the
widest one the CPU has, says which, warns when the variable names none it
runs on, and gives the same bytes on every path: each case runs in a fresh
process, where the path is chosen once."""
import json
import os
import subprocess
import sys
import textwrap

import pytest

from cpu_paths import wide_paths

HERE = os.path.dirname(os.path.abspath(__file__))
WIDEST = (["sse2"] + wide_paths())[-1]

# Prints the path and a digest of every result: the band and decimation
# loops, the chirp-z lengths, power and magnitude, the epoch averages (one
# epoch and several), the inverse and windows longer than 46341 offsets.
DIGESTS = textwrap.dedent("""
    import hashlib, json
    import numpy as np
    import orbelix_tools as ot

    rng = np.random.default_rng(3)
    out = {}

    def put(name, *arrays):
        digest = hashlib.sha256()
        for a in arrays:
            digest.update(np.ascontiguousarray(a).tobytes())
        out[name] = digest.hexdigest()

    for n in (64, 250, 1000, 1031, 4099):
        x = rng.standard_normal((3, n))
        put(f"band {n}", *ot.stransform(x, 250.0, fmin=4, fmax=60, decim=3, width=0.8))
        put(f"full {n}", ot.stransform(x[0].astype(np.complex64), phase="absolute")[2])
        put(f"power {n}", ot.stransform(x, 250.0, fmax=30, df=2.0, output="power")[2])
        put(f"epochs {n}", *ot.tfr_power(x.reshape(3, 1, n), 250.0, fmin=1, fmax=50, decim=4)[2:])
        f, _, s = ot.stransform(x[1], 250.0, fmin=8, fmax=12)
        put(f"inverse {n}", ot.istransform(f, s, n, fs=250.0))
        put(f"magnitude {n}", ot.stransform(x, 250.0, fmin=2, fmax=40, decim=2,
                                            output="magnitude")[2])
        put(f"one epoch {n}", *ot.tfr_power(x[:1, None], 250.0, fmin=1, fmax=50)[2:])
    # Windows reaching offsets whose squares leave 32 bits, folded.
    put("long windows", ot.stransform(rng.standard_normal(131072), fmin=0.2, fmax=0.25,
                                      df=0.01, decim=64)[2])
    print(json.dumps({"path": ot.simd_path(), "digests": out}))
""")

PATH_ONLY = "import orbelix_tools; print(orbelix_tools.simd_path())"


def child(script, simd):
    env = {k: v for k, v in os.environ.items() if k != "ORBELIX_SIMD"}
    if simd is not None:
        env["ORBELIX_SIMD"] = simd
    done = subprocess.run([sys.executable, "-c", script], cwd=HERE, env=env,
                          capture_output=True, text=True, timeout=600)
    assert done.returncode == 0, done.stderr
    return done.stdout.strip(), done.stderr


@pytest.mark.parametrize("simd", ["sse2", "avx2", "avx512"])
def test_the_named_path_is_the_one_run(simd):
    if simd not in ["sse2"] + wide_paths():
        pytest.skip(f"this CPU has no {simd}")
    assert child(PATH_ONLY, simd) == (simd, "")


@pytest.mark.parametrize("simd", [None, ""])
def test_without_a_name_the_widest_path_runs(simd):
    assert child(PATH_ONLY, simd) == (WIDEST, "")


@pytest.mark.parametrize("simd, why", [
    ("AVX2", "it is none of sse2, avx2, avx512"),
    ("avx", "it is none of sse2, avx2, avx512"),
    ("avx512", "this CPU lacks it"),
    ("avx2", "this CPU lacks it"),
])
def test_a_name_not_honoured_is_warned_of(simd, why):
    if simd in wide_paths():
        pytest.skip(f"this CPU has {simd}")
    path, err = child(PATH_ONLY, simd)
    assert path == WIDEST
    message = f"ORBELIX_SIMD={simd!r} is ignored ({why}); the transforms run on {WIDEST}"
    assert f"RuntimeWarning: {message}" in err


@pytest.fixture(scope="module")
def portable():
    report = json.loads(child(DIGESTS, "sse2")[0])
    assert report["path"] == "sse2"
    return report["digests"]


@pytest.mark.parametrize("simd", ["avx2", "avx512"])
def test_every_path_gives_the_portable_bytes(portable, simd):
    if simd not in wide_paths():
        pytest.skip(f"this CPU has no {simd}")
    report = json.loads(child(DIGESTS, simd)[0])
    assert report["path"] == simd
    differ = sorted(name for name in portable if report["digests"][name] != portable[name])
    assert report["digests"].keys() == portable.keys()
    assert not differ, f"{simd} differs from sse2 in: {differ}"


def test_the_cases_differ_from_each_other(portable):
    # Digests of one and the same bytes would compare nothing.
    assert len(set(portable.values())) == len(portable)
