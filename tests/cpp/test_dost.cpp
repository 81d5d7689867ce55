// The DOST core without Python: the band partition, unitarity and the round
// trip against a double-precision DFT, images and batches of rows against
// the 1-D transform one vector at a time, the batched FFT against the
// one-sequence plan, the real-image shortcut, and worker counts.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <string>
#include <random>
#include <vector>

#include "analysis/image/dost.hpp"
#include "analysis/signal/parallel.hpp"

using orbelix::cfloat;
using orbelix::analysis::BatchFft;
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

// Each image transformed one vector at a time: rows then columns (forward),
// columns then rows (inverse).
std::vector<cfloat> one_vector_at_a_time(std::vector<cfloat> a, int count, int n1, int n2, bool inverse) {
    Dost1 rows(n2), cols(n1);
    std::vector<cfloat> col(n1);
    auto do_rows = [&](cfloat *img) {
        for (int r = 0; r < n1; ++r) inverse ? rows.inverse(img + r * n2) : rows.forward(img + r * n2);
    };
    auto do_cols = [&](cfloat *img) {
        for (int q = 0; q < n2; ++q) {
            for (int r = 0; r < n1; ++r) col[r] = img[r * n2 + q];
            inverse ? cols.inverse(col.data()) : cols.forward(col.data());
            for (int r = 0; r < n1; ++r) img[r * n2 + q] = col[r];
        }
    };
    for (int img = 0; img < count; ++img) {
        cfloat *p = a.data() + static_cast<std::size_t>(img) * n1 * n2;
        if (inverse) {
            do_cols(p);
            do_rows(p);
        } else {
            do_rows(p);
            do_cols(p);
        }
    }
    return a;
}

void expect_same_bits(const std::vector<cfloat> &a, const std::vector<cfloat> &b, const char *what) {
    ASSERT_EQ(a.size(), b.size());
    std::size_t differ = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        differ += std::memcmp(&a[i], &b[i], sizeof(cfloat)) != 0;
    EXPECT_EQ(differ, 0u) << what;
}

// Images go through blocks of rows and of columns side by side, with one
// batched FFT per band: the numbers of the one-vector transform, whatever
// the block (shapes below, at and above a block; band widths on the radix
// and the chirp-z paths: 1000 has a band of 244 = 4 x 61 bins, 250 one of
// 61) and whatever the worker count.
TEST(Dost, ImagesAreTheTransformAlongEachAxisForAnyWorkerCount) {
    struct Shape { int count, n1, n2; };
    for (const Shape sh : {Shape{3, 21, 34}, Shape{2, 64, 8}, Shape{1, 250, 130}, Shape{1, 9, 1000},
                           Shape{2, 1, 17}, Shape{1, 33, 1}, Shape{1, 2100, 19}}) {
        const auto images = noise(static_cast<std::size_t>(sh.count) * sh.n1 * sh.n2, sh.n1 + sh.n2);
        for (bool inverse : {false, true}) {
            const auto loop = one_vector_at_a_time(images, sh.count, sh.n1, sh.n2, inverse);
            for (int workers : {1, 2, 3}) {
                auto batch = images;
                Parallel par(workers);
                dost_images(batch.data(), sh.count, sh.n1, sh.n2, inverse, par);
                const std::string what = std::to_string(sh.n1) + " x " + std::to_string(sh.n2) +
                                         (inverse ? " inverse" : " forward") + ", workers " +
                                         std::to_string(workers);
                expect_same_bits(batch, loop, what.c_str());
            }
        }
    }
}

// Rows of one signal length the same, side by side or one at a time.
TEST(Dost, RowsAreTheOneVectorTransform) {
    for (int n : {7, 100, 1000, 5000}) {
        const int count = 37;
        const auto x = noise(static_cast<std::size_t>(n) * count, n);
        for (bool inverse : {false, true}) {
            auto batch = x, loop = x;
            Parallel par(2);
            dost_rows(batch.data(), count, n, inverse, par);
            Dost1 d(n);
            for (int r = 0; r < count; ++r)
                inverse ? d.inverse(loop.data() + r * n) : d.forward(loop.data() + r * n);
            expect_same_bits(batch, loop, ("n = " + std::to_string(n)).c_str());
        }
    }
}

// The batched FFT gives the one-sequence plan's numbers, sequence by
// sequence, on the radix and the chirp-z paths, for any lot.
TEST(Dost, BatchedFftIsThePlanSequenceBySequence) {
    for (int n : {2, 6, 16, 61, 244, 1024, 4099}) {
        orbelix::fftpack::TransformPlan plan(n);
        for (int lot : {1, 3, 8, 21}) {
            const auto x = noise(static_cast<std::size_t>(n) * lot, n + lot);
            for (bool forward : {true, false}) {
                auto side = x;
                BatchFft fft(n);
                fft.transform(forward, side.data(), lot);
                std::vector<cfloat> seq(n);
                for (int s = 0; s < lot; ++s) {
                    for (int e = 0; e < n; ++e) seq[e] = x[static_cast<std::size_t>(e) * lot + s];
                    plan.transform(forward ? "f" : "b", {seq.data(), n, 1});
                    for (int e = 0; e < n; ++e)
                        ASSERT_EQ(std::memcmp(&seq[e], &side[static_cast<std::size_t>(e) * lot + s], sizeof(cfloat)), 0)
                            << "n=" << n << " lot=" << lot << " s=" << s << " e=" << e;
                }
            }
        }
    }
}

TEST(Dost, RealShortcutGivesTheComplexNumbersToRounding) {
    // Odd heights leave one row of each image without a partner; 41 x 130
    // pairs rows across blocks and images; rows of 2100 pair in place.
    struct Shape { int count, n1, n2; };
    for (const Shape sh : {Shape{2, 15, 22}, Shape{3, 41, 130}, Shape{1, 1, 9}, Shape{1, 5, 2100}}) {
        const auto images = noise(static_cast<std::size_t>(sh.count) * sh.n1 * sh.n2, 3, true);
        auto fast = images, plain = images;
        Parallel par(2);
        dost_images(fast.data(), sh.count, sh.n1, sh.n2, false, par, true);
        dost_images(plain.data(), sh.count, sh.n1, sh.n2, false, par, false);
        double top = 0, diff = 0;
        for (std::size_t i = 0; i < fast.size(); ++i) {
            top = std::max(top, std::abs(cd(plain[i].re, plain[i].im)));
            diff = std::max(diff, std::abs(cd(fast[i].re - plain[i].re, fast[i].im - plain[i].im)));
        }
        EXPECT_LT(diff, 2e-6 * top) << sh.n1 << " x " << sh.n2;
    }
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
