// The per-sample loops of the analysis layer on every SIMD path: each gives
// the bits of one scalar evaluation of its formula, for every length (the
// vector bodies and their tails), any alignment, and values at the edges of
// the float range (zeros, subnormals, squares beyond it, inf, NaN).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "analysis/signal/half_window.hpp"
#include "analysis/signal/rows.hpp"
#include "core/complex.hpp"
#include "st1/gauss_window.hpp"
#include "test_support.hpp"

namespace {

using orbelix::cfloat;
using orbelix::testing::ForcedPath;
using orbelix::testing::supported_paths;
namespace rows = orbelix::tools::rows;
namespace simd = orbelix::simd;

// Random values with the awkward ones mixed in.
std::vector<cfloat> awkward_values(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-2.0f, 2.0f);
    const float specials[] = {0.0f, -0.0f, 1e-45f, -3e-39f, 1e-20f, 3e19f, -2e30f, 3.4e38f,
                              std::numeric_limits<float>::infinity(),
                              std::numeric_limits<float>::quiet_NaN()};
    std::vector<cfloat> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        v[i] = {u(rng), u(rng)};
        if (rng() % 5 == 0) v[i].re = specials[rng() % 10];
        if (rng() % 5 == 0) v[i].im = specials[rng() % 10];
        if (rng() % 11 == 0) v[i] = {0.0f, 0.0f};
    }
    return v;
}

// Bit for bit, except that any two NaNs match: which operand's NaN a sum of
// two NaNs keeps follows the compiler's order of the operands (it differs
// between the optimised and the sanitised builds), not the kernels'.
template <class T>
bool same_bits(const std::vector<T> &a, const std::vector<T> &b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!(std::isnan(a[i]) && std::isnan(b[i])) && std::memcmp(&a[i], &b[i], sizeof(T)) != 0) return false;
    return true;
}

// Lengths through several vector bodies and every tail, at odd offsets.
const int kLengths[] = {0, 1, 2, 3, 5, 7, 8, 9, 15, 16, 17, 31, 33, 64, 67};
const int kOffsets[] = {0, 1, 3};

TEST(ToolsRows, PowerAndMagnitudeAreTheScalarFormulas) {
    for (simd::Isa isa : supported_paths()) {
        for (int n : kLengths) {
            for (int off : kOffsets) {
                const std::vector<cfloat> v = awkward_values(n + off, n * 7 + off);
                std::vector<float> power(n), magnitude(n), want_power(n), want_magnitude(n);
                rows::power(isa, v.data() + off, n, power.data());
                rows::magnitude(isa, v.data() + off, n, magnitude.data());
                for (int t = 0; t < n; ++t) {
                    const cfloat z = v[off + t];
                    want_power[t] = z.re * z.re + z.im * z.im;
                    const double re = z.re, im = z.im;
                    want_magnitude[t] = static_cast<float>(std::sqrt(re * re + im * im));
                }
                ASSERT_TRUE(same_bits(power, want_power)) << simd::name(isa) << " n=" << n;
                ASSERT_TRUE(same_bits(magnitude, want_magnitude)) << simd::name(isa) << " n=" << n;
            }
        }
    }
}

// Three epochs summed, then the means: the double sums of the scalar loop.
TEST(ToolsRows, EpochSumsAndMeansAreTheScalarFormulas) {
    for (simd::Isa isa : supported_paths()) {
        for (int n : kLengths) {
            for (int off : kOffsets) {
                std::vector<double> p(n), re(n), im(n), wp(n), wre(n), wim(n);
                for (int e = 0; e < 3; ++e) {
                    const std::vector<cfloat> v = awkward_values(n + off, 100 * e + n + off);
                    rows::epoch_sums(isa, e == 0, v.data() + off, n, p.data(), re.data(), im.data());
                    for (int t = 0; t < n; ++t) {
                        const double a = v[off + t].re, b = v[off + t].im;
                        const double q = a * a + b * b;
                        const double inv = 1.0 / std::sqrt(q + static_cast<double>(q == 0.0));
                        wp[t] = e == 0 ? q : wp[t] + q;
                        wre[t] = e == 0 ? a * inv : wre[t] + a * inv;
                        wim[t] = e == 0 ? b * inv : wim[t] + b * inv;
                    }
                }
                ASSERT_TRUE(same_bits(p, wp)) << simd::name(isa) << " n=" << n;
                ASSERT_TRUE(same_bits(re, wre)) << simd::name(isa) << " n=" << n;
                ASSERT_TRUE(same_bits(im, wim)) << simd::name(isa) << " n=" << n;
                std::vector<float> pw(n), coh(n), want_pw(n), want_coh(n);
                rows::epoch_means(isa, p.data(), re.data(), im.data(), n, 3, pw.data(), coh.data());
                for (int t = 0; t < n; ++t) {
                    want_pw[t] = static_cast<float>(wp[t] / 3.0);
                    want_coh[t] = static_cast<float>(std::sqrt(wre[t] * wre[t] + wim[t] * wim[t]) / 3.0);
                }
                ASSERT_TRUE(same_bits(pw, want_pw)) << simd::name(isa) << " n=" << n;
                ASSERT_TRUE(same_bits(coh, want_coh)) << simd::name(isa) << " n=" << n;
            }
        }
    }
}

// S/|S| in single precision: the scalar float formula added to the double
// sums where every |S|^2 of the row is a float between 2^-100 and 2^126 (or
// S is 0); any other value leaves the row to the double formulas, untouched.
TEST(ToolsRows, SinglePrecisionUnitsOnlyWhereTheRowFits) {
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> u(-3.0f, 3.0f);
    for (simd::Isa isa : supported_paths()) {
        for (int n : kLengths) {
            for (int spoil = -1; spoil < 4; ++spoil) {
                std::vector<cfloat> v(n + 1);
                for (auto &z : v) z = {u(rng), u(rng)};
                if (n > 2) v[1 + n / 2] = {0.0f, -0.0f};  // fits: no coherence
                const cfloat spoilers[] = {{1e-31f, 0.0f}, {0.0f, 1e-40f}, {1e20f, 1.0f},
                                           {std::numeric_limits<float>::infinity(), 0.0f}};
                if (spoil >= 0 && n > 0) v[1 + (spoil * 5) % n] = spoilers[spoil];
                const bool fits = spoil < 0 || n == 0;
                std::vector<double> p(n, 7.0), re(n, 7.0), im(n, 7.0);
                std::vector<double> wp(n, 7.0), wre(n, 7.0), wim(n, 7.0);
                const bool done = rows::unit_sums(isa, false, v.data() + 1, n, p.data(), re.data(),
                                                  im.data());
                ASSERT_EQ(done, fits) << simd::name(isa) << " n=" << n << " spoil=" << spoil;
                if (fits) {
                    for (int t = 0; t < n; ++t) {
                        const cfloat z = v[1 + t];
                        const float pf = z.re * z.re + z.im * z.im;
                        const float inv = 1.0f / std::sqrt(pf + static_cast<float>(pf == 0.0f));
                        wp[t] += static_cast<double>(z.re) * z.re + static_cast<double>(z.im) * z.im;
                        wre[t] += static_cast<double>(z.re * inv);
                        wim[t] += static_cast<double>(z.im * inv);
                    }
                }
                ASSERT_TRUE(same_bits(p, wp)) << simd::name(isa) << " n=" << n;
                ASSERT_TRUE(same_bits(re, wre)) << simd::name(isa) << " n=" << n;
                ASSERT_TRUE(same_bits(im, wim)) << simd::name(isa) << " n=" << n;
                // Each unit within 2 float ulps of the double one.
                if (fits)
                    for (int t = 0; t < n; ++t) {
                        const double a = v[1 + t].re, b = v[1 + t].im, q = a * a + b * b;
                        if (q == 0.0) continue;
                        ASSERT_NEAR(re[t] - 7.0, a / std::sqrt(q), 2.4e-7);
                        ASSERT_NEAR(im[t] - 7.0, b / std::sqrt(q), 2.4e-7);
                    }
            }
        }
    }
}

TEST(ToolsRows, SingleEpochFlagsExactlyTheNonFinitePowers) {
    for (simd::Isa isa : supported_paths()) {
        for (int n : kLengths) {
            for (bool finite : {true, false}) {
                std::vector<cfloat> v = awkward_values(n, 3 * n + finite);
                bool any = false;
                for (cfloat &z : v) {
                    if (finite && !(std::isfinite(z.re) && std::isfinite(z.im))) z = {1e-30f, -0.0f};
                    const double p = static_cast<double>(z.re) * z.re + static_cast<double>(z.im) * z.im;
                    const float pf = static_cast<float>(p);
                    any |= pf - pf != 0.0f;
                }
                std::vector<float> pw(n), coh(n), want_pw(n), want_coh(n);
                const bool flagged = rows::single_epoch(isa, v.data(), n, pw.data(), coh.data());
                for (int t = 0; t < n; ++t) {
                    const double re = v[t].re, im = v[t].im;
                    const double p = re * re + im * im;
                    want_pw[t] = static_cast<float>(p);
                    want_coh[t] = p != 0.0 ? 1.0f : 0.0f;
                }
                ASSERT_EQ(flagged, any) << simd::name(isa) << " n=" << n;
                ASSERT_TRUE(same_bits(pw, want_pw)) << simd::name(isa) << " n=" << n;
                ASSERT_TRUE(same_bits(coh, want_coh)) << simd::name(isa) << " n=" << n;
            }
        }
    }
    // A power beyond the float range (|S| above 1.8e19) is inf, yet finite
    // in double: flagged, so that the general sums decide its coherence.
    const cfloat big[] = {{3e19f, 0.0f}};
    float pw, coh;
    EXPECT_TRUE(rows::single_epoch(big, 1, &pw, &coh));
}

TEST(ToolsRows, FoldAddsTheWindowedRunForwardsAndBackwards) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (simd::Isa isa : supported_paths()) {
        for (int run : kLengths) {
            for (bool backward : {false, true}) {
                std::vector<cfloat> in(run + 4), out(run + 4), want;
                std::vector<float> w(run + 8);
                for (auto &z : in) z = {u(rng), u(rng)};
                for (auto &z : out) z = {u(rng), u(rng)};
                for (auto &x : w) x = u(rng);
                want = out;
                // Backwards the window is read from w[run+4] down.
                const float *base = backward ? w.data() + run + 4 : w.data() + 2;
                rows::fold(isa, backward, out.data() + 1, in.data() + 3, base, run);
                for (int j = 0; j < run; ++j) {
                    const float wj = backward ? base[-j] : base[j];
                    want[1 + j].re += in[3 + j].re * wj;
                    want[1 + j].im += in[3 + j].im * wj;
                }
                ASSERT_EQ(std::memcmp(out.data(), want.data(), out.size() * sizeof(cfloat)), 0)
                    << simd::name(isa) << " run=" << run << " backward=" << backward;
            }
        }
    }
}

TEST(ToolsRows, WindowProductIsTheScalarComplexTimesReal) {
    std::mt19937 rng(6);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (simd::Isa isa : supported_paths()) {
        for (int run : kLengths) {
            for (bool backward : {false, true}) {
                const std::vector<cfloat> in = awkward_values(run + 3, run + 17 * backward);
                std::vector<float> w(run + 8);
                for (auto &x : w) x = rng() % 4 == 0 ? (rng() % 2 ? 0.0f : -0.0f) : u(rng);
                std::vector<cfloat> out(run + 2, {5.0f, 5.0f}), want = out;
                const float *base = backward ? w.data() + run + 4 : w.data() + 2;
                rows::window_product(isa, backward, out.data() + 1, in.data() + 3 - 3 * backward,
                                     base, run);
                for (int j = 0; j < run; ++j)
                    want[1 + j] = orbelix::times_real(in[3 - 3 * backward + j],
                                                      backward ? base[-j] : base[j]);
                ASSERT_EQ(std::memcmp(out.data(), want.data(), out.size() * sizeof(cfloat)), 0)
                    << simd::name(isa) << " run=" << run << " backward=" << backward;
            }
        }
    }
}

// Across the offsets whose squares leave 32 bits, on every path: the
// Gaussian of the fast S-transform up to its first zero.
TEST(ToolsRows, LongWindowsAreTheFastTransformsGaussian) {
    for (simd::Isa isa : supported_paths()) {
        const ForcedPath path(isa);
        for (int k : {21000, 30001, 52000}) {
            const float c = orbelix::kWindowConstant;
            const int limit = 140000;
            std::vector<float> w(limit), full(limit);
            const int len = orbelix::tools::trimmed_half_window(k, c, limit, w.data());
            orbelix::gauss_half_window(k, c, limit, full.data());
            ASSERT_GT(len, 46341) << k;
            ASSERT_EQ(std::memcmp(w.data(), full.data(), len * sizeof(float)), 0)
                << simd::name(isa) << " k=" << k;
            if (len < limit) EXPECT_EQ(full[len], 0.0f);
            else EXPECT_NE(full[limit - 1], 0.0f);
        }
    }
}

TEST(ToolsRows, WindowQuotientsAreHeldAtTheExponentialsFloor) {
    for (simd::Isa isa : supported_paths()) {
        for (long long m0 : {0LL, 46339LL, 1LL << 20}) {
            for (int len : kLengths) {
                std::vector<float> q(len), want(len);
                const float c = 19.73921f, kk = 9e6f;
                rows::window_quotients(isa, c, kk, m0, len, q.data());
                for (int i = 0; i < len; ++i) {
                    const double m = static_cast<double>(m0 + i);
                    const float v = -((c * static_cast<float>(m * m)) / kk);
                    want[i] = v < -128.0f ? -128.0f : v;
                }
                ASSERT_TRUE(same_bits(q, want)) << simd::name(isa) << " m0=" << m0;
            }
        }
    }
}

}  // namespace
