"""No Python call ends the process: inputs that once reached a fatal stop in
the core raise (or return) instead, in a child process that must live on."""
import json
import subprocess
import sys
import textwrap

SCRIPT = textwrap.dedent("""
    import json, sys
    import numpy as np
    import orbelix
    import orbelix_tools as ot

    c = np.complex64
    calls = {
        "dst2 side 6": lambda: orbelix.dst2(np.zeros((6, 6), c)),
        "dst2 4 x 8": lambda: orbelix.dst2(np.zeros((4, 8), c)),
        "dst2 n above the array": lambda: orbelix.dst2(np.zeros((4, 4), c), 8),
        "dst2 n not a power of two": lambda: orbelix.dst2(np.zeros((8, 8), c), 6),
        "idst2 side 6": lambda: orbelix.idst2(np.zeros((6, 6), c)),
        "idst2 4 x 8": lambda: orbelix.idst2(np.zeros((4, 8), c)),
        "idst2 n not a power of two": lambda: orbelix.idst2(np.zeros((8, 8), c), 3),
        "imfreq side 6": lambda: orbelix.imfreq(np.zeros((6, 6), c), 1, 1),
        "imfreq pixel outside": lambda: orbelix.imfreq(np.zeros((4, 4), c), 9, -9),
        "imfreq l not the side": lambda: orbelix.imfreq(np.zeros((8, 8), c), 0, 0, 5),
        "cmsht2 kernel 0": lambda: orbelix.cmsht2(np.zeros((16, 16), np.float32), 8, 8,
                                                  kernel_size=0),
        "cmsht2 pixel outside": lambda: orbelix.cmsht2(np.zeros((16, 16), np.float32), 0, 0),
        "cmsht2 nan bands": lambda: orbelix.cmsht2(np.zeros((16, 16), np.float32), 8, 8,
                                                   coarse=float("nan"), fine=float("nan")),
        "fst n above the array": lambda: orbelix.fst(np.zeros(4, c), 5),
        "fst n negative": lambda: orbelix.fst(np.zeros(4, c), -3),
        "fst n huge": lambda: orbelix.fst(np.zeros(4, c), 2**31 - 1),
        "ifst n odd": lambda: orbelix.ifst(np.zeros((3, 5), c), 5),
        "ifst n not the rows": lambda: orbelix.ifst(np.zeros((3, 4), c), 6),
        "stransform empty": lambda: ot.stransform(np.zeros(0)),
        "stransform nan": lambda: ot.stransform(np.full(8, np.nan)),
        "stransform band outside": lambda: ot.stransform(np.zeros(16), fmin=0.4, fmax=0.2),
        "istransform wrong n": lambda: ot.istransform(*ot.stransform(np.zeros(16))[::2], n=7),
        "istransform wrong shape": lambda: ot.istransform(np.arange(3.0), np.zeros((2, 16), c),
                                                          16),
        "tfr_power no samples": lambda: ot.tfr_power(np.zeros((2, 0)), 1.0),
        "tfr_power one epoch axis too many": lambda: ot.tfr_power(np.zeros(16), 1.0,
                                                                  epochs_axis=3),
    }
    outcome = {}
    for name, call in calls.items():
        try:
            call()
            outcome[name] = "returned"
        except Exception as e:  # any Python exception is a survival
            outcome[name] = type(e).__name__
    print(json.dumps(outcome))
    sys.stdout.flush()
""")


def test_refused_calls_raise_and_the_process_lives_on():
    done = subprocess.run([sys.executable, "-c", SCRIPT], capture_output=True, text=True,
                          timeout=300)
    assert done.returncode == 0, (done.returncode, done.stdout[-2000:], done.stderr[-2000:])
    outcome = json.loads(done.stdout.strip().splitlines()[-1])
    assert len(outcome) == 25
    # Sizes the core refuses (a 2-D side that is no power of two stopped the
    # process below the wrappers' checks): each a Python exception.
    for name in ("dst2 side 6", "dst2 n not a power of two", "idst2 side 6",
                 "idst2 n not a power of two", "fst n above the array", "fst n huge",
                 "stransform nan"):
        assert outcome[name] != "returned", (name, outcome)
