// What the C++ benchmark programs share: thread CPU time (steadier than the
// wall clock on a shared machine; page faults count, as system time) and
// fresh zero pages, huge where the kernel allows, as NumPy asks for a large
// result.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <sys/mman.h>
#include <time.h>

inline double cpu_now() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + 1e-9 * ts.tv_nsec;
}

inline void *map_fresh(std::size_t bytes) {
    void *p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) std::abort();
    madvise(p, bytes, MADV_HUGEPAGE);
    return p;
}
