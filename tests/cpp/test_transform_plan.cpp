// The transform plan of the library's callers: exactly cfft1_ where the radix
// passes are used (in place, strided, and from the padded input layout), the
// chirp-z path above the prime threshold.
#include <gtest/gtest.h>

#include <thread>
#include <limits>
#include <vector>

#include "test_support.hpp"
#include "core/errors.hpp"
#include "fft/plans/fftpack.hpp"
#include "fft/plans/transform_plan.hpp"

using namespace orbelix;
using namespace orbelix::fftpack;
using namespace orbelix::testing;
using orbelix::simd::Isa;

TEST(TransformPlan, LargestPrimeFactor) {
    const std::pair<int, int> cases[] = {{1, 1},       {2, 2},       {12, 3},     {49, 7},
                                         {4096, 2},    {4097, 241},  {4098, 683}, {4099, 4099},
                                         {2561, 197},  {1 << 30, 2}, {2147483647, 2147483647}};
    for (auto [n, p] : cases) EXPECT_EQ(TransformPlan::largest_prime_factor(n), p) << n;
}

TEST(TransformPlan, BelowTheThresholdGivesCfft1BitForBit) {
    const int p = TransformPlan::kRadixPrimeUpTo;
    std::vector<int> lengths = {1, 2, 3, 4, 5, 7, 16, 60, 1000, 4096, 4 * 3 * 5 * 7 * 11};
    for (int q = 2; q <= p; ++q)
        if (TransformPlan::largest_prime_factor(q) == q) lengths.push_back(q * 8);
    lengths.push_back(p);
    for (int n : lengths) {
        TransformPlan plan(n);
        ASSERT_FALSE(plan.uses_chirp()) << n;
        ASSERT_EQ(plan.size(), n);
        for (const char *dir : {"f", "b"}) {
            const auto x = random_signal(n, n);
            // Strided, as the plan is also used on rows of a result.
            std::vector<cfloat> strided(2 * n);
            for (int j = 0; j < n; ++j) strided[2 * j] = x[j];
            auto want = x;
            cfft1_(dir, {want.data(), n, 1});
            plan.transform(dir, {strided.data(), n, 2});
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
        plan.transform("f", {f.data(), n, 1});
        plan.transform("b", {b.data(), n, 1});
        EXPECT_LT(rms_relative(f, dft(x, -1, 1.0 / n)), 1e-6) << n;
        EXPECT_LT(rms_relative(b, dft(x, +1, 1.0)), 1e-6) << n;
    }
}

TEST(TransformPlan, BetweenTheBoundsTheFasterPathByEstimate) {
    // Measured: 688 = 16 * 43 takes 1.8 us through the radix passes and 3.0
    // through the chirp-z path, 2068 = 4 * 11 * 47 5.6 and 11.9; 2491 =
    // 47 * 53 takes 27 and 14, 1067 = 11 * 97 11 and 4.8, since their
    // general passes of 47 or more points run on 53, 47 or 11 groups, much
    // of it in scalar code.
    const std::pair<int, bool> cases[] = {{688, false}, {2068, false}, {2491, true}, {1067, true}};
    for (auto [n, chirp] : cases) {
        ASSERT_GT(TransformPlan::largest_prime_factor(n), TransformPlan::kRadixPrimeUpTo);
        ASSERT_LE(TransformPlan::largest_prime_factor(n), TransformPlan::kChirpPrimeAbove);
        TransformPlan plan(n);
        EXPECT_EQ(plan.uses_chirp(), chirp) << n;
        const auto x = random_signal(n, 3);
        auto got = x, want = x;
        plan.transform("b", {got.data(), n, 1});
        if (chirp) {
            EXPECT_LT(rms_relative(got, dft(x, +1, 1.0)), 1e-6) << n;
        } else {
            cfft1_("b", {want.data(), n, 1});
            EXPECT_EQ(bits_differing(got.data(), want), 0) << n;
        }
    }
}

TEST(TransformPlan, UnknownDirectionLeavesTheArrayOnBothPaths) {
    for (int n : {12, 4099}) {
        TransformPlan plan(n);
        auto x = random_signal(n, 2);
        const auto before = x;
        for (const char *dir : {"x", "F", "B"}) {
            EXPECT_THROW(plan.transform(dir, {x.data(), n, 1}), Refused);
            for (int j = 0; j < n; ++j) ASSERT_TRUE(same_bits(x[j], before[j]));
        }
    }
}

TEST(TransformPlan, EmptyAndNegativeLengths) {
    for (int n : {0, -3}) {
        TransformPlan plan(n);
        EXPECT_EQ(plan.size(), 0);
        EXPECT_FALSE(plan.uses_chirp());
        EXPECT_NO_THROW(plan.transform("f", {nullptr, 0, 1}));
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

namespace {

// Random values with every fifth one a signed zero: a reordered sum or an
// extra twiddle of 1 + 0i would change their signs.
std::vector<cfloat> signal_with_zeros(int n, unsigned seed) {
    auto x = random_signal(n, seed);
    for (int j = 0; j < n; j += 5) x[j] = {j % 2 ? -0.0f : 0.0f, j % 3 ? 0.0f : -0.0f};
    return x;
}

}  // namespace

TEST(TransformPlan, BlockTablesAndPaddedInputGiveCfft1BitForBitOnEveryPath) {
    // First sweeps of every kind: a fused pair of 4s, 4 and 2, 2 and 3, 3s
    // (where the path fuses them), a first pass alone of radix 4 and 5.
    for (int n : {1024, 2048, 4096, 5120, 6144, 6561, 8192, 12288, 12500, 13122, 15625, 16384}) {
        for (Isa isa : supported_paths()) {
            const ForcedPath path(isa);
            ASSERT_TRUE(path.forced());
            TransformPlan plan(n);
            const auto pad = plan.padded_input();
            // Padded from 4096 where the first sweep's streams would share
            // cache sets (powers of two), not where they fall apart anyway.
            if (n == 4096 || n == 8192 || n == 16384) {
                EXPECT_GT(pad.segments, 0) << n;
            } else if (n < 4096 || n == 6561 || n == 15625) {
                EXPECT_EQ(pad.segments, 0) << n;
            }
            for (const char *dir : {"f", "b"}) {
                const auto x = signal_with_zeros(n, n + (dir[0] == 'f'));
                auto want = x;
                cfft1_(dir, {want.data(), n, 1});
                auto in_place = x;
                plan.transform(dir, {in_place.data(), n, 1});
                EXPECT_EQ(bits_differing(in_place.data(), want), 0) << dir << " n=" << n;
                if (pad.segments == 0) continue;
                ASSERT_EQ(n % pad.segments, 0);
                const int seg = n / pad.segments;
                std::vector<cfloat> buf(pad.extent(n), cfloat{7.0f, 7.0f});
                for (int t = 0; t < n; ++t) buf[t + pad.gap * (t / seg)] = x[t];
                plan.transform_padded(dir, buf.data());
                EXPECT_EQ(bits_differing(buf.data(), want), 0) << dir << " padded n=" << n;

                // Segments marked +0 are taken so without being read: NaN
                // left in them would show.
                unsigned marked = 0;
                for (int q = 1; q < pad.segments; q += 3) marked |= 1u << q;
                auto zeroed = x;
                for (int t = 0; t < n; ++t)
                    if ((marked >> (t / seg)) & 1u) zeroed[t] = {0.0f, 0.0f};
                auto want_zeroed = zeroed;
                cfft1_(dir, {want_zeroed.data(), n, 1});
                const float nan = std::numeric_limits<float>::quiet_NaN();
                std::vector<cfloat> unwritten(pad.extent(n), cfloat{nan, nan});
                for (int t = 0; t < n; ++t)
                    if (!((marked >> (t / seg)) & 1u)) unwritten[t + pad.gap * (t / seg)] = zeroed[t];
                plan.transform_padded(dir, unwritten.data(), marked);
                EXPECT_EQ(bits_differing(unwritten.data(), want_zeroed), 0)
                    << dir << " padded n=" << n << ", segments marked +0: " << marked;
            }
        }
    }
}

TEST(TransformPlan, TablesBuiltWhenReusedChangeNoBit) {
    // Through the transform that builds the block tables and past it, both
    // directions alternating, against cfft1_ and a plan that built them at once.
    const int at = TransformPlan::kTablesAtTransform;
    for (int n : {1024, 4096, 12500, 14400}) {
        for (Isa isa : supported_paths()) {
            const ForcedPath path(isa);
            ASSERT_TRUE(path.forced());
            TransformPlan later(n, TransformPlan::Tables::when_reused), now(n);
            if (n == 4096) {
                EXPECT_GT(now.padded_input().segments, 0);
            }
            for (int use = 1; use <= at + 2; ++use) {
                EXPECT_EQ(later.padded_input().segments, use <= at ? 0 : now.padded_input().segments)
                    << "n=" << n << " before transform " << use;
                const char *dir = use % 2 ? "f" : "b";
                const auto x = signal_with_zeros(n, n + use);
                auto want = x, got = x, eager = x;
                cfft1_(dir, {want.data(), n, 1});
                later.transform(dir, {got.data(), n, 1});
                now.transform(dir, {eager.data(), n, 1});
                EXPECT_EQ(bits_differing(got.data(), want), 0) << "n=" << n << " transform " << use;
                EXPECT_EQ(bits_differing(eager.data(), want), 0) << "n=" << n << " transform " << use;
            }
        }
    }
}

TEST(TransformPlan, PaddedInputOnlyOnThePathThePlanWasMadeOn) {
    const auto paths = supported_paths();
    if (paths.size() < 2) GTEST_SKIP() << "one SIMD path on this machine";
    const ForcedPath made_on(paths.back());
    TransformPlan plan(4096);
    ASSERT_GT(plan.padded_input().segments, 0);
    {
        const ForcedPath other(paths.front());
        EXPECT_EQ(plan.padded_input().segments, 0);
        std::vector<cfloat> buf(8192);
        EXPECT_THROW(plan.transform_padded("b", buf.data()), Refused);
    }
    EXPECT_GT(plan.padded_input().segments, 0);
    // Neither a chirp-z length nor an unknown direction takes it.
    EXPECT_EQ(TransformPlan(4099).padded_input().segments, 0);
    std::vector<cfloat> buf(plan.padded_input().extent(4096));
    EXPECT_THROW(plan.transform_padded("x", buf.data()), Refused);
    EXPECT_THROW(TransformPlan(4099).transform_padded("b", buf.data()), Refused);
}
