// Factorisation, twiddle tables and the integer logarithm.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <thread>
#include <vector>

#include "fft/plans/factor.hpp"
#include "fft/checks/ilog2.hpp"
#include "orbelix.h"

using orbelix::fftpack::factor;
using orbelix::fftpack::tables;
using orbelix::mutl::ilog2;

namespace {

std::vector<int> factors_of(int n) {
    int ip[32];
    const int nf = factor(n, ip);
    return std::vector<int>(ip, ip + nf);
}

}  // namespace

TEST(Factor, RadixFourFirstThenTwoThreeFiveThenPrimes) {
    using V = std::vector<int>;
    EXPECT_EQ(factors_of(2), V({2}));
    EXPECT_EQ(factors_of(8), V({4, 2}));
    EXPECT_EQ(factors_of(16), V({4, 4}));
    EXPECT_EQ(factors_of(32), V({4, 4, 2}));
    EXPECT_EQ(factors_of(96), V({4, 4, 2, 3}));
    EXPECT_EQ(factors_of(120), V({4, 2, 3, 5}));
    EXPECT_EQ(factors_of(14), V({2, 7}));
    EXPECT_EQ(factors_of(143), V({11, 13}));
    EXPECT_EQ(factors_of(4099), V({4099}));
    EXPECT_EQ(factors_of(2 * 3 * 3 * 5 * 7 * 7), V({2, 3, 3, 5, 7, 7}));
}

TEST(Factor, ProductIsTheLength) {
    for (int n = 2; n < 3000; ++n) {
        long p = 1;
        for (int f : factors_of(n)) p *= f;
        ASSERT_EQ(p, n);
    }
}

TEST(Tables, TwiddlesAreCosAndSinOfTheirAngle) {
    const int ido = 6, ip = 3;
    std::vector<float> wa(2 * ido * (ip - 1));
    tables(ido, ip, wa.data());
    for (int j = 1; j < ip; ++j)
        for (int i = 0; i < ido; ++i) {
            const double th = 2 * M_PI * i * j / (ido * ip);
            EXPECT_NEAR(wa[i + ido * (j - 1)], std::cos(th), 1e-6);  // the angle itself is rounded to float
            EXPECT_NEAR(wa[i + ido * (j - 1 + ip - 1)], std::sin(th), 1e-6);  // the angle itself is rounded to float
        }
}

TEST(Tables, LargeRadixKeepsRootsOfUnityInFirstEntry) {
    const int ido = 3, ip = 7;
    std::vector<float> wa(2 * ido * (ip - 1));
    tables(ido, ip, wa.data());
    for (int j = 1; j < ip; ++j) {
        EXPECT_NEAR(wa[ido * (j - 1)], std::cos(2 * M_PI * j / ip), 1e-6);  // the angle itself is rounded to float
        EXPECT_NEAR(wa[ido * (j - 1 + ip - 1)], std::sin(2 * M_PI * j / ip), 1e-6);  // the angle itself is rounded to float
    }
}

TEST(Tables, Cfft1iStoresFactorCountAndFactorsAfterTheTwiddles) {
    const int n = 120, lensav = 2 * n + ilog2(n) + 4;
    std::vector<float> w(lensav, -1.0f);
    int ier = -1;
    cfft1i(&n, w.data(), &lensav, &ier);
    ASSERT_EQ(ier, 0);
    EXPECT_EQ(w[2 * n], 4.0f);
    EXPECT_EQ(w[2 * n + 1], 4.0f);
    EXPECT_EQ(w[2 * n + 2], 2.0f);
    EXPECT_EQ(w[2 * n + 3], 3.0f);
    EXPECT_EQ(w[2 * n + 4], 5.0f);
}

TEST(Ilog2, SmallValues) {
    const int n[] = {1, 2, 3, 4, 7, 8, 1000, 1024, 4096};
    const int want[] = {0, 1, 1, 2, 2, 3, 9, 10, 12};
    for (int k = 0; k < 9; ++k) EXPECT_EQ(ilog2(n[k]), want[k]) << n[k];
}

TEST(Ilog2, IsTheSinglePrecisionExpressionNotTheExactLogarithm) {
    for (int n = 1; n < (1 << 21); ++n) {
        const int exact = 31 - __builtin_clz(static_cast<unsigned>(n));
        const int expect = (n == 8192 || n == 32768) ? exact - 1 : n == 2097151 ? exact + 1 : exact;
        ASSERT_EQ(ilog2(n), expect) << n;
    }
    EXPECT_EQ(ilog2(1 << 26), 25);
    EXPECT_EQ(ilog2(1 << 30), 29);
}

TEST(Ilog2, RepeatedAndAlternatingArgumentsGiveTheSameAnswers) {
    // The last answer is kept per thread: asking again, after another n,
    // and on a new thread must not change one.
    const int n[] = {8192, 8192, 4096, 8192, 0, 0, 2097151, 1, 1, 32768};
    const int want[] = {12, 12, 12, 12, INT_MIN, INT_MIN, 21, 0, 0, 14};
    for (int k = 0; k < 10; ++k) EXPECT_EQ(ilog2(n[k]), want[k]) << k;
    int other = 0;
    std::thread([&] { other = ilog2(0) == INT_MIN && ilog2(8192) == 12 ? 1 : -1; }).join();
    EXPECT_EQ(other, 1);
}

TEST(Ilog2, ZeroAndNegativeGiveTheMostNegativeInteger) {
    EXPECT_EQ(ilog2(0), INT_MIN);
    EXPECT_EQ(ilog2(-5), INT_MIN);
}
