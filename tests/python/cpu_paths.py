"""The SIMD paths besides SSE2 that this CPU has, from /proc/cpuinfo."""


def cpu_flags():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("flags"):
                    return set(line.split(":", 1)[1].split())
    except OSError:
        pass
    return set()


def wide_paths():
    flags = cpu_flags()
    paths = []
    if "avx2" in flags:
        paths.append("avx2")
    if {"avx512f", "avx512dq", "avx512vl"} <= flags:
        paths.append("avx512")
    return paths
