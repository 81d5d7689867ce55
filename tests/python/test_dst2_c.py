"""dst2 and idst2 through the C entry routines, against float64 NumPy references."""
import os
import subprocess
import sys
import textwrap
from pathlib import Path

import numpy as np
import pytest

import cabi


def call(lib, name, a):
    """Run entry routine `name` on the n x n array a; returns the n x n result."""
    n = a.shape[0]
    src = np.asfortranarray(a, dtype=np.complex64)
    out = np.full((n, n), 7 + 7j, dtype=np.complex64, order="F")
    getattr(lib, name)(cabi.i32(n), cabi.ptr(src), cabi.ptr(out))
    return out


def random_image(rng, n, real=False):
    g = rng.uniform(-1, 1, (n, n))
    if not real:
        g = g + 1j * rng.uniform(-1, 1, (n, n))
    return g.astype(np.complex64)


# ---- float64 reference written from the coefficient layout -------------------

def backward_dft(length):
    """E[k, j] = exp(+2 pi i j k / length)."""
    j = np.arange(length)
    return np.exp(2j * np.pi * np.outer(j, j) / length)


def recentred(length):
    """Positions (j + s) mod length for the re-centring shift s of a band."""
    s = -1 if length == 1 else -(length // 2)
    return (np.arange(length) + s) % length


def band(v):
    x = len(v)
    return np.sqrt(x) * backward_dft(x) @ v[recentred(x)]


def rectangle(V):
    x, y = V.shape
    shifted = V[np.ix_(recentred(x), recentred(y))]
    return np.sqrt(x * y) * backward_dft(x) @ shifted @ backward_dft(y).T


def dst2_reference(g):
    g = np.asarray(g, dtype=np.complex128)
    n = g.shape[0]
    mid = n // 2
    X = np.fft.fft2(g) / n**2
    S = np.zeros_like(X)
    for r, c in [(0, 0), (mid, 0), (0, mid), (mid, mid)]:
        S[r, c] = X[r, c]
    widths = [2**p for p in range(max(int(np.log2(n)) - 1, 0))]
    for x in widths:
        pos = slice(x, 2 * x)
        neg = slice(n - 2 * x + 1, n - x + 1)
        for k0 in (0, mid):
            S[k0, pos] = band(X[k0, pos])
            S[pos, k0] = band(X[pos, k0])
            S[neg, k0] = band(X[neg, k0])[::-1]  # negative row octaves reversed
        for y in widths:
            cols = slice(y, 2 * y)
            S[pos, cols] = rectangle(X[pos, cols])
            S[neg, cols] = rectangle(X[neg, cols])[::-1, :]
    rows = np.arange(n)
    for c in range(mid + 1, n):
        S[:, c] = np.conj(S[(n - rows) % n, n - c])
    return S


@pytest.mark.parametrize("n", [16, 64])
@pytest.mark.parametrize("real", [False, True])
def test_forward_matches_float64_layout_reference(lib, n, real):
    g = random_image(np.random.default_rng(n + real), n, real)
    S = call(lib, "dst2", g)
    ref = dst2_reference(g)
    scale = np.abs(ref).max()
    np.testing.assert_allclose(S, ref, rtol=0, atol=2e-6 * scale)


def test_reference_agrees_with_the_worked_n8_wave():
    # Guards the reference itself: cos(2 pi 3 p / 8) has S(2,0) = S(3,0) =
    # S(6,0) = sqrt(2)/2 and S(5,0) = -sqrt(2)/2.
    p = np.arange(8)[:, None] * np.ones((1, 8))
    expected = np.zeros((8, 8))
    expected[[2, 3, 6], 0] = np.sqrt(2) / 2
    expected[5, 0] = -np.sqrt(2) / 2
    np.testing.assert_allclose(dst2_reference(np.cos(2 * np.pi * 3 * p / 8)), expected, atol=1e-12)


# ---- layout properties ---------------------------------------------------------

@pytest.mark.parametrize("n", [8, 64, 256])
def test_right_half_is_the_exact_conjugate_point_mirror(lib, n):
    S = call(lib, "dst2", random_image(np.random.default_rng(3 * n), n))
    rows = np.arange(n)
    for c in range(n // 2 + 1, n):
        np.testing.assert_array_equal(S[:, c], np.conj(S[(n - rows) % n, n - c]))


@pytest.mark.parametrize("n", [4, 32, 128])
def test_right_half_has_no_influence_on_the_inverse(lib, n):
    rng = np.random.default_rng(5 * n)
    S = call(lib, "dst2", random_image(rng, n))
    changed = S.copy()
    changed[:, n // 2 + 1:] = random_image(rng, n)[:, n // 2 + 1:] * 100
    np.testing.assert_array_equal(call(lib, "idst2", S), call(lib, "idst2", changed))


@pytest.mark.parametrize("n", [2**k for k in range(11)])
def test_real_images_round_trip(lib, n):
    g = random_image(np.random.default_rng(n), n, real=True)
    h = call(lib, "idst2", call(lib, "dst2", g))
    err = np.abs(h - g).max()
    assert err <= 1e-5 * np.abs(g).max(), f"n = {n}: max error {err}"


def test_entries_do_not_modify_their_input(lib):
    g = random_image(np.random.default_rng(11), 16)
    kept = g.copy()
    S = call(lib, "dst2", g)
    S_kept = S.copy()
    call(lib, "idst2", S)
    np.testing.assert_array_equal(g, kept)
    np.testing.assert_array_equal(S, S_kept)


# ---- invalid side ----------------------------------------------------------------

@pytest.mark.parametrize("name", ["dst2", "idst2"])
def test_side_six_ends_the_process_with_status_one(name):
    script = textwrap.dedent(f"""
        import numpy as np
        import cabi
        a = np.zeros((6, 6), dtype=np.complex64, order="F")
        b = np.zeros((6, 6), dtype=np.complex64, order="F")
        cabi.load().{name}(cabi.i32(6), cabi.ptr(a), cabi.ptr(b))
        print("returned")
    """)
    # The child finds cabi.py and the module where this process found them.
    path = [str(Path(__file__).resolve().parent)] + [p for p in sys.path if p]
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(path))
    proc = subprocess.run([sys.executable, "-c", script], capture_output=True, timeout=120,
                          env=env)
    assert proc.returncode == 1
    assert proc.stdout == b""
    assert proc.stderr == b""


@pytest.mark.parametrize("name", ["dst2", "idst2"])
@pytest.mark.parametrize("side", [-4, -1, -(2**31)])
def test_negative_side_is_a_bad_side(name, side):
    # A negative side is a bad side like 6 (-2**31 too, which the 32-bit
    # n & (n-1) test alone would let through): the same silent stop.
    script = textwrap.dedent(f"""
        import numpy as np
        import cabi
        a = np.ones(4, dtype=np.complex64)
        b = np.ones(4, dtype=np.complex64)
        cabi.load().{name}(cabi.i32({side}), cabi.ptr(a), cabi.ptr(b))
        print("returned")
    """)
    path = [str(Path(__file__).resolve().parent)] + [p for p in sys.path if p]
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(path))
    proc = subprocess.run([sys.executable, "-c", script], capture_output=True, timeout=120,
                          env=env)
    assert (proc.returncode, proc.stdout, proc.stderr) == (1, b"", b"")
