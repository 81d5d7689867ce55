// cfst1f at a few lengths: into a result whose pages are already mapped,
// and into a freshly mapped one (what a large NumPy zeros array gives: calloc
// maps new zero pages, and NumPy asks for huge pages), medians
// of interleaved rounds, in thread CPU time (steadier than the wall clock on
// a shared machine; page faults are counted, as system time). Build as transform_plan_timing.cpp:
//   g++ -O2 -std=c++17 -Isrc -Iinclude benchmarks/cpp/fst_timing.cpp \
//       $(find build/ctest/CMakeFiles/orbelix_core.dir -name '*.o') -o /tmp/fst_timing
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "bench_support.hpp"
#include "st1/cfst1f.hpp"

using namespace orbelix;

static cfloat *map_result(std::size_t count) {
    return static_cast<cfloat *>(map_fresh(count * sizeof(cfloat)));
}

int main(int argc, char **argv) {
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty()) sizes = {4096, 8192, 16384};
    std::printf("%7s %12s %12s\n", "n", "mapped ms", "fresh ms");
    for (int n : sizes) {
        std::mt19937 gen(n);
        std::normal_distribution<float> d;
        std::vector<cfloat> h(n);
        for (auto &v : h) v = {d(gen), d(gen)};
        const int rows = n / 2 + 1;
        const std::size_t count = static_cast<std::size_t>(rows) * n;
        cfloat *mapped = map_result(count);
        std::fill(mapped, mapped + count, cfloat{1.0f, 1.0f});
        std::vector<double> tm, tf;
        for (int r = 0; r < (n <= 8192 ? 7 : 3); ++r) {
            double t0 = cpu_now();
            cfst1f({h.data(), n, 1}, column_major(mapped, rows, n));
            tm.push_back(cpu_now() - t0);
            t0 = cpu_now();
            cfloat *fresh = map_result(count);
            cfst1f({h.data(), n, 1}, column_major(fresh, rows, n));
            tf.push_back(cpu_now() - t0);
            munmap(fresh, count * sizeof(cfloat));
        }
        munmap(mapped, count * sizeof(cfloat));
        std::sort(tm.begin(), tm.end());
        std::sort(tf.begin(), tf.end());
        std::printf("%7d %12.2f %12.2f\n", n, tm[tm.size() / 2] * 1e3, tf[tf.size() / 2] * 1e3);
    }
}
