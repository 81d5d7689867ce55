// What the C++ benchmark programs share: thread CPU time (steadier than the
// wall clock on a shared machine; page faults count, as system time) and
// fresh zero pages, huge where the kernel allows, as NumPy asks for a large
// result.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <vector>
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

// Times of one choice over the fastest one, case by case; prints how much
// longer it took on average, at the 90th percentile and at worst.
struct Excess {
    const char *name;
    std::vector<double> ratios;
    void print() {
        std::sort(ratios.begin(), ratios.end());
        double sum = 0;
        for (double r : ratios) sum += r;
        std::printf("%-22s mean %5.1f%%  90th percentile %5.1f%%  largest %6.1f%%\n", name,
                    100 * (sum / ratios.size() - 1), 100 * (ratios[ratios.size() * 9 / 10] - 1),
                    100 * (ratios.back() - 1));
    }
};
