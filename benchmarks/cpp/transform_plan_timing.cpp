// Time of one transform through the radix passes (general odd radix for
// primes above 5) against the chirp-z path, for lengths p * 2^a near a few
// sizes: where the chirp-z path wins sets TransformPlan::kChirpPrimeAbove.
//
// Build against the core objects of a CMake tree, e.g.
//   g++ -O2 -std=c++17 -Isrc -Iinclude benchmarks/cpp/transform_plan_timing.cpp \
//       $(find build/ctest/CMakeFiles/orbelix_core.dir -name '*.o') -o /tmp/tp_timing
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "fftpack/chirp_z.hpp"
#include "fftpack/fftpack.hpp"

using namespace orbelix;
using namespace orbelix::fftpack;

template <class F>
double median_seconds(F &&f, int reps) {
    std::vector<double> t;
    for (int r = 0; r < 7; ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < reps; ++i) f();
        t.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / reps);
    }
    std::sort(t.begin(), t.end());
    return t[3];
}

bool is_prime(int p) {
    for (int d = 2; d * d <= p; ++d)
        if (p % d == 0) return false;
    return p > 1;
}

int main(int argc, char **argv) {
    const int pmax = argc > 1 ? std::atoi(argv[1]) : 400;
    std::printf("%8s %6s %8s %12s %12s %8s\n", "n", "p", "M", "radix us", "chirp us", "chirp/radix");
    for (int target : {1024, 4096, 16384, 65536}) {
        for (int p = 7; p <= pmax; p += 2) {
            if (!is_prime(p) || (p > 60 && p % 4 != 1 && p % 4 != 3)) continue;
            if (p > 60 && p % 10 != 1 && p % 10 != 7 && p != 61) continue;  // thin the list
            int n = p;
            while (2 * n <= target) n *= 2;
            std::vector<cfloat> x(n, {0.5f, -0.25f});
            Cfft1Plan direct(n);
            ChirpZ chirp(n);
            const int reps = std::max(1, 2000000 / (n * 8));
            const double td = median_seconds([&] { direct.transform("b", {x.data(), n, 1}); }, reps);
            const double tc = median_seconds([&] { chirp.transform(false, {x.data(), n, 1}); }, reps);
            std::printf("%8d %6d %8d %12.2f %12.2f %8.2f\n", n, p, chirp.inner_size(), td * 1e6,
                        tc * 1e6, tc / td);
        }
    }
}
