// How fast the chirp-z path's inner length is, for convolutions of every
// even size in a range: the time of one transform at ChirpZ::inner_length
// and at the smallest 2,3,5-smooth length, each against the fastest of the
// 14 smooth lengths from the smallest on (what a measuring planner would
// pick). Prints the mean, 90th percentile and largest excess over it.
//
// Build against the core objects of a CMake tree, e.g.
//   g++ -O2 -std=c++17 -Isrc -Iinclude benchmarks/cpp/inner_lengths.cpp \
//       $(find build/ctest/CMakeFiles/orbelix_core.dir -name '*.o') -o /tmp/inner_lengths
// and run with the range, e.g. /tmp/inner_lengths 600 20000.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

#include "bench_support.hpp"
#include "fft/plans/chirp_z.hpp"
#include "fft/plans/fftpack.hpp"

using namespace orbelix;
using namespace orbelix::fftpack;

namespace {

// Median of 7 rounds of seconds per backward transform of length m.
double seconds_per_transform(int m) {
    Cfft1Plan plan(m);
    plan.prepare_first_sweep();
    std::vector<cfloat> x(m, cfloat{0.5f, -0.25f});
    const int reps = std::max(1, 2000000 / m);
    std::vector<double> t;
    for (int r = 0; r < 7; ++r) {
        const double t0 = cpu_now();
        for (int i = 0; i < reps; ++i) plan.transform("b", {x.data(), m, 1});
        t.push_back((cpu_now() - t0) / reps);
    }
    std::sort(t.begin(), t.end());
    return t[3];
}

}  // namespace

int main(int argc, char **argv) {
    const long long lo = argc > 1 ? std::atoll(argv[1]) : 600;
    const long long hi = argc > 2 ? std::atoll(argv[2]) : 20000;
    std::map<int, double> time_of;
    auto timed = [&](int m) {
        auto it = time_of.find(m);
        return it != time_of.end() ? it->second : time_of[m] = seconds_per_transform(m);
    };
    Excess smallest{"smallest smooth length"}, chosen{"inner_length"};
    for (long long target = lo; target < hi; target += 2) {
        std::vector<int> candidates;
        for (long long m = ChirpZ::smooth_length(target); m > 0 && candidates.size() < 14;
             m = ChirpZ::smooth_length(m + 1))
            candidates.push_back(static_cast<int>(m));
        double best = timed(candidates[0]);
        for (int m : candidates) best = std::min(best, timed(m));
        smallest.ratios.push_back(timed(candidates[0]) / best);
        chosen.ratios.push_back(timed(ChirpZ::inner_length(target)) / best);
    }
    std::printf("convolution sizes %lld .. %lld, over the fastest of 14 smooth lengths:\n", lo, hi);
    smallest.print();
    chosen.print();
}
