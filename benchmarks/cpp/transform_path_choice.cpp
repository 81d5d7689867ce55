// How well the transform plan picks its path where both are open to it:
// for lengths drawn at random from lo .. hi whose largest prime factor lies
// between TransformPlan::kRadixPrimeUpTo and kChirpPrimeAbove, the time of
// one transform through the radix passes and through the chirp-z path, and
// how much longer than the faster of the two each policy takes: always the
// radix passes, always the chirp-z path, and the plan's choice.
//
// Build against the core objects of a CMake tree, e.g.
//   g++ -O2 -std=c++17 -Isrc -Iinclude benchmarks/cpp/transform_path_choice.cpp \
//       $(find build/ctest/CMakeFiles/orbelix_core.dir -name '*.o') -o /tmp/path_choice
// and run with the range, count and seed, e.g. /tmp/path_choice 300 300000 500 7.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "bench_support.hpp"
#include "fft/plans/chirp_z.hpp"
#include "fft/plans/fftpack.hpp"
#include "fft/plans/transform_plan.hpp"

using namespace orbelix;
using namespace orbelix::fftpack;

namespace {

template <class F>
double median_seconds(F &&f, int reps) {
    std::vector<double> t;
    for (int r = 0; r < 5; ++r) {
        const double t0 = cpu_now();
        for (int i = 0; i < reps; ++i) f();
        t.push_back((cpu_now() - t0) / reps);
    }
    std::sort(t.begin(), t.end());
    return t[2];
}

}  // namespace

int main(int argc, char **argv) {
    const int lo = argc > 1 ? std::atoi(argv[1]) : 300;
    const int hi = argc > 2 ? std::atoi(argv[2]) : 300000;
    const int count = argc > 3 ? std::atoi(argv[3]) : 500;
    const unsigned seed = argc > 4 ? std::atoi(argv[4]) : 7;
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> draw(lo, hi);
    Excess radix{"always radix passes"}, chirp{"always chirp-z"}, plan{"the plan's choice"};
    int chose_chirp = 0;
    for (int done = 0; done < count;) {
        const int n = draw(gen);
        const int p = TransformPlan::largest_prime_factor(n);
        if (p <= TransformPlan::kRadixPrimeUpTo || p > TransformPlan::kChirpPrimeAbove) continue;
        std::vector<cfloat> x(n, {0.5f, -0.25f});
        Cfft1Plan direct(n);
        direct.prepare_first_sweep();
        ChirpZ chirp_z(n);
        const int reps = std::max(1, 250000 / n);
        const double tr = median_seconds([&] { direct.transform("b", {x.data(), n, 1}); }, reps);
        const double tc = median_seconds([&] { chirp_z.transform(false, {x.data(), n, 1}); }, reps);
        const double best = std::min(tr, tc);
        const bool chosen = TransformPlan::chirp_length(n);
        chose_chirp += chosen;
        radix.ratios.push_back(tr / best);
        chirp.ratios.push_back(tc / best);
        plan.ratios.push_back((chosen ? tc : tr) / best);
        ++done;
    }
    std::printf("%d lengths from %d to %d, largest prime factor %d to %d (seed %u); the plan\n"
                "took the chirp-z path for %d. Time over the faster path:\n",
                count, lo, hi, TransformPlan::kRadixPrimeUpTo + 2, TransformPlan::kChirpPrimeAbove, seed,
                chose_chirp);
    radix.print();
    chirp.print();
    plan.print();
}
