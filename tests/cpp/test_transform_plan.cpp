// The transform plan of the library's callers: exactly cfft1_ where the radix
// passes are used, the chirp-z path above the prime threshold.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "fft_reference.hpp"
#include "fftpack/fftpack.hpp"
#include "fftpack/transform_plan.hpp"

using namespace orbelix;
using namespace orbelix::fftpack;
using namespace orbelix::testing;

TEST(TransformPlan, LargestPrimeFactor) {
    const std::pair<int, int> cases[] = {{1, 1},       {2, 2},       {12, 3},     {49, 7},
                                         {4096, 2},    {4097, 241},  {4098, 683}, {4099, 4099},
                                         {2561, 197},  {1 << 30, 2}, {2147483647, 2147483647}};
    for (auto [n, p] : cases) EXPECT_EQ(TransformPlan::largest_prime_factor(n), p) << n;
}

TEST(TransformPlan, BelowTheThresholdGivesCfft1BitForBit) {
    const int p = TransformPlan::kChirpPrimeAbove;
    std::vector<int> lengths = {1, 2, 3, 4, 5, 7, 16, 60, 1000, 4096, 4 * 3 * 5 * 7 * 11};
    for (int q = 2; q <= p; ++q)
        if (TransformPlan::largest_prime_factor(q) == q) lengths.push_back(q * 8);
    lengths.push_back(p);
    for (int n : lengths) {
        TransformPlan plan(n);
        ASSERT_FALSE(plan.uses_chirp()) << n;
        ASSERT_EQ(plan.init_error(), 0);
        ASSERT_EQ(plan.size(), n);
        for (const char *dir : {"f", "b"}) {
            const auto x = random_signal(n, n);
            // Strided, as the plan is also used on rows of a result.
            std::vector<cfloat> strided(2 * n);
            for (int j = 0; j < n; ++j) strided[2 * j] = x[j];
            auto want = x;
            int ier = -1;
            cfft1_(dir, {want.data(), n, 1}, ier);
            ASSERT_EQ(ier, 0);
            ASSERT_EQ(plan.transform(dir, {strided.data(), n, 2}), 0);
            int bad = 0;
            for (int j = 0; j < n; ++j) bad += !same_bits(strided[2 * j], want[j]);
            EXPECT_EQ(bad, 0) << dir << " n=" << n;
        }
    }
}

TEST(TransformPlan, AboveTheThresholdTakesTheChirpPath) {
    const int p = TransformPlan::kChirpPrimeAbove;
    int next = p + 1;
    while (TransformPlan::largest_prime_factor(next) != next) ++next;
    for (int n : {next, 2 * next, 3 * 1021}) {
        TransformPlan plan(n);
        EXPECT_TRUE(plan.uses_chirp()) << n;
        EXPECT_TRUE(TransformPlan::chirp_length(n));
        const auto x = random_signal(n, 1);
        auto f = x, b = x;
        ASSERT_EQ(plan.transform("f", {f.data(), n, 1}), 0);
        ASSERT_EQ(plan.transform("b", {b.data(), n, 1}), 0);
        EXPECT_LT(rms_relative(f, dft(x, -1, 1.0 / n)), 1e-6) << n;
        EXPECT_LT(rms_relative(b, dft(x, +1, 1.0)), 1e-6) << n;
    }
}

TEST(TransformPlan, UnknownDirectionLeavesTheArrayOnBothPaths) {
    for (int n : {12, 4099}) {
        TransformPlan plan(n);
        auto x = random_signal(n, 2);
        const auto before = x;
        for (const char *dir : {"x", "F", "B"}) {
            EXPECT_EQ(plan.transform(dir, {x.data(), n, 1}), 1);
            for (int j = 0; j < n; ++j) ASSERT_TRUE(same_bits(x[j], before[j]));
        }
    }
}

TEST(TransformPlan, EmptyAndNegativeLengths) {
    for (int n : {0, -3}) {
        TransformPlan plan(n);
        EXPECT_EQ(plan.size(), 0);
        EXPECT_EQ(plan.init_error(), 0);
        EXPECT_FALSE(plan.uses_chirp());
        EXPECT_EQ(plan.transform("f", {nullptr, 0, 1}), 0);
    }
}

TEST(TransformPlan, OnePlanPerThreadGivesTheSameBits) {
    // Plans share nothing: threads transforming at once, each with its own
    // plan, reproduce a single-threaded run exactly on both paths.
    for (int n : {1000, 4099}) {
        const auto x = random_signal(n, 9);
        auto want = x;
        TransformPlan(n).transform("b", {want.data(), n, 1});
        std::vector<std::vector<cfloat>> got(4, x);
        std::vector<std::thread> threads;
        for (auto &g : got)
            threads.emplace_back([&g, n] {
                TransformPlan plan(n);
                for (int r = 0; r < 20; ++r) {
                    auto y = g;
                    plan.transform("b", {y.data(), n, 1});
                    if (r == 19) g = y;
                }
            });
        for (auto &t : threads) t.join();
        for (const auto &g : got)
            for (int j = 0; j < n; ++j) ASSERT_TRUE(same_bits(g[j], want[j])) << n << " " << j;
    }
}
