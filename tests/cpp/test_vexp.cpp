// The window exponential: every float in [-104, 0] against the correctly
// rounded exp, monotone, and the same bits on every SIMD path.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "st1/vexp.hpp"
#include "core/simd/isa.hpp"
#include "test_support.hpp"

using orbelix::simd::Isa;

namespace {

std::uint32_t bits(float v) {
    std::uint32_t u;
    std::memcpy(&u, &v, sizeof u);
    return u;
}
float from_bits(std::uint32_t u) {
    float v;
    std::memcpy(&v, &u, sizeof v);
    return v;
}

}  // namespace

TEST(Vexp, EveryFloatFromMinus104ToZeroWithinOneUlpMonotoneAndAlikeOnEveryPath) {
    // Negative floats in increasing bit order run from -0 down to -104, so
    // the results must not increase along them. Double exp rounded to float
    // is the correctly rounded value here (no float result lies that close
    // to a rounding midpoint).
    const std::uint32_t first = bits(-0.0f), last = bits(-104.0f);
    constexpr std::uint32_t kChunk = 1 << 16;
    const std::vector<Isa> isas = orbelix::testing::supported_paths();
    std::vector<float> x(kChunk), y(kChunk), z(kChunk);
    long long off_by_one = 0, worse = 0, not_alike = 0, rising = 0;
    float previous = 1.0f;
    for (std::uint64_t b0 = first; b0 <= last; b0 += kChunk) {
        const int count = static_cast<int>(std::min<std::uint64_t>(kChunk, last - b0 + 1));
        for (int i = 0; i < count; ++i) x[i] = from_bits(static_cast<std::uint32_t>(b0 + i));
        orbelix::vexp_array(isas[0], x.data(), y.data(), count);
        for (std::size_t p = 1; p < isas.size(); ++p) {
            orbelix::vexp_array(isas[p], x.data(), z.data(), count);
            not_alike += std::memcmp(y.data(), z.data(), count * sizeof(float)) != 0;
        }
        for (int i = 0; i < count; ++i) {
            const float want = static_cast<float>(std::exp(static_cast<double>(x[i])));
            const std::int64_t d = std::llabs(std::int64_t{bits(y[i])} - std::int64_t{bits(want)});
            off_by_one += d == 1;
            worse += d > 1;
            rising += y[i] > previous;
            previous = y[i];
        }
    }
    EXPECT_EQ(worse, 0);
    EXPECT_EQ(rising, 0);
    EXPECT_EQ(not_alike, 0);
    RecordProperty("off_by_one_ulp", std::to_string(off_by_one));
}

TEST(Vexp, ScalarMatchesTheArraysAndTheEnds) {
    EXPECT_EQ(orbelix::vexp(0.0f), 1.0f);
    EXPECT_EQ(orbelix::vexp(-0.0f), 1.0f);
    EXPECT_EQ(orbelix::vexp(-104.0f), 0.0f);
    EXPECT_EQ(orbelix::vexp(-104.5f), 0.0f);
    EXPECT_EQ(orbelix::vexp(-1e30f), 0.0f);
    EXPECT_EQ(orbelix::vexp(-INFINITY), 0.0f);
    EXPECT_EQ(orbelix::vexp(-103.9f), from_bits(1));  // 2^-149, the smallest subnormal
    // Lengths that leave partial SIMD blocks on every path.
    for (int count : {1, 3, 7, 15, 17, 33}) {
        std::vector<float> x(count), y(count);
        for (int i = 0; i < count; ++i) x[i] = -0.37f * static_cast<float>(i * i);
        for (Isa isa : orbelix::testing::supported_paths()) {
            std::fill(y.begin(), y.end(), -1.0f);
            orbelix::vexp_array(isa, x.data(), y.data(), count);
            for (int i = 0; i < count; ++i)
                EXPECT_EQ(bits(y[i]), bits(orbelix::vexp(x[i]))) << orbelix::simd::name(isa) << i;
        }
    }
}

TEST(Vexp, GaussOffsetsStopAtTheFirstZeroAlikeOnEveryPath) {
    const float c = 19.73921f;
    for (int k : {1, 3, 10, 1000}) {
        const float kk = static_cast<float>(k * k);
        for (int step : {1, 2}) {
            for (int m0 : {0, 1}) {
                const int count = 40 * k;
                std::vector<float> want(count);
                int first_zero = count;
                for (int i = 0; i < count; ++i) {
                    const int m = m0 + step * i;
                    want[i] = orbelix::vexp(-((c * static_cast<float>(static_cast<long long>(m) * m)) / kk));
                    if (want[i] == 0.0f && first_zero == count) first_zero = i;
                }
                for (Isa isa : orbelix::testing::supported_paths()) {
                    std::vector<float> w(count, -1.0f);
                    const int got = orbelix::gauss_offsets(isa, c, kk, m0, step, count, w.data());
                    EXPECT_EQ(got, std::min(count, first_zero + 1)) << k;
                    for (int i = 0; i < got; ++i) ASSERT_EQ(bits(w[i]), bits(want[i])) << k << " " << i;
                }
            }
        }
    }
}
