// The windowed spectrum of a voice, col[t] = a[t] * (w[min(t, n-t)], 0), has
// on every SIMD path the bits of the scalar complex product, signed zeros,
// infinities and NaNs included, for odd and even n of any size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "core/complex.hpp"
#include "st1/window_product.hpp"
#include "core/simd/isa.hpp"
#include "test_support.hpp"

using orbelix::cfloat;
using orbelix::simd::Isa;

namespace {

float part(std::mt19937 &gen) {
    const float special[] = {0.0f, -0.0f, std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity(),
                             std::numeric_limits<float>::quiet_NaN()};
    if (gen() % 8 == 0) return special[gen() % 5];
    return std::uniform_real_distribution<float>(-3.0f, 3.0f)(gen);
}

}  // namespace

TEST(WindowProduct, EveryPathGivesTheScalarProductsBitForBit) {
    for (int n : {1, 2, 3, 4, 5, 7, 8, 9, 16, 17, 31, 64, 255, 1000, 1031}) {
        std::mt19937 gen(n);
        std::vector<cfloat> a(n);
        for (auto &z : a) z = {part(gen), part(gen)};
        std::vector<float> w(n / 2 + 1);
        for (auto &v : w) v = gen() % 8 == 0 ? 0.0f : std::uniform_real_distribution<float>(0, 1)(gen);
        std::vector<cfloat> want(n);
        for (int t = 0; t < n; ++t) want[t] = orbelix::times_real(a[t], w[std::min(t, n - t)]);
        for (Isa isa : orbelix::testing::supported_paths()) {
            const orbelix::testing::ForcedPath path(isa);
            ASSERT_TRUE(path.forced());
            std::vector<cfloat> col(n + 1, cfloat{7.0f, 7.0f});
            orbelix::window_product(a.data(), w.data(), n, col.data());
            EXPECT_EQ(std::memcmp(col.data(), want.data(), n * sizeof(cfloat)), 0)
                << "n = " << n << ", path " << static_cast<int>(isa);
            EXPECT_EQ(col[n].re, 7.0f) << "wrote past the column, n = " << n;
        }
    }
}

TEST(WindowProduct, PaddedLayoutHoldsTheSameProductsAndLeavesTheGaps) {
    // Run s of n/segments products starts at col + s*(n/segments + gap).
    for (auto [n, segments] : {std::pair{16, 1}, {16, 16}, {1000, 4}, {1000, 5}, {4096, 16},
                               {4096, 4}, {6144, 8}, {15625, 5}}) {
        std::mt19937 gen(n + segments);
        std::vector<cfloat> a(n);
        for (auto &z : a) z = {part(gen), part(gen)};
        std::vector<float> w(n / 2 + 1);
        for (auto &v : w) v = std::uniform_real_distribution<float>(0, 1)(gen);
        const int gap = 8, seg = n / segments;
        for (Isa isa : orbelix::testing::supported_paths()) {
            const orbelix::testing::ForcedPath path(isa);
            ASSERT_TRUE(path.forced());
            std::vector<cfloat> plain(n);
            orbelix::window_product(a.data(), w.data(), n, plain.data());
            std::vector<cfloat> col(n + segments * gap, cfloat{7.0f, 7.0f});
            orbelix::window_product(a.data(), w.data(), n, segments, gap, col.data());
            int bad = 0, touched = 0;
            for (int t = 0; t < n; ++t)
                bad += std::memcmp(&col[t + gap * (t / seg)], &plain[t], sizeof(cfloat)) != 0;
            for (int s = 0; s < segments; ++s)
                for (int g = 0; g < gap; ++g) touched += col[(s + 1) * seg + s * gap + g].re != 7.0f;
            EXPECT_EQ(bad, 0) << "n = " << n << ", segments " << segments;
            EXPECT_EQ(touched, 0) << "n = " << n << ", segments " << segments;
        }
    }
}

TEST(CentredWindowProduct, EveryPathGivesTheScalarProductsBitForBit) {
    // out[m] = (a[m] c[m]) (phase w[|m-k|]), each product re = ac - bd,
    // im = ad + bc; k below, inside and at the ends of the run.
    for (auto [count, k] : {std::pair{1, 0}, {1, 1}, {2, 1}, {7, 3}, {9, 0}, {9, 9}, {33, 5},
                            {64, 17}, {1025, 512}, {1025, 1100}, {2050, 1}}) {
        std::mt19937 gen(count + 31 * k);
        std::vector<cfloat> a(count), c(count);
        for (auto &z : a) z = {part(gen), part(gen)};
        for (auto &z : c) z = {part(gen), part(gen)};
        const int reach = std::max(k, count - 1 - k) + 1;
        std::vector<float> w(reach);
        for (auto &v : w) v = gen() % 8 == 0 ? 0.0f : std::uniform_real_distribution<float>(0, 1)(gen);
        const cfloat phase = {part(gen), part(gen)};
        const auto mul = [](cfloat x, cfloat y) {
            return cfloat{x.re * y.re - x.im * y.im, x.re * y.im + x.im * y.re};
        };
        std::vector<cfloat> want(count);
        for (int m = 0; m < count; ++m) {
            const float g = w[std::abs(m - k)];
            want[m] = mul(mul(a[m], c[m]), cfloat{phase.re * g, phase.im * g});
        }
        for (Isa isa : orbelix::testing::supported_paths()) {
            const orbelix::testing::ForcedPath path(isa);
            ASSERT_TRUE(path.forced());
            std::vector<cfloat> out(count + 1, cfloat{7.0f, 7.0f});
            orbelix::centred_window_product(a.data(), c.data(), w.data(), k, count, phase, out.data());
            int bad = 0;
            for (int m = 0; m < count; ++m) {
                // NaN payloads aside, the same value with the same sign.
                const bool nan = std::isnan(want[m].re) || std::isnan(want[m].im);
                bad += nan ? !(std::isnan(out[m].re) || std::isnan(out[m].im))
                           : std::memcmp(&out[m], &want[m], sizeof(cfloat)) != 0;
            }
            EXPECT_EQ(bad, 0) << "count " << count << ", k " << k << ", path " << static_cast<int>(isa);
            EXPECT_EQ(out[count].re, 7.0f) << "wrote past the run";
        }
    }
}

TEST(WindowProduct, KnownZerosGiveTheSameBitsWithoutReadingTheWindowThere) {
    // A voice's shifted analytic spectrum: +0 above n/2, so +0 at offsets
    // n/2+1-k .. n-1-k. The window beyond max(k, n/2-k) is never read there
    // (NaN in this copy would show).
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (auto [n, segments] : {std::pair{9, 1}, {16, 1}, {17, 1}, {1000, 4}, {4096, 16}, {6144, 8}}) {
        std::mt19937 gen(n);
        std::vector<cfloat> spectrum(2 * n, cfloat{0.0f, 0.0f});
        for (int m = 0; m <= n / 2; ++m) spectrum[m] = spectrum[m + n] = {part(gen), part(gen)};
        std::vector<float> w(n / 2 + 1);
        for (auto &v : w) v = gen() % 8 == 0 ? 0.0f : std::uniform_real_distribution<float>(0, 1)(gen);
        const int gap = segments > 1 ? 8 : 0, seg = n / segments;
        for (int k : {1, 2, n / 4, n / 2 - 1, n / 2}) {
            if (k < 1) continue;
            std::vector<float> short_w(w.begin(), w.begin() + std::max(k, n / 2 - k) + 1);
            short_w.resize(w.size(), nan);
            const orbelix::KnownZeros zeros{n / 2 + 1 - k, n - k};
            for (Isa isa : orbelix::testing::supported_paths()) {
                const orbelix::testing::ForcedPath path(isa);
                ASSERT_TRUE(path.forced());
                std::vector<cfloat> want(n + segments * gap), got(n + segments * gap, cfloat{7.0f, 7.0f});
                orbelix::window_product(spectrum.data() + k, w.data(), n, segments, gap, want.data());
                orbelix::window_product(spectrum.data() + k, short_w.data(), n, segments, gap, got.data(),
                                        zeros);
                int bad = 0;
                for (int t = 0; t < n; ++t) {
                    const std::ptrdiff_t at = t + gap * (t / seg);
                    bad += std::memcmp(&got[at], &want[at], sizeof(cfloat)) != 0;
                }
                EXPECT_EQ(bad, 0) << "n " << n << ", k " << k << ", path " << static_cast<int>(isa);

                // Whole runs of +0 left unwritten on request, and reported.
                if (segments == 1) continue;
                std::vector<cfloat> left(n + segments * gap, cfloat{7.0f, 7.0f});
                const unsigned unwritten = orbelix::window_product(
                    spectrum.data() + k, short_w.data(), n, segments, gap, left.data(),
                    {zeros.from, zeros.to, true});
                for (int s = 0; s < segments; ++s) {
                    const bool inside = zeros.from <= s * seg && (s + 1) * seg <= zeros.to;
                    EXPECT_EQ((unwritten >> s) & 1u, inside ? 1u : 0u) << "n " << n << ", k " << k;
                    for (int t = s * seg; t < (s + 1) * seg; ++t) {
                        const std::ptrdiff_t at = t + gap * s;
                        const cfloat expect = inside ? cfloat{7.0f, 7.0f} : want[at];
                        ASSERT_EQ(std::memcmp(&left[at], &expect, sizeof(cfloat)), 0)
                            << "n " << n << ", k " << k << ", t " << t;
                    }
                }
            }
        }
    }
}
