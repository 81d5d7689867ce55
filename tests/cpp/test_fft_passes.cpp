// The 1-D and multiple-sequence transforms against a double DFT, through
// every kernel path: the last pass in place (NA = 0) and from work
// (NA = 1), twiddled passes (IDO > 1), and the general odd radix.
#include <gtest/gtest.h>

#include <vector>

#include "test_support.hpp"
#include "fft/checks/checks.hpp"
#include "fft/checks/xercon.hpp"
#include "orbelix.h"

using namespace orbelix;
using namespace orbelix::testing;

namespace {

struct Table {
    int n, lensav;
    std::vector<float> w;
    explicit Table(int n_) : n(n_), lensav(int(fftpack::table_floats(n_))), w(lensav) {
        int ier = -1;
        cfft1i(&n, w.data(), &lensav, &ier);
        EXPECT_EQ(ier, 0);
    }
};

// Transforms x (stride inc) with cfft1f or cfft1b.
std::vector<cfloat> run1(const Table &t, std::vector<cfloat> x, bool fwd, int inc = 1) {
    std::vector<cfloat> c(std::size_t(inc) * (t.n - 1) + 1, cfloat{7.0f, -7.0f});
    for (int q = 0; q < t.n; ++q) c[std::size_t(q) * inc] = x[q];
    const int lenc = int(c.size()), lenwrk = 2 * t.n;
    std::vector<float> work(lenwrk);
    int ier = -1;
    (fwd ? cfft1f : cfft1b)(&t.n, &inc, &c[0].re, &lenc, t.w.data(), &t.lensav, work.data(),
                            &lenwrk, &ier);
    EXPECT_EQ(ier, 0);
    for (std::size_t e = 0; e < c.size(); ++e)
        if (e % inc) {
            EXPECT_TRUE(same_bits(c[e], cfloat{7.0f, -7.0f})) << "touched " << e;
        }
    std::vector<cfloat> out(t.n);
    for (int q = 0; q < t.n; ++q) out[q] = c[std::size_t(q) * inc];
    return out;
}

class Lengths : public ::testing::TestWithParam<int> {};

}  // namespace

// 2..5, 7: one pass in place. 8: radix 4 twiddled then radix 2 from work.
// 6: 2 then 3. 14: the general kernel last, from work. 49: two general
// passes. 210, 2310: every radix. 1024, 4096: long radix-4 chains.
INSTANTIATE_TEST_SUITE_P(KernelPaths, Lengths,
                         ::testing::Values(1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 14, 15, 16, 20, 25, 49,
                                           60, 77, 98, 121, 210, 343, 1024, 2310, 4096));

TEST_P(Lengths, ForwardAndBackwardMatchTheDft) {
    const int n = GetParam();
    const Table t(n);
    const auto x = random_signal(n, 100 + n);
    EXPECT_LT(rms_relative(run1(t, x, true), dft(x, -1, 1.0 / n)), 1e-6);
    EXPECT_LT(rms_relative(run1(t, x, false), dft(x, +1, 1.0)), 1e-6);
}

TEST_P(Lengths, StrideThreeTouchesOnlyItsElements) {
    const int n = GetParam();
    const Table t(n);
    const auto x = random_signal(n, 200 + n);
    const auto got = run1(t, x, true, 3);
    const auto contiguous = run1(t, x, true, 1);
    for (int k = 0; k < n; ++k) EXPECT_TRUE(same_bits(got[k], contiguous[k]));
}

TEST_P(Lengths, ManySequencesGiveExactlyTheSingleSequenceNumbers) {
    const int n = GetParam();
    const Table t(n);
    // lot, jump, inc: interleaved, laid end to end, and strided both ways.
    const int layouts[][3] = {{5, 1, 5}, {3, n, 1}, {4, 2 * n + 1, 2}, {2, 1, 3}};
    for (const auto &lay : layouts) {
        const int lot = lay[0], jump = lay[1], inc = lay[2];
        const int lenc = (lot - 1) * jump + inc * (n - 1) + 1;
        std::vector<cfloat> c(lenc, cfloat{3.0f, 3.0f});
        std::vector<std::vector<cfloat>> seqs;
        for (int s = 0; s < lot; ++s) {
            seqs.push_back(random_signal(n, 300 + s));
            for (int q = 0; q < n; ++q) c[std::size_t(s) * jump + std::size_t(q) * inc] = seqs[s][q];
        }
        for (bool fwd : {true, false}) {
            auto d = c;
            const int lenwrk = 2 * lot * n;
            std::vector<float> work(lenwrk);
            int ier = -1;
            (fwd ? cfftmf : cfftmb)(&lot, &jump, &n, &inc, &d[0].re, &lenc, t.w.data(), &t.lensav,
                                    work.data(), &lenwrk, &ier);
            ASSERT_EQ(ier, 0);
            for (int s = 0; s < lot; ++s) {
                const auto one = run1(t, seqs[s], fwd);
                for (int q = 0; q < n; ++q)
                    ASSERT_TRUE(same_bits(d[std::size_t(s) * jump + std::size_t(q) * inc], one[q]))
                        << "lot " << lot << " jump " << jump << " inc " << inc << " s " << s;
            }
        }
    }
}

TEST(Cfft1, ImpulseAndConstant) {
    const int n = 12;
    const Table t(n);
    std::vector<cfloat> x(n, cfloat{0, 0});
    x[0] = {1, 0};
    for (const auto &v : run1(t, x, true)) EXPECT_FLOAT_EQ(v.re, 1.0f / n);
    for (const auto &v : run1(t, x, false)) EXPECT_FLOAT_EQ(v.re, 1.0f);
    std::vector<cfloat> k(n, cfloat{2.5f, -1.0f});
    const auto y = run1(t, k, true);
    EXPECT_NEAR(y[0].re, 2.5f, 1e-6);
    EXPECT_NEAR(y[0].im, -1.0f, 1e-6);
    for (int q = 1; q < n; ++q) EXPECT_LT(std::abs(y[q].re) + std::abs(y[q].im), 1e-6);
}

TEST(Xercon, OverlapAndInterleaving) {
    using orbelix::fftpack::xercon;
    EXPECT_TRUE(xercon(1, 16, 16, 4));   // end to end
    EXPECT_FALSE(xercon(1, 1, 2, 2));    // overlapping
    EXPECT_FALSE(xercon(1, 0, 8, 1));    // zero jump
    EXPECT_FALSE(xercon(3, 0, 1, 5));
    EXPECT_TRUE(xercon(2, 1, 8, 2));     // two interleaved sequences
    EXPECT_FALSE(xercon(2, 1, 8, 3));    // the third would hit the first
    EXPECT_TRUE(xercon(4, 1, 100, 4));
}
