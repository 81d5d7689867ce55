"""Timing each SIMD path side by side in one run.

The path is chosen once per process (ORBELIX_SIMD), so each path runs in a
worker process of its own: a benchmark script started with --worker, which
builds the calls it is asked for and times them while the main process
waits. The main process times its own contenders (FFTW, SciPy) the same way,
round by round, so every contender sees the same load.
"""
import json
import os
import statistics
import subprocess
import sys
import time


def timed(f, reps):
    """Thread CPU seconds per call of f over reps calls (page faults count,
    waiting for a core does not)."""
    t0 = time.thread_time()
    for _ in range(reps):
        f()
    return (time.thread_time() - t0) / reps


def serve(make):
    """The worker's loop: one JSON request per line on stdin. ["make", key,
    *args] builds the call make(*args) under key, ["time", key, reps] answers
    its mean time per call over reps calls."""
    calls = {}
    for line in sys.stdin:
        request = json.loads(line)
        if request[0] == "make":
            calls[request[1]] = make(*request[2:])
            answer = 0.0
        else:
            answer = timed(calls[request[1]], request[2])
        print(json.dumps(answer), flush=True)


class PathWorker:
    """`script --worker` running on the SIMD path `path`."""

    def __init__(self, script, path):
        script = os.path.abspath(script)
        env = dict(os.environ, ORBELIX_SIMD=path, OMP_NUM_THREADS="1")
        self.proc = subprocess.Popen([sys.executable, script, "--worker"],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                                     env=env, cwd=os.path.dirname(script))

    def ask(self, *request):
        self.proc.stdin.write(json.dumps(request) + "\n")
        self.proc.stdin.flush()
        return json.loads(self.proc.stdout.readline())

    def contender(self, key, *args):
        """run(reps) -> seconds per call of the worker's call make(*args)."""
        self.ask("make", key, *args)
        return lambda reps: self.ask("time", key, reps)

    def close(self):
        self.proc.stdin.close()
        self.proc.wait()


def cpu_paths():
    """The SIMD paths this CPU can run, narrowest first."""
    flags = set()
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("flags"):
                    flags = set(line.split(":", 1)[1].split())
                    break
    except OSError:
        pass
    paths = ["sse2"]
    if "avx2" in flags:
        paths.append("avx2")
    if {"avx512f", "avx512dq", "avx512vl"} <= flags:
        paths.append("avx512")
    return paths


def local(f):
    """A contender of this process, in the workers' form."""
    return lambda reps: timed(f, reps)


def median_round_times(contenders, rounds, min_time=0.01):
    """Median seconds per call of each contender (name -> run(reps) giving
    seconds per call), rounds interleaved with the order rotating."""
    names = list(contenders)
    reps = {}
    for name in names:
        run = contenders[name]
        run(1)  # warm-up
        once = max(run(1), 1e-7)
        reps[name] = max(1, int(min_time / once))
    samples = {name: [] for name in names}
    for r in range(rounds):
        for name in names[r % len(names):] + names[:r % len(names)]:
            samples[name].append(contenders[name](reps[name]))
    return {name: statistics.median(v) for name, v in samples.items()}
