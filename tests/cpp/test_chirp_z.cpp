// The chirp-z transform against double-precision DFTs: full references for
// moderate lengths, a sample of bins for the large ones.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "test_support.hpp"
#include "fft/plans/chirp_z.hpp"

using namespace orbelix;
using namespace orbelix::fftpack;
using namespace orbelix::testing;

namespace {

bool smooth(long long v) {
    for (int p : {2, 3, 5})
        while (v % p == 0) v /= p;
    return v == 1;
}

// Bins `bins` of scale * sum_j x_j exp(sign 2 pi i j k / n) in double, with
// the root index j k mod n kept exact.
std::vector<cd> dft_bins(const std::vector<cfloat> &x, const std::vector<int> &bins, int sign,
                         double scale) {
    const long long n = static_cast<long long>(x.size());
    std::vector<cd> roots(n);
    for (long long m = 0; m < n; ++m) roots[m] = std::polar(1.0, sign * 2.0 * M_PI * m / n);
    std::vector<cd> out;
    for (int k : bins) {
        cd acc = 0;
        long long idx = 0;
        for (long long j = 0; j < n; ++j) {
            acc += cd(x[j].re, x[j].im) * roots[idx];
            idx += k;
            if (idx >= n) idx -= n;
        }
        out.push_back(acc * scale);
    }
    return out;
}

double rms_relative_at(const std::vector<cfloat> &got, const std::vector<int> &bins,
                       const std::vector<cd> &ref) {
    double num = 0, den = 0;
    for (std::size_t i = 0; i < bins.size(); ++i) {
        num += std::norm(cd(got[bins[i]].re, got[bins[i]].im) - ref[i]);
        den += std::norm(ref[i]);
    }
    return std::sqrt(num / den);
}

}  // namespace

TEST(ChirpZ, SmoothLengthIsTheSmallestTwoThreeFiveSmoothAtOrAbove) {
    long long want = 1;
    for (long long target = 1; target <= 5000; ++target) {
        while (!smooth(want) || want < target) ++want;
        ASSERT_EQ(ChirpZ::smooth_length(target), want) << target;
    }
    EXPECT_EQ(ChirpZ::smooth_length(1999965), 2000000);
    EXPECT_EQ(ChirpZ::smooth_length((1LL << 30) + 1), 0);
}

TEST(ChirpZ, InnerLengthIsTheSmallestSmoothMultipleOf64AtOrAbove) {
    long long want = 64;
    for (long long target = 1; target <= 20000; ++target) {
        while (!smooth(want) || want < target) want += 64;
        ASSERT_EQ(ChirpZ::inner_length(target), want) << target;
    }
    EXPECT_EQ(ChirpZ::inner_length((1LL << 29) - 2), 1 << 29);
    EXPECT_EQ(ChirpZ::inner_length(1LL << 30), 1 << 30);
    EXPECT_EQ(ChirpZ::inner_length((1LL << 30) + 1), 0);
}

TEST(ChirpZ, InnerLengthHoldsTheConvolution) {
    // 2n-2 slots suffice because the chirp is even; 2561 and 4097 land on a
    // smooth 2n-2 exactly. 937 convolves at 1920, not at 1875 = 3 * 5^4.
    for (int n : {2, 3, 937, 2561, 4097, 4099, 8191, 999983}) {
        ChirpZ plan(n);
        EXPECT_EQ(plan.inner_size(), ChirpZ::inner_length(2LL * n - 2)) << n;
    }
    EXPECT_EQ(ChirpZ(937).inner_size(), 1920);
    EXPECT_EQ(ChirpZ(2561).inner_size(), 5120);
    EXPECT_EQ(ChirpZ(4097).inner_size(), 8192);
}

class ChirpZFull : public ::testing::TestWithParam<int> {};

TEST_P(ChirpZFull, BothDirectionsMatchTheDoubleDft) {
    // Even and odd lengths, primes and composites: the chirp's period 2n
    // differs from n for odd n.
    const int n = GetParam();
    ChirpZ plan(n);
    const auto x = random_signal(n, 11 + n);
    auto f = x, b = x;
    plan.transform(true, {f.data(), n, 1});
    plan.transform(false, {b.data(), n, 1});
    EXPECT_LT(rms_relative(f, dft(x, -1, 1.0 / n)), 1e-6);
    EXPECT_LT(rms_relative(b, dft(x, +1, 1.0)), 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Lengths, ChirpZFull,
                         ::testing::Values(2, 3, 4, 5, 6, 43, 97, 100, 257, 683, 1000, 2561, 4097,
                                           4099));

TEST(ChirpZ, StridedViewAndRoundTrip) {
    const int n = 509;
    ChirpZ plan(n);
    const auto x = random_signal(n, 3);
    std::vector<cfloat> big(3 * n, cfloat{7.0f, 7.0f});
    for (int j = 0; j < n; ++j) big[3 * j] = x[j];
    auto y = x;
    plan.transform(true, {big.data(), n, 3});
    plan.transform(true, {y.data(), n, 1});
    for (int j = 0; j < n; ++j) {
        EXPECT_TRUE(same_bits(big[3 * j], y[j]));
        EXPECT_TRUE(same_bits(big[3 * j + 1], cfloat{7.0f, 7.0f}));
        EXPECT_TRUE(same_bits(big[3 * j + 2], cfloat{7.0f, 7.0f}));
    }
    plan.transform(false, {y.data(), n, 1});
    std::vector<cd> want(x.size());
    for (int j = 0; j < n; ++j) want[j] = cd(x[j].re, x[j].im);
    EXPECT_LT(rms_relative(y, want), 1e-6);
}

class ChirpZLarge : public ::testing::TestWithParam<int> {};

TEST_P(ChirpZLarge, SampledBinsMatchTheDoubleDft) {
    const int n = GetParam();
    ChirpZ plan(n);
    const auto x = random_signal(n, 5);
    std::vector<int> bins = {0, 1, 2, n / 2, n - 1, n - 2};
    std::mt19937 gen(n);
    std::uniform_int_distribution<int> pick(0, n - 1);
    while (bins.size() < 96) bins.push_back(pick(gen));
    auto f = x, b = x;
    plan.transform(true, {f.data(), n, 1});
    plan.transform(false, {b.data(), n, 1});
    const double ef = rms_relative_at(f, bins, dft_bins(x, bins, -1, 1.0 / n));
    const double eb = rms_relative_at(b, bins, dft_bins(x, bins, +1, 1.0));
    char note[64];
    std::snprintf(note, sizeof note, "%.3g / %.3g", ef, eb);
    RecordProperty("rms_forward_backward", note);
    EXPECT_LT(ef, 1e-6) << n;
    EXPECT_LT(eb, 1e-6) << n;
}

INSTANTIATE_TEST_SUITE_P(Lengths, ChirpZLarge, ::testing::Values(10007, 65537, 999983));

TEST(ChirpZ, PaddedInnerLayoutStridedInputAndEveryPathGiveTheSameBits) {
    // The inner transforms take a padded input on the path the plan was
    // made on (inner lengths from 4096) and a contiguous one on any other;
    // a strided input is staged first. None of it may change a bit.
    for (int n : {2049, 2561, 4097, 8191}) {
        const auto x = random_signal(n, n);
        for (bool forward : {true, false}) {
            std::vector<cfloat> want;
            for (simd::Isa made_on : supported_paths()) {
                const ForcedPath plan_path(made_on);
                ChirpZ plan(n);
                for (simd::Isa run_on : supported_paths()) {
                    const ForcedPath path(run_on);
                    auto y = x;
                    plan.transform(forward, {y.data(), n, 1});
                    std::vector<cfloat> strided(3 * static_cast<std::size_t>(n));
                    for (int j = 0; j < n; ++j) strided[3 * j] = x[j];
                    plan.transform(forward, {strided.data(), n, 3});
                    if (want.empty()) want = y;
                    int bad = 0;
                    for (int j = 0; j < n; ++j)
                        bad += !same_bits(y[j], want[j]) + !same_bits(strided[3 * j], want[j]);
                    EXPECT_EQ(bad, 0) << "n " << n << " forward " << forward;
                }
            }
        }
    }
}
