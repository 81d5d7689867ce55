// Time of one transform through the radix passes (general odd radix for
// primes above 5) against the chirp-z path, for lengths p * 2^a near a few
// sizes: where the chirp-z path wins sets the bounds TransformPlan::kRadixPrimeUpTo
// and kChirpPrimeAbove.
//
// Build against the core objects of a CMake tree, e.g.
//   g++ -O2 -std=c++17 -Isrc -Iinclude benchmarks/cpp/transform_plan_timing.cpp \
//       $(find build/ctest/CMakeFiles/orbelix_core.dir -name '*.o') -o /tmp/tp_timing
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "bench_support.hpp"
#include "fft/plans/chirp_z.hpp"
#include "fft/plans/fftpack.hpp"

using namespace orbelix;
using namespace orbelix::fftpack;


// Medians of seconds per call of f and g, interleaved round by round.
template <class F, class G>
std::pair<double, double> median_seconds(F &&f, G &&g, int reps) {
    std::vector<double> tf, tg;
    for (int r = 0; r < 9; ++r) {
        double t0 = cpu_now();
        for (int i = 0; i < reps; ++i) f();
        tf.push_back((cpu_now() - t0) / reps);
        t0 = cpu_now();
        for (int i = 0; i < reps; ++i) g();
        tg.push_back((cpu_now() - t0) / reps);
    }
    std::sort(tf.begin(), tf.end());
    std::sort(tg.begin(), tg.end());
    return {tf[4], tg[4]};
}

bool is_prime(int p) {
    for (int d = 2; d * d <= p; ++d)
        if (p % d == 0) return false;
    return p > 1;
}

int main(int argc, char **argv) {
    const int pmin = argc > 1 ? std::atoi(argv[1]) : 7;
    const int pmax = argc > 2 ? std::atoi(argv[2]) : 101;
    std::printf("%8s %6s %8s %12s %12s %8s\n", "n", "p", "M", "radix us", "chirp us", "chirp/radix");
    for (int target : {1024, 4096, 16384, 65536}) {
        for (int p = pmin | 1; p <= pmax; p += 2) {
            if (!is_prime(p)) continue;
            int n = p;
            while (2 * n <= target) n *= 2;
            std::vector<cfloat> x(n, {0.5f, -0.25f});
            Cfft1Plan direct(n);
            direct.prepare_first_sweep();  // as the transform plan does
            ChirpZ chirp(n);
            const int reps = std::max(1, 2000000 / (n * 8));
            const auto [td, tc] = median_seconds([&] { direct.transform("b", {x.data(), n, 1}); },
                                                 [&] { chirp.transform(false, {x.data(), n, 1}); }, reps);
            std::printf("%8d %6d %8d %12.2f %12.2f %8.2f\n", n, p, chirp.inner_size(), td * 1e6,
                        tc * 1e6, tc / td);
        }
    }
}
