// The DOST core without Python: the band partition, unitarity and the round
// trip against a double-precision DFT, images against the 1-D transform
// along each axis, the real-image shortcut, and worker counts.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "analysis/image/dost.hpp"
#include "analysis/signal/parallel.hpp"

using orbelix::cfloat;
using orbelix::analysis::Dost1;
using orbelix::analysis::dost_bands;
using orbelix::analysis::dost_images;
using orbelix::analysis::dost_rows;
using orbelix::tools::Parallel;
using cd = std::complex<double>;

namespace {

std::vector<cfloat> noise(std::size_t count, unsigned seed, bool real = false) {
    std::mt19937 g(seed);
    std::normal_distribution<float> d;
    std::vector<cfloat> v(count);
    for (auto &x : v) x = {d(g), real ? 0.0f : d(g)};
    return v;
}

// The DOST in double precision from its definition: unitary DFT, then each
// band's slice re-centred on its middle bin and transformed back.
std::vector<cd> reference(const std::vector<cfloat> &x) {
    const int n = static_cast<int>(x.size());
    std::vector<cd> spectrum(n), c(n);
    for (int f = 0; f < n; ++f)
        for (int j = 0; j < n; ++j)
            spectrum[f] += cd(x[j].re, x[j].im) * std::polar(1.0, -2 * M_PI * double(f) * j / n);
    for (auto &v : spectrum) v /= std::sqrt(double(n));
    for (const auto &b : dost_bands(n)) {
        const int w = b.width, h = w / 2, nu = b.first + h;
        for (int k = 0; k < w; ++k) {
            cd sum;
            for (int i = 0; i < w; ++i) {
                const int d = b.negative ? i - (w - 1 - h) : i - h;
                const int bin = b.negative ? -nu + d : nu + d;
                sum += spectrum[((bin % n) + n) % n] * std::polar(1.0, 2 * M_PI * double(d) * k / w);
            }
            c[b.position(n, k)] = sum / std::sqrt(double(w));
        }
    }
    return c;
}

}  // namespace

TEST(Dost, BandsCoverEveryPositionOnce) {
    for (int n = 1; n <= 70; ++n) {
        std::vector<int> seen(n, 0);
        for (const auto &b : dost_bands(n))
            for (int k = 0; k < b.width; ++k) ++seen[b.position(n, k)];
        for (int p = 0; p < n; ++p) EXPECT_EQ(seen[p], 1) << "n=" << n << " p=" << p;
    }
    const auto b13 = dost_bands(13);  // 0 | 1 | 2 3 | 4 5 6 | -6 -5 -4 | -3 -2 | -1
    ASSERT_EQ(b13.size(), 7u);
    EXPECT_EQ(b13[3].first, 4);
    EXPECT_EQ(b13[3].width, 3);
    EXPECT_TRUE(b13[4].negative);
}

TEST(Dost, MatchesTheDefinitionIsUnitaryAndInverts) {
    for (int n : {1, 2, 3, 5, 8, 13, 16, 31, 64, 97, 100, 128}) {
        auto x = noise(n, n);
        const auto ref = reference(x);
        auto c = x;
        Dost1 dost(n);
        dost.forward(c.data());
        double err = 0, norm = 0, ex = 0, ec = 0;
        for (int p = 0; p < n; ++p) {
            err += std::norm(cd(c[p].re, c[p].im) - ref[p]);
            norm += std::norm(ref[p]);
            ex += double(x[p].re) * x[p].re + double(x[p].im) * x[p].im;
            ec += double(c[p].re) * c[p].re + double(c[p].im) * c[p].im;
        }
        EXPECT_LT(std::sqrt(err / norm), 1e-6) << "n=" << n;
        EXPECT_NEAR(ec / ex, 1.0, 2e-6) << "n=" << n;
        dost.inverse(c.data());
        double back = 0;
        for (int p = 0; p < n; ++p) back += std::norm(cd(c[p].re - x[p].re, c[p].im - x[p].im));
        EXPECT_LT(std::sqrt(back / ex), 1e-6) << "n=" << n;
    }
}

TEST(Dost, ImagesAreTheTransformAlongEachAxisForAnyWorkerCount) {
    const int n1 = 21, n2 = 34, count = 3;
    const auto images = noise(static_cast<std::size_t>(count) * n1 * n2, 7);
    auto one = images;
    Parallel single(1);
    dost_images(one.data(), count, n1, n2, false, single);
    // Rows, then columns, one vector at a time.
    auto loop = images;
    Dost1 rows(n2), cols(n1);
    std::vector<cfloat> col(n1);
    for (int img = 0; img < count; ++img) {
        cfloat *a = loop.data() + static_cast<std::size_t>(img) * n1 * n2;
        for (int r = 0; r < n1; ++r) rows.forward(a + r * n2);
        for (int q = 0; q < n2; ++q) {
            for (int r = 0; r < n1; ++r) col[r] = a[r * n2 + q];
            cols.forward(col.data());
            for (int r = 0; r < n1; ++r) a[r * n2 + q] = col[r];
        }
    }
    for (std::size_t i = 0; i < one.size(); ++i) {
        EXPECT_EQ(one[i].re, loop[i].re);
        EXPECT_EQ(one[i].im, loop[i].im);
    }
    for (int workers : {2, 3}) {
        auto many = images;
        Parallel par(workers);
        dost_images(many.data(), count, n1, n2, false, par);
        for (std::size_t i = 0; i < one.size(); ++i) {
            EXPECT_EQ(many[i].re, one[i].re);
            EXPECT_EQ(many[i].im, one[i].im);
        }
    }
}

TEST(Dost, RealShortcutGivesTheComplexNumbersToRounding) {
    const int n1 = 15, n2 = 22, count = 2;
    const auto images = noise(static_cast<std::size_t>(count) * n1 * n2, 3, true);
    auto fast = images, plain = images;
    Parallel par(2);
    dost_images(fast.data(), count, n1, n2, false, par, true);
    dost_images(plain.data(), count, n1, n2, false, par, false);
    double top = 0, diff = 0;
    for (std::size_t i = 0; i < fast.size(); ++i) {
        top = std::max(top, std::abs(cd(plain[i].re, plain[i].im)));
        diff = std::max(diff, std::abs(cd(fast[i].re - plain[i].re, fast[i].im - plain[i].im)));
    }
    EXPECT_LT(diff, 2e-6 * top);
}

TEST(Dost, RowsInvert) {
    const int n = 1000, count = 5;
    const auto x = noise(static_cast<std::size_t>(n) * count, 11);
    auto c = x;
    Parallel par(2);
    dost_rows(c.data(), count, n, false, par);
    dost_rows(c.data(), count, n, true, par);
    double err = 0, norm = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        err += std::norm(cd(c[i].re - x[i].re, c[i].im - x[i].im));
        norm += std::norm(cd(x[i].re, x[i].im));
    }
    EXPECT_LT(std::sqrt(err / norm), 1e-6);
}
