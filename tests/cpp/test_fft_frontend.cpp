// The front-end: whole views in place, strided views, plans and batches.
#include <gtest/gtest.h>

#include <vector>

#include "test_support.hpp"
#include "core/errors.hpp"
#include "fft/checks/checks.hpp"
#include "fft/plans/fftpack.hpp"
#include "orbelix.h"
#include "reference/cfft2_plan.hpp"

using namespace orbelix;
using namespace orbelix::fftpack;
using namespace orbelix::testing;

TEST(Cfft1Frontend, LengthOneIsUnchangedInBothDirections) {
    cfloat v{1.5f, -2.0f};
    for (const char *dir : {"f", "b"}) {
        cfft1_(dir, View1<cfloat>{&v, 1, 1});
        EXPECT_TRUE(same_bits(v, cfloat{1.5f, -2.0f}));
    }
}

TEST(Cfft1Frontend, EmptyViewSucceedsWithoutTouchingAnything) {
    EXPECT_NO_THROW(cfft1_("f", View1<cfloat>{nullptr, 0, 1}));
}

TEST(Cfft1Frontend, UnknownDirectionLeavesTheArray) {
    auto x = random_signal(10, 1);
    const auto before = x;
    for (const char *dir : {"x", "F", "B"}) {
        EXPECT_THROW(cfft1_(dir, View1<cfloat>{x.data(), 10, 1}), Refused);
        for (int k = 0; k < 10; ++k) EXPECT_TRUE(same_bits(x[k], before[k]));
    }
}

TEST(Cfft1Frontend, StridedViewIsTransformedInPlaceAndGapsAreUntouched) {
    const int n = 30;
    const auto x = random_signal(n, 2);
    std::vector<cfloat> big(2 * n, cfloat{9.0f, 9.0f});
    for (int q = 0; q < n; ++q) big[2 * q] = x[q];
    cfft1_("f", View1<cfloat>{big.data(), n, 2});
    auto y = x;
    cfft1_("f", View1<cfloat>{y.data(), n, 1});
    for (int q = 0; q < n; ++q) {
        EXPECT_TRUE(same_bits(big[2 * q], y[q]));
        EXPECT_TRUE(same_bits(big[2 * q + 1], cfloat{9.0f, 9.0f}));
    }
    EXPECT_LT(rms_relative(y, dft(x, -1, 1.0 / n)), 1e-6);
}

TEST(Cfft1Frontend, ForwardThenBackwardRestoresPrimeLengths) {
    for (int n : {7, 11, 97, 1009}) {
        const auto x = random_signal(n, n);
        auto y = x;
        cfft1_("f", View1<cfloat>{y.data(), n, 1});
        cfft1_("b", View1<cfloat>{y.data(), n, 1});
        std::vector<cd> ref(n);
        for (int q = 0; q < n; ++q) ref[q] = cd(x[q].re, x[q].im);
        EXPECT_LT(rms_relative(y, ref), 2e-6) << n;
    }
}

namespace {

// 2-D reference: X(k1, k2) = scale * sum x(j1, j2) e^{sign 2 pi i (j1 k1/l + j2 k2/m)}.
std::vector<cd> dft2(const std::vector<cfloat> &x, int l, int m, int sign, double scale) {
    std::vector<cd> out(std::size_t(l) * m);
    for (int k2 = 0; k2 < m; ++k2)
        for (int k1 = 0; k1 < l; ++k1) {
            cd acc = 0;
            for (int j2 = 0; j2 < m; ++j2)
                for (int j1 = 0; j1 < l; ++j1) {
                    const double a = sign * 2 * M_PI *
                                     (double((j1 * k1) % l) / l + double((j2 * k2) % m) / m);
                    acc += cd(x[j1 + l * j2].re, x[j1 + l * j2].im) * cd(std::cos(a), std::sin(a));
                }
            out[k1 + l * k2] = acc * scale;
        }
    return out;
}

}  // namespace

TEST(Cfft2Frontend, MatchesTheDoubleDftForSeveralShapes) {
    const int shapes[][2] = {{1, 1}, {4, 4}, {8, 3}, {5, 7}, {1, 6}, {6, 1}, {14, 9}};
    for (const auto &sh : shapes) {
        const int l = sh[0], m = sh[1];
        const auto x = random_signal(std::size_t(l) * m, l * 31 + m);
        for (const char *dir : {"f", "b"}) {
            auto y = x;
            int ier = -1;
            cfft2_(dir, column_major(y.data(), l, m), ier);
            ASSERT_EQ(ier, 0);
            const bool fwd = dir[0] == 'f';
            EXPECT_LT(rms_relative(y, dft2(x, l, m, fwd ? -1 : 1, fwd ? 1.0 / (l * m) : 1.0)),
                      2e-6)
                << l << "x" << m << " " << dir;
        }
    }
}

TEST(Cfft2Frontend, StridedAndPaddedViewsGiveTheSameNumbers) {
    const int l = 6, m = 5;
    const auto x = random_signal(std::size_t(l) * m, 9);
    auto plain = x;
    int ier = -1;
    cfft2_("f", column_major(plain.data(), l, m), ier);
    // Leading dimension 8: rows 6 and 7 of each column must stay as they are.
    std::vector<cfloat> padded(8 * m, cfloat{5.0f, 5.0f});
    for (int j = 0; j < m; ++j)
        for (int i = 0; i < l; ++i) padded[i + 8 * j] = x[i + l * j];
    cfft2_("f", View2<cfloat>{padded.data(), l, m, 1, 8}, ier);
    ASSERT_EQ(ier, 0);
    // Row-major storage of the same array: a view with swapped strides.
    std::vector<cfloat> rowmajor(std::size_t(l) * m);
    for (int j = 0; j < m; ++j)
        for (int i = 0; i < l; ++i) rowmajor[i * m + j] = x[i + l * j];
    cfft2_("f", View2<cfloat>{rowmajor.data(), l, m, m, 1}, ier);
    ASSERT_EQ(ier, 0);
    for (int j = 0; j < m; ++j)
        for (int i = 0; i < 8; ++i) {
            if (i < l) {
                EXPECT_TRUE(same_bits(padded[i + 8 * j], plain[i + l * j]));
                EXPECT_TRUE(same_bits(rowmajor[i * m + j], plain[i + l * j]));
            } else {
                EXPECT_TRUE(same_bits(padded[i + 8 * j], cfloat{5.0f, 5.0f}));
            }
        }
}

TEST(Cfft2Frontend, ImpulseEmptyAndUnknownDirection) {
    std::vector<cfloat> a(12, cfloat{0, 0});
    a[0] = {1, 0};
    int ier = -1;
    cfft2_("f", column_major(a.data(), 3, 4), ier);
    for (const auto &v : a) EXPECT_FLOAT_EQ(v.re, 1.0f / 12);
    a.assign(12, cfloat{0, 0});
    a[0] = {1, 0};
    cfft2_("b", column_major(a.data(), 3, 4), ier);
    for (const auto &v : a) EXPECT_FLOAT_EQ(v.re, 1.0f);
    cfft2_("f", column_major<cfloat>(nullptr, 0, 4), ier);
    EXPECT_EQ(ier, 0);
    const auto before = a;
    cfft2_("q", column_major(a.data(), 3, 4), ier);
    EXPECT_EQ(ier, 1);
    for (int k = 0; k < 12; ++k) EXPECT_TRUE(same_bits(a[k], before[k]));
}

TEST(Cfft2Frontend, RefusesArraysWhoseScratchOverflowsThe32BitCount) {
    Cfft2Plan plan(32768, 32768);
    EXPECT_EQ(plan.init_error(), 30);
}

TEST(Cfft2Frontend, BatchedPlanGivesExactlyTheNumbersOfCfft2f) {
    // Odd radices, and shapes whose rows and columns need several batches.
    const int shapes[][2] = {{64, 40}, {100, 7}, {5, 300}, {300, 4000}, {2, 70000}};
    for (const auto &sh : shapes) {
        const int l = sh[0], m = sh[1];
        const auto x = random_signal(std::size_t(l) * m, l + m);
        int lensav = int(fftpack::table_floats(l) + fftpack::table_floats(m)), ier = -1;
        std::vector<float> wsave(lensav), work(2 * std::size_t(l) * m);
        cfft2i(&l, &m, wsave.data(), &lensav, &ier);
        ASSERT_EQ(ier, 0);
        for (const char *dir : {"f", "b"}) {
            auto engine = x, frontend = x;
            const int lenwrk = int(work.size());
            (dir[0] == 'f' ? cfft2f : cfft2b)(&l, &l, &m, &engine[0].re, wsave.data(), &lensav,
                                              work.data(), &lenwrk, &ier);
            ASSERT_EQ(ier, 0);
            cfft2_(dir, column_major(frontend.data(), l, m), ier);
            ASSERT_EQ(ier, 0);
            for (std::size_t k = 0; k < x.size(); ++k)
                ASSERT_TRUE(same_bits(engine[k], frontend[k])) << l << "x" << m << " " << dir;
        }
    }
}

// The plans run the passes themselves; their numbers are those of the
// public routines on one contiguous sequence, whatever the plan holds
// (block tables, a padded input) and however the view is laid out.
TEST(Cfft1Frontend, PlansGiveExactlyTheNumbersOfCfft1fAndCfft1b) {
    for (int n : {2, 3, 60, 1000, 1024, 4096, 14400, 4 * 3 * 5 * 7 * 11}) {
        int lensav = int(table_floats(n)), ier = -1;
        std::vector<float> wsave(lensav), work(2 * std::size_t(n));
        cfft1i(&n, wsave.data(), &lensav, &ier);
        ASSERT_EQ(ier, 0);
        Cfft1Plan plain(n), prepared(n);
        prepared.prepare_first_sweep();
        for (const char *dir : {"f", "b"}) {
            const auto x = random_signal(n, n + dir[0]);
            auto want = x;
            const int inc = 1, lenwrk = int(work.size());
            (dir[0] == 'f' ? cfft1f : cfft1b)(&n, &inc, &want[0].re, &n, wsave.data(), &lensav,
                                              work.data(), &lenwrk, &ier);
            ASSERT_EQ(ier, 0);
            for (Cfft1Plan *plan : {&plain, &prepared}) {
                auto got = x;
                plan->transform(dir, {got.data(), n, 1});
                EXPECT_EQ(bits_differing(got.data(), want), 0) << n << dir;
                std::vector<cfloat> strided(3 * std::size_t(n), cfloat{5.0f, 5.0f});
                for (int j = 0; j < n; ++j) strided[3 * j] = x[j];
                plan->transform(dir, {strided.data(), n, 3});
                int bad = 0;
                for (int j = 0; j < n; ++j)
                    bad += !same_bits(strided[3 * j], want[j]) ||
                           !same_bits(strided[3 * j + 1], cfloat{5.0f, 5.0f});
                EXPECT_EQ(bad, 0) << n << dir << " strided";
            }
            const PaddedInput pad = prepared.padded_input();
            if (pad.segments == 0) continue;
            const int seg = n / pad.segments;
            std::vector<cfloat> buf(pad.extent(n));
            for (int t = 0; t < n; ++t) buf[t + pad.gap * (t / seg)] = x[t];
            prepared.transform_padded(dir, buf.data());
            EXPECT_EQ(bits_differing(buf.data(), want), 0) << n << dir << " padded";
        }
    }
}
