// Internals of the fast S-transform: analytic weighting, window values, the
// voice loop against the plain one-voice-at-a-time algorithm, tiny lengths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <vector>

#include "fft/plans/fftpack.hpp"
#include "fft/plans/transform_plan.hpp"
#include "st1/cht1.hpp"
#include "st1/cfst1b.hpp"
#include "st1/cfst1f.hpp"
#include "st1/gauss_window.hpp"
#include "st1/voice_chirp.hpp"
#include "core/simd/isa.hpp"
#include "test_support.hpp"

namespace {

using orbelix::cfloat;
using orbelix::View1;
using orbelix::View2;
using cd = std::complex<double>;

std::vector<cfloat> random_signal(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<cfloat> x(n);
    for (auto &v : x) v = {u(rng), u(rng)};
    return x;
}

bool same_bits(cfloat a, cfloat b) { return std::memcmp(&a, &b, sizeof a) == 0; }

View1<const cfloat> cview(const std::vector<cfloat> &x) {
    return {x.data(), static_cast<int>(x.size()), 1};
}

// ---- cht1f / cht1b ------------------------------------------------------

class Cht1 : public ::testing::TestWithParam<int> {};

TEST_P(Cht1, ForwardDoublesLowerHalfKeepsNyquistZeroesUpper) {
    const int n = GetParam();
    // Every second element of a larger array: the gaps must stay untouched.
    std::vector<cfloat> store = random_signal(2 * n, 1);
    const std::vector<cfloat> before = store;
    orbelix::hilbrt::cht1f({store.data(), n, 2});
    for (int i = 0; i < n; ++i) {
        const cfloat x = before[2 * i], y = store[2 * i];
        if (i == 0 || (n % 2 == 0 && i == n / 2)) {
            EXPECT_TRUE(same_bits(x, y)) << "bin " << i;
        } else if (i < (n + 1) / 2) {
            EXPECT_EQ(y.re, 2.0f * x.re) << "bin " << i;
            EXPECT_EQ(y.im, 2.0f * x.im) << "bin " << i;
        } else {
            EXPECT_EQ(y.re, 0.0f) << "bin " << i;
            EXPECT_EQ(y.im, 0.0f) << "bin " << i;
        }
        EXPECT_TRUE(same_bits(before[2 * i + 1], store[2 * i + 1]));
    }
}

TEST_P(Cht1, BackwardHalvesAndMirrorsByConjugation) {
    const int n = GetParam();
    std::vector<cfloat> x = random_signal(n, 2);
    const std::vector<cfloat> before = x;
    orbelix::hilbrt::cht1b({x.data(), n, 1});
    for (int i = 0; i < n; ++i) {
        if (i == 0 || (n % 2 == 0 && i == n / 2)) {
            EXPECT_TRUE(same_bits(before[i], x[i])) << "bin " << i;
        } else if (i < (n + 1) / 2) {
            EXPECT_EQ(x[i].re, 0.5f * before[i].re) << "bin " << i;
            EXPECT_EQ(x[i].im, 0.5f * before[i].im) << "bin " << i;
        } else {
            EXPECT_EQ(x[i].re, x[n - i].re) << "bin " << i;
            EXPECT_EQ(x[i].im, -x[n - i].im) << "bin " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, Cht1, ::testing::Values(1, 2, 3, 4, 7, 8, 9, 16));

// ---- gauss ----------------------------------------------------------------

TEST(Gauss, MatchesTheGaussianInDoublePrecision) {
    for (int k : {1, 2, 3, 10, 100, 2048}) {
        for (int m : {0, 1, 2, 5, 17, 300}) {
            const double want = std::exp(-19.73921 * double(m) * m / (double(k) * k));
            if (want < 1e-30) continue;
            EXPECT_NEAR(orbelix::gauss(k, m), want, 2e-6 * want) << k << "," << m;
        }
    }
    EXPECT_EQ(orbelix::gauss(7, 0), 1.0f);
}

TEST(Gauss, SquaresDoNotOverflow) {
    // 50000^2 exceeds 32 bits: the ratio must still be exactly 1.
    EXPECT_NEAR(orbelix::gauss(50000, 50000), std::exp(-19.73921), 1e-15);
    EXPECT_NEAR(orbelix::gauss(60000, 30000), std::exp(-19.73921 / 4), 1e-8);
}

TEST(Gauss, UnderflowsToExactZero) {
    EXPECT_EQ(orbelix::gauss(1, 3), 0.0f);       // argument -177.7
    EXPECT_GT(orbelix::gauss(10, 22), 0.0f);     // -95.5: small but normal
    EXPECT_EQ(orbelix::gauss(10, 23), 0.0f);     // -104.4: below expf's range
}

TEST(Gauss, EvenVoicesRepeatHalfTheirOffsetsExactly) {
    // Both squares scale by 4, exactly: the reuse of the fast window rests on it.
    for (int k : {1, 2, 7, 100, 3000, 23170})
        for (int m = 0; m < 3 * k; m += 1 + k / 50)
            ASSERT_EQ(orbelix::gauss(2 * k, 2 * m), orbelix::gauss(k, m)) << k << "," << m;
}

// ---- half windows -------------------------------------------------------

TEST(GaussHalfWindow, EqualsGaussAtEveryOffsetAndPath) {
    // Offsets past 46340 (squares beyond 32 bits) leave the SIMD kernel.
    for (int k : {1, 2, 5, 64, 1001, 30000}) {
        const int count = std::min(3 * k + 20, 70000);
        for (auto isa : orbelix::testing::supported_paths()) {
            const orbelix::testing::ForcedPath path(isa);
            std::vector<float> w(count, -1.0f);
            orbelix::gauss_half_window(k, 19.73921f, count, w.data());
            int bad = 0;
            for (int m = 0; m < count; ++m) bad += w[m] != orbelix::gauss(k, m);
            EXPECT_EQ(bad, 0) << "k " << k << " " << orbelix::simd::name(isa);
        }
    }
}

TEST(GaussHalfWindow, ReusedBufferAndDoubledVoicesGiveTheFreshWindow) {
    // One buffer for voices of falling and rising width, even voices built
    // from their halves: every entry equals a freshly computed window.
    const int count = 2049, c_count = 1025;
    const float c = 19.73921f;
    std::vector<float> w(count, 0.0f), half(count, 0.0f), fresh(count), scratch(count / 2 + 16);
    int zero_from = 0, half_zero_from = 0;
    for (int k : {900, 3, 1, 500, 17, 2}) {
        half_zero_from = orbelix::gauss_half_window(k, c, count, half.data(), half_zero_from);
        zero_from = orbelix::gauss_half_window_doubled(k, c, half.data(), half_zero_from, count,
                                                       w.data(), zero_from, scratch.data());
        orbelix::gauss_half_window(2 * k, c, count, fresh.data());
        for (int m = 0; m < count; ++m) ASSERT_EQ(w[m], fresh[m]) << "voice " << 2 * k << " m " << m;
        for (int m = zero_from; m < count; ++m) ASSERT_EQ(w[m], 0.0f);
        EXPECT_TRUE(zero_from == count || (zero_from > 0 && w[zero_from - 1] == 0.0f));
        orbelix::gauss_half_window(k, c, count, fresh.data());
        for (int m = 0; m < count; ++m) ASSERT_EQ(half[m], fresh[m]) << "voice " << k;
    }
    // A wider constant (the analysis package's gamma) scales the same way.
    std::vector<float> wide(c_count);
    orbelix::gauss_half_window(40, c * 4.0f, c_count, wide.data());
    for (int m = 0; m < c_count; ++m) ASSERT_EQ(wide[m], orbelix::gauss(20, m)) << m;
}

// ---- cfst1f against the voice-at-a-time algorithm ----------------------

// The plain algorithm: every window value evaluated, each voice built in its
// strided row of the result and transformed there, by the transform plan
// (cfft1_ itself below the chirp-z threshold, which the plan's tests check);
// where the band convolution of VoiceChirp pays, each voice is that, with
// the whole window.
std::vector<cfloat> plain_cfst1f(const std::vector<cfloat> &h) {
    const int n = static_cast<int>(h.size());
    const int rows = n / 2 + 1;
    std::vector<cfloat> a = h, s(static_cast<std::size_t>(rows) * n);
    orbelix::fftpack::TransformPlan plan(n);
    plan.transform("f", {a.data(), n, 1});
    orbelix::hilbrt::cht1f({a.data(), n, 1});
    float sr = 0.0f, si = 0.0f;
    for (int t = 0; t < n; ++t) {
        sr += h[t].re;
        si += h[t].im;
    }
    for (int t = 0; t < n; ++t) s[t * rows] = {sr / float(n), si / float(n)};
    std::vector<float> g(n);
    orbelix::VoiceChirp chirp(std::max(n, 2));
    for (int k = 1; k <= n / 2; ++k) {
        g[0] = orbelix::gauss(k, 0);
        for (int j = 1; j <= n / 2; ++j) g[j] = g[n - j] = orbelix::gauss(k, j);
        View1<cfloat> row{s.data() + k, n, rows};
        if (orbelix::VoiceChirp::pays(plan)) {
            std::vector<cfloat> v(n);
            chirp.voice(a.data(), k, g.data(), n / 2 + 1, false, v.data());
            for (int t = 0; t < n; ++t) row[t] = v[t];
            continue;
        }
        for (int t = 0; t < n; ++t) {
            const cfloat z = a[(k + t) % n];
            row[t] = {z.re * g[t] - z.im * 0.0f, z.im * g[t] + z.re * 0.0f};
        }
        plan.transform("b", row);
    }
    return s;
}

class Cfst1fExact : public ::testing::TestWithParam<int> {};

TEST_P(Cfst1fExact, IdenticalToVoiceAtATime) {
    // Batching, the shared plan and the skipped underflowed window values
    // must not change a single bit.
    const int n = GetParam();
    const std::vector<cfloat> h = random_signal(n, 3 + n);
    const std::vector<cfloat> got = orbelix::cfst1f(cview(h));
    const std::vector<cfloat> want = plain_cfst1f(h);
    ASSERT_EQ(got.size(), want.size());
    int bad = 0;
    for (std::size_t i = 0; i < got.size(); ++i) bad += !same_bits(got[i], want[i]);
    EXPECT_EQ(bad, 0) << "of " << got.size();
}

INSTANTIATE_TEST_SUITE_P(Lengths, Cfst1fExact,
                         ::testing::Values(1, 2, 3, 5, 8, 15, 16, 17, 18, 31, 64, 97, 100, 257));
// Enough voices for several levels of reused windows, a chirp-z length,
// 1647 = 27 * 61, whose voices convolve though the plan takes the radix
// passes, and 4096, whose voices leave the runs of their padded input that
// are +0 throughout unwritten.
INSTANTIATE_TEST_SUITE_P(ManyBlocks, Cfst1fExact,
                         ::testing::Values(1500, 2048, 2049, 4099, 1647, 4096));

TEST(Cfst1f, VoicesPerBlockDoNotChangeABit) {
    // Every block size walks the tree of reused windows differently; odd
    // sizes put a voice and its double at other offsets in their blocks.
    for (int n : {1000, 2049}) {
        const std::vector<cfloat> h = random_signal(n, 11 + n);
        const std::vector<cfloat> want = orbelix::cfst1f(cview(h));
        const int rows = n / 2 + 1;
        for (int block : {1, 7, 24, 40, 64, 96, 600}) {
            std::vector<cfloat> got(want.size());
            orbelix::cfst1f_in_blocks(cview(h), orbelix::column_major(got.data(), rows, n), block);
            int bad = 0;
            for (std::size_t i = 0; i < got.size(); ++i) bad += !same_bits(got[i], want[i]);
            EXPECT_EQ(bad, 0) << "n " << n << ", " << block << " voices per block";
        }
    }
}

TEST(Cfst1f, StridedInputAndOutputViews) {
    const int n = 12, rows = n / 2 + 1;
    std::vector<cfloat> store = random_signal(3 * n, 4), h(n);
    for (int t = 0; t < n; ++t) h[t] = store[3 * t];
    const std::vector<cfloat> want = orbelix::cfst1f(cview(h));
    // Result as a row-major (transposed) array with padding between rows.
    const int ld = n + 3;
    std::vector<cfloat> out(static_cast<std::size_t>(rows) * ld, {7.0f, 7.0f});
    orbelix::cfst1f(View1<const cfloat>{store.data(), n, 3}, View2<cfloat>{out.data(), rows, n, ld, 1});
    for (int k = 0; k < rows; ++k) {
        for (int t = 0; t < n; ++t) EXPECT_TRUE(same_bits(out[k * ld + t], want[k + t * rows]));
        for (int t = n; t < ld; ++t) EXPECT_EQ(out[k * ld + t].re, 7.0f);
    }
}

TEST(Cfst1f, LengthOneIsTheSampleItself) {
    const std::vector<cfloat> h = {{0.3f, -1.7f}};
    const std::vector<cfloat> s = orbelix::cfst1f(cview(h));
    ASSERT_EQ(s.size(), 1u);
    EXPECT_TRUE(same_bits(s[0], h[0]));
}

TEST(Cfst1f, LengthTwo) {
    const std::vector<cfloat> h = {{1.0f, 2.0f}, {-3.0f, 0.5f}};
    const std::vector<cfloat> s = orbelix::cfst1f(cview(h));
    ASSERT_EQ(s.size(), 4u);  // rows 0 and 1, two columns
    const cd h0(1, 2), h1(-3, 0.5), a0 = (h0 + h1) / 2.0, a1 = (h0 - h1) / 2.0;
    const double g1 = std::exp(-19.73921);
    const cd want[4] = {a0, a1 + a0 * g1, a0, a1 - a0 * g1};  // column-major
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(s[i].re, want[i].real(), 1e-6) << i;
        EXPECT_NEAR(s[i].im, want[i].imag(), 1e-6) << i;
    }
}

TEST(Cfst1f, MeanIsAFloatSumInIncreasingTime) {
    // 1e8 + 1 rounds back to 1e8 in single precision, so the sum is 0; a
    // wider or compensated accumulator would give 1.
    const std::vector<cfloat> h = {{1e8f, -1e8f}, {1.0f, 1.0f}, {-1e8f, 1e8f}, {0.0f, 0.0f}};
    const std::vector<cfloat> s = orbelix::cfst1f(cview(h));
    for (int t = 0; t < 4; ++t) {
        EXPECT_EQ(s[t * 3].re, 0.0f) << t;
        EXPECT_EQ(s[t * 3].im, 0.0f) << t;
    }
}

TEST(Cfst1f, EmptySignalGivesEmptyResult) {
    EXPECT_TRUE(orbelix::cfst1f(View1<const cfloat>{nullptr, 0, 1}).empty());
    EXPECT_TRUE(orbelix::cfst1b(View2<const cfloat>{nullptr, 1, 0, 1, 1}).empty());
}

// ---- cfst1b ---------------------------------------------------------------

TEST(Cfst1b, LengthOneAndTwo) {
    const std::vector<cfloat> one = {{2.5f, -1.0f}};
    const std::vector<cfloat> h1 = orbelix::cfst1b(orbelix::column_major(one.data(), 1, 1));
    ASSERT_EQ(h1.size(), 1u);
    EXPECT_TRUE(same_bits(h1[0], one[0]));

    // Rows 0 and 1 by two columns: r0 = (1+3, 2-1), r1 = (5-1, 0+4).
    const std::vector<cfloat> s = {{1, 2}, {5, 0}, {3, -1}, {-1, 4}};
    const std::vector<cfloat> h2 = orbelix::cfst1b(orbelix::column_major(s.data(), 2, 2));
    ASSERT_EQ(h2.size(), 2u);
    EXPECT_FLOAT_EQ(h2[0].re, 4.0f);   // (r0 + r1) / 2
    EXPECT_FLOAT_EQ(h2[0].im, 2.5f);
    EXPECT_FLOAT_EQ(h2[1].re, 0.0f);   // (r0 - r1) / 2
    EXPECT_FLOAT_EQ(h2[1].im, -1.5f);
}

TEST(Cfst1b, RowSumsAreFloatSumsInIncreasingTime) {
    // Row 0 sums to 0 in single precision (1e8 + 1 == 1e8), to 1 exactly.
    std::vector<cfloat> s(3 * 4, {0.0f, 0.0f});
    const float row0[4] = {1e8f, 1.0f, -1e8f, 0.0f};
    for (int t = 0; t < 4; ++t) s[t * 3] = {row0[t], 0.0f};
    for (const cfloat v : orbelix::cfst1b(orbelix::column_major<const cfloat>(s.data(), 3, 4))) {
        EXPECT_EQ(v.re, 0.0f);
        EXPECT_EQ(v.im, 0.0f);
    }
}

// The plain inverse: row sums element by element in increasing time.
std::vector<cfloat> plain_cfst1b(View2<const cfloat> s) {
    const int ncol = s.n2;
    std::vector<cfloat> h(ncol, {0.0f, 0.0f});
    for (int t = 0; t < ncol; ++t)
        for (int k = 0; k < s.n1; ++k) {
            h[k].re += s(k, t).re;
            h[k].im += s(k, t).im;
        }
    orbelix::hilbrt::cht1b({h.data(), ncol, 1});
    orbelix::fftpack::TransformPlan plan(ncol);
    plan.transform("b", {h.data(), ncol, 1});
    for (auto &v : h) v = {v.re / float(ncol), v.im / float(ncol)};
    return h;
}

TEST(Cfst1b, IdenticalToPlainRowSumsOnEveryLayout) {
    for (int n : {1, 2, 9, 64, 301, 1031}) {
        const int rows = n / 2 + 1;
        const std::vector<cfloat> col = random_signal(rows * n, 40 + n);
        const auto cm = orbelix::column_major<const cfloat>(col.data(), rows, n);
        const std::vector<cfloat> want = plain_cfst1b(cm);
        // The same coefficients row-major with padding: the strided branch.
        const int ld = n + 5;
        std::vector<cfloat> rm(static_cast<std::size_t>(rows) * ld, {9.0f, 9.0f});
        for (int k = 0; k < rows; ++k)
            for (int t = 0; t < n; ++t) rm[k * ld + t] = col[k + t * rows];
        for (const auto &got : {orbelix::cfst1b(cm),
                                orbelix::cfst1b(View2<const cfloat>{rm.data(), rows, n, ld, 1})}) {
            ASSERT_EQ(got.size(), want.size());
            int bad = 0;
            for (int i = 0; i < n; ++i) bad += !same_bits(got[i], want[i]);
            EXPECT_EQ(bad, 0) << "n " << n;
        }
    }
}

class Cfst1bSingleCoefficient : public ::testing::TestWithParam<int> {};

TEST_P(Cfst1bSingleCoefficient, DependsOnlyOnTheRowSum) {
    const int n = GetParam(), rows = n / 2 + 1, k = (n - 1) / 2;
    const cd c(0.75, -0.4);
    for (int t0 : {0, n / 3, n - 1}) {
        std::vector<cfloat> s(static_cast<std::size_t>(rows) * n, {0.0f, 0.0f});
        s[k + t0 * rows] = {float(c.real()), float(c.imag())};
        const std::vector<cfloat> h = orbelix::cfst1b(orbelix::column_major<const cfloat>(s.data(), rows, n));
        for (int t = 0; t < n; ++t) {
            const double want = (c * std::polar(1.0, 2 * M_PI * k * t / n)).real() / n;
            EXPECT_NEAR(h[t].re, want, 1e-6) << "t0 " << t0 << " t " << t;
            EXPECT_NEAR(h[t].im, 0.0, 1e-6) << "t0 " << t0 << " t " << t;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, Cfst1bSingleCoefficient, ::testing::Values(3, 7, 8, 20, 33));

}  // namespace
