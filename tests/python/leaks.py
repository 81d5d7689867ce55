"""A check that repeated calls keep neither references to their arguments
nor memory."""

import os
import sys
import tracemalloc


def resident():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def assert_no_leaks(run, arguments, calls=2000):
    """run(count) makes count rounds of calls on `arguments`: after a warm-up,
    their reference counts stay the same, traced memory grows by less than
    20 kB over calls // 2 rounds and the resident size by less than 1 MB over
    `calls` rounds. Traced memory is measured over three spans of rounds and
    the smallest growth counts: NumPy and Python keep bounded caches whose
    blocks, reused from before tracing began, are replaced by traced ones in
    the first rounds traced (a growth that stops), while a leak grows in
    every span."""
    run(calls // 10)
    counts = [sys.getrefcount(a) for a in arguments]
    rss = resident()
    run(calls)
    rss_grown = resident() - rss
    tracemalloc.start()
    try:
        run(20)
        grown = []
        for _ in range(3):
            before = tracemalloc.get_traced_memory()[0]
            run(calls // 2)
            grown.append(tracemalloc.get_traced_memory()[0] - before)
    finally:
        tracemalloc.stop()
    assert [sys.getrefcount(a) for a in arguments] == counts
    assert min(grown) < 20000, grown  # Python objects and NumPy buffers
    assert rss_grown < 1 << 20  # everything else
