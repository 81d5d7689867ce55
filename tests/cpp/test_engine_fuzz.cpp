// The engine's argument checks: strides below 1 and tables of another
// length are refused before any data are touched, and a bounded fuzz of
// every transform routine with guard zones around each buffer finds no write
// outside what the arguments declare and no change at all on a refusal.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "fft/checks/checks.hpp"
#include "orbelix.h"

namespace {

using orbelix::fftpack::table_floats;

// A buffer of `len` floats (none when len < 1) between two guard zones of a
// fixed bit pattern, its body filled with random values.
class Guarded {
  public:
    static constexpr int kGuard = 64;
    static constexpr std::uint32_t kPattern = 0x7fc0beefu;  // a quiet NaN

    Guarded(long long len, std::mt19937 &rng) : len_(len > 0 ? len : 0) {
        store_.assign(static_cast<std::size_t>(len_ + 2 * kGuard), pattern());
        std::uniform_real_distribution<float> value(-1.0f, 1.0f);
        for (long long i = 0; i < len_; ++i) body()[i] = value(rng);
    }
    float *body() { return store_.data() + kGuard; }
    long long size() const { return len_; }
    bool guards_intact() const {
        for (int i = 0; i < kGuard; ++i)
            if (!same(store_[i], pattern()) || !same(store_[kGuard + len_ + i], pattern()))
                return false;
        return true;
    }
    std::vector<float> snapshot() const { return store_; }
    bool unchanged_since(const std::vector<float> &before) const {
        return std::memcmp(before.data(), store_.data(), store_.size() * sizeof(float)) == 0;
    }

  private:
    static float pattern() {
        float f;
        std::memcpy(&f, &kPattern, sizeof f);
        return f;
    }
    static bool same(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }
    long long len_;
    std::vector<float> store_;
};

std::string captured(const std::function<void()> &call) {
    testing::internal::CaptureStdout();
    call();
    return testing::internal::GetCapturedStdout();
}

std::string record(const char *name, int position) {
    char line[100];
    std::snprintf(line, sizeof line, " ** On entry to %s parameter number %3d had an illegal value\n",
                  name, position);
    return line;
}

// A table of length n (built when lensav allows), or noise.
void fill_table(int n, Guarded &wsave) {
    const int lensav = static_cast<int>(wsave.size());
    if (n >= 1 && lensav >= table_floats(n)) {
        int ier = -1;
        captured([&] { cfft1i(&n, wsave.body(), &lensav, &ier); });
        ASSERT_EQ(ier, 0);
    }
}

struct Case1 {
    int n, inc, lenc;
};

}  // namespace

// ---- strides below 1 --------------------------------------------------------

TEST(EngineStrides, SingleSequenceRefusesIncBelowOne) {
    std::mt19937 rng(1);
    for (const int inc : {-1, 0, INT_MIN}) {
        for (const bool fwd : {true, false}) {
            const int n = 8, lenc = 8, lensav = static_cast<int>(table_floats(n)), lenwrk = 2 * n;
            Guarded c(2 * lenc, rng), wsave(lensav, rng), work(lenwrk, rng);
            fill_table(n, wsave);
            const auto c_before = c.snapshot(), work_before = work.snapshot();
            int ier = -1;
            const std::string out = captured([&] {
                (fwd ? cfft1f : cfft1b)(&n, &inc, c.body(), &lenc, wsave.body(), &lensav,
                                        work.body(), &lenwrk, &ier);
            });
            EXPECT_EQ(ier, 11) << inc;
            EXPECT_EQ(out, record(fwd ? "CFFT1F" : "CFFT1B", 2));
            EXPECT_TRUE(c.unchanged_since(c_before));
            EXPECT_TRUE(work.unchanged_since(work_before));
        }
    }
}

TEST(EngineStrides, BatchRefusesNegativeIncAndNegativeJumpForSeveralSequences) {
    std::mt19937 rng(2);
    struct Bad {
        int lot, jump, inc, position, ier;
    };
    // lot 4, jump -4 once wrote nine elements before c.
    for (const Bad b : {Bad{4, -4, 1, 2, 11}, Bad{3, 5, -2, 4, 11}, Bad{0, 4, 1, 1, 10},
                        Bad{-3, 4, 1, 1, 10}}) {
        for (const bool fwd : {true, false}) {
            const int n = 4, lenc = 64, lensav = static_cast<int>(table_floats(n)), lenwrk = 64;
            Guarded c(2 * lenc, rng), wsave(lensav, rng), work(lenwrk, rng);
            fill_table(n, wsave);
            const auto c_before = c.snapshot(), work_before = work.snapshot();
            int ier = -1;
            const std::string out = captured([&] {
                (fwd ? cfftmf : cfftmb)(&b.lot, &b.jump, &n, &b.inc, c.body(), &lenc, wsave.body(),
                                        &lensav, work.body(), &lenwrk, &ier);
            });
            EXPECT_EQ(ier, b.ier) << b.lot << " " << b.jump << " " << b.inc;
            EXPECT_EQ(out, record(fwd ? "CFFTMF" : "CFFTMB", b.position));
            EXPECT_TRUE(c.unchanged_since(c_before));
            EXPECT_TRUE(work.unchanged_since(work_before));
        }
    }
}

// A zero INC or JUMP addresses some element twice: the layout check refuses
// it (ier 4), after the length checks and in their order. inc 0 once gave
// ier 0 and a transform of one element repeated.
TEST(EngineStrides, ZeroIncOrJumpIsAnInconsistentLayoutAfterTheLengthChecks) {
    std::mt19937 rng(5);
    struct Zero {
        int lot, jump, n, inc, lenc, ier;
        const char *tail;
    };
    const std::string layout = " parameters LOT, JUMP, N and INC are inconsistent\n";
    for (const Zero z : {Zero{2, 0, 4, 1, 64, 4, nullptr}, Zero{3, 5, 4, 0, 64, 4, nullptr},
                         Zero{1, 3, 1, 0, 64, 4, nullptr}, Zero{4, 0, 8, 0, 64, 4, nullptr},
                         Zero{2, 0, 8, 1, 7, 1, " parameter number   6 had an illegal value\n"}}) {
        for (const bool fwd : {true, false}) {
            const int lensav = static_cast<int>(table_floats(z.n)), lenwrk = 64;
            Guarded c(2 * z.lenc, rng), wsave(lensav, rng), work(lenwrk, rng);
            fill_table(z.n, wsave);
            const auto c_before = c.snapshot(), work_before = work.snapshot();
            int ier = -1;
            const std::string out = captured([&] {
                (fwd ? cfftmf : cfftmb)(&z.lot, &z.jump, &z.n, &z.inc, c.body(), &z.lenc,
                                        wsave.body(), &lensav, work.body(), &lenwrk, &ier);
            });
            EXPECT_EQ(ier, z.ier) << z.lot << " " << z.jump << " " << z.inc;
            EXPECT_EQ(out, std::string(" ** On entry to ") + (fwd ? "CFFTMF" : "CFFTMB") +
                               (z.tail != nullptr ? z.tail : layout.c_str()));
            EXPECT_TRUE(c.unchanged_since(c_before));
            EXPECT_TRUE(work.unchanged_since(work_before));
        }
    }
}

TEST(EngineStrides, OneSequenceIgnoresJumpExceptZeroWhichStaysInconsistent) {
    std::mt19937 rng(3);
    const int n = 4, lenc = 4, lensav = static_cast<int>(table_floats(n)), lenwrk = 8, one = 1;
    Guarded c(2 * lenc, rng), wsave(lensav, rng), work(lenwrk, rng);
    fill_table(n, wsave);
    int ier = -1;
    const int zero = 0;
    const std::string out = captured([&] {
        cfftmf(&one, &zero, &n, &one, c.body(), &lenc, wsave.body(), &lensav, work.body(), &lenwrk,
               &ier);
    });
    EXPECT_EQ(ier, 4);
    EXPECT_EQ(out, " ** On entry to CFFTMF parameters LOT, JUMP, N and INC are inconsistent\n");
    const int jump = 9;
    cfftmf(&one, &jump, &n, &one, c.body(), &lenc, wsave.body(), &lensav, work.body(), &lenwrk,
           &ier);
    EXPECT_EQ(ier, 0);
    EXPECT_TRUE(c.guards_intact());
}

// ---- tables ----------------------------------------------------------------

TEST(EngineTables, TableOfAnotherLengthOrNoneIsRefused) {
    std::mt19937 rng(4);
    const int n = 12, lenc = 12, lenwrk = 24, inc = 1, lot = 1, jump = 12;
    const int lensav = static_cast<int>(table_floats(16));
    for (const int built : {0, 16, 9, 6}) {
        Guarded c(2 * lenc, rng), wsave(lensav, rng), work(lenwrk, rng);
        if (built > 0) fill_table(built, wsave);
        const auto c_before = c.snapshot();
        int ier = -1;
        std::string out = captured([&] {
            cfft1f(&n, &inc, c.body(), &lenc, wsave.body(), &lensav, work.body(), &lenwrk, &ier);
        });
        EXPECT_EQ(ier, 13) << built;
        EXPECT_EQ(out, record("CFFT1F", 5));
        out = captured([&] {
            cfftmb(&lot, &jump, &n, &inc, c.body(), &lenc, wsave.body(), &lensav, work.body(),
                   &lenwrk, &ier);
        });
        EXPECT_EQ(ier, 13) << built;
        EXPECT_EQ(out, record("CFFTMB", 7));
        EXPECT_TRUE(c.unchanged_since(c_before));
    }
}

TEST(EngineTables, TwoDimensionalArrayBeyond32BitsIsRefusedUntouched) {
    std::mt19937 rng(5);
    const int l = 2, m = 4, ldim = INT_MAX / 2;  // l + ldim*(m-1) > INT_MAX
    const int lensav = static_cast<int>(table_floats(l) + table_floats(m)), lenwrk = 2 * l * m;
    Guarded c(64, rng), wsave(lensav, rng), work(lenwrk, rng);
    int ier = -1;
    captured([&] { cfft2i(&l, &m, wsave.body(), &lensav, &ier); });
    ASSERT_EQ(ier, 0);
    const auto c_before = c.snapshot();
    const std::string out = captured([&] {
        cfft2f(&ldim, &l, &m, c.body(), wsave.body(), &lensav, work.body(), &lenwrk, &ier);
    });
    EXPECT_EQ(ier, 20);
    EXPECT_EQ(out, record("CFFTMF", 6) + " ** Within CFFT2F input error returned by lower level routine\n");
    EXPECT_TRUE(c.unchanged_since(c_before));
}

// ---- fuzz ------------------------------------------------------------------

namespace {

// A declared length near the one a call needs: exact, a little short, a
// little long, or far off (negative included).
int near(long long need, std::mt19937 &rng) {
    std::uniform_int_distribution<int> pick(0, 9);
    const int k = pick(rng);
    long long v = need;
    if (k == 0) v = need - 1;
    else if (k == 1) v = need - 1 - pick(rng) * 3;
    else if (k == 2) v = need + pick(rng);
    else if (k == 3) v = static_cast<long long>(pick(rng)) - 5;
    if (v > 4096) v = 4096;
    return static_cast<int>(v);
}

// Whether an accepted call kept to its layout: every complex element of c
// that no (sequence, element) pair addresses still holds its bits.
bool gaps_untouched(const std::vector<float> &before, Guarded &c, long long lenc, int lot,
                    long long jump, int n, long long inc) {
    std::vector<char> used(static_cast<std::size_t>(lenc), 0);
    for (int s = 0; s < lot; ++s)
        for (int q = 0; q < n; ++q) used[static_cast<std::size_t>(s * jump + q * inc)] = 1;
    const float *now = c.body();
    const float *was = before.data() + Guarded::kGuard;
    for (long long e = 0; e < lenc; ++e)
        if (!used[e] && std::memcmp(now + 2 * e, was + 2 * e, 2 * sizeof(float)) != 0) return false;
    return true;
}

// The forward DFT of sequence s in double precision, scaled by 1/n.
bool matches_dft(const std::vector<float> &before, Guarded &c, int s, long long jump, int n,
                 long long inc, bool fwd) {
    const float *was = before.data() + Guarded::kGuard;
    const float *now = c.body();
    double err = 0.0, norm = 0.0;
    for (int k = 0; k < n; ++k) {
        std::complex<double> sum = 0.0;
        for (int q = 0; q < n; ++q) {
            const long long e = s * jump + q * inc;
            const double angle = (fwd ? -2.0 : 2.0) * M_PI * static_cast<double>(1LL * q * k % n) / n;
            sum += std::complex<double>(was[2 * e], was[2 * e + 1]) *
                   std::polar(1.0, angle);
        }
        if (fwd) sum /= n;
        const long long e = s * jump + k * inc;
        err += std::norm(std::complex<double>(now[2 * e], now[2 * e + 1]) - sum);
        norm += std::norm(sum);
    }
    return std::sqrt(err) <= 1e-5 * std::sqrt(norm) + 1e-6;
}

}  // namespace

TEST(EngineFuzz, NoAccessOutsideTheDeclaredLengthsAndNothingTouchedOnRefusal) {
    std::mt19937 rng(20261207);
    const int lengths[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                           18, 20, 21, 25, 27, 30, 32, 49, 60, 64, 77, 97, 120};
    std::uniform_int_distribution<int> pick_n(0, static_cast<int>(std::size(lengths)) - 1);
    std::uniform_int_distribution<int> pick_routine(0, 5), small(-2, 4), lots(-1, 6), coin(0, 3);
    int accepted = 0, refused = 0;
    for (int iter = 0; iter < 3000; ++iter) {
        const int routine = pick_routine(rng);
        const bool fwd = routine % 2 == 0;
        int ier = -1;
        std::string out;
        if (routine < 4) {
            const bool batch = routine >= 2;
            const int n = coin(rng) == 0 ? small(rng) : lengths[pick_n(rng)];
            const int inc = coin(rng) == 0 ? small(rng) : 1 + coin(rng);
            const int lot = batch ? lots(rng) : 1;
            int jump = 1;
            if (batch) {
                const int kind = coin(rng);
                jump = kind == 0 ? small(rng) : kind == 1 ? n * inc : kind == 2 ? 1 : n * inc + small(rng);
            }
            const long long need_c = (lot - 1LL) * jump + (n - 1LL) * inc + 1;
            const int lenc = near(need_c, rng);
            const int lensav = near(n >= 1 ? table_floats(n) : 8, rng);
            const int lenwrk = near(2LL * (lot > 0 ? lot : 1) * (n > 0 ? n : 1), rng);
            Guarded c(2LL * lenc, rng), wsave(lensav, rng), work(lenwrk, rng);
            if (coin(rng) != 0) fill_table(n, wsave);
            const auto c_before = c.snapshot(), wsave_before = wsave.snapshot();
            out = captured([&] {
                if (batch)
                    (fwd ? cfftmf : cfftmb)(&lot, &jump, &n, &inc, c.body(), &lenc, wsave.body(),
                                            &lensav, work.body(), &lenwrk, &ier);
                else
                    (fwd ? cfft1f : cfft1b)(&n, &inc, c.body(), &lenc, wsave.body(), &lensav,
                                            work.body(), &lenwrk, &ier);
            });
            ASSERT_TRUE(c.guards_intact()) << routine << " n=" << n << " lot=" << lot << " jump=" << jump << " inc=" << inc;
            ASSERT_TRUE(work.guards_intact()) << routine << " n=" << n;
            ASSERT_TRUE(wsave.unchanged_since(wsave_before));
            if (ier == 0) {
                ++accepted;
                ASSERT_TRUE(n >= 1 && inc >= 1 && lot >= 1 && (lot == 1 || jump >= 1));
                ASSERT_GE(lenc, need_c);
                ASSERT_TRUE(gaps_untouched(c_before, c, lenc, lot, jump, n, inc));
                ASSERT_TRUE(matches_dft(c_before, c, lot - 1, jump, n, inc, fwd))
                    << routine << " n=" << n << " lot=" << lot << " jump=" << jump << " inc=" << inc;
            } else {
                ++refused;
                ASSERT_TRUE(c.unchanged_since(c_before));
            }
        } else {
            const int l = coin(rng) == 0 ? small(rng) : lengths[pick_n(rng) % 12];
            const int m = coin(rng) == 0 ? small(rng) : lengths[pick_n(rng) % 12];
            const int ldim = coin(rng) == 0 ? l + small(rng) : l + coin(rng);
            const long long span = l >= 1 && m >= 1 && ldim >= l ? l + (m - 1LL) * ldim : 16;
            const int lensav = near(l >= 1 && m >= 1 ? table_floats(l) + table_floats(m) : 8, rng);
            const int lenwrk = near(2LL * (l > 0 ? l : 1) * (m > 0 ? m : 1), rng);
            Guarded c(2 * span, rng), wsave(lensav, rng), work(lenwrk, rng);
            if (coin(rng) != 0 && l >= 1 && m >= 1 && lensav >= table_floats(l) + table_floats(m)) {
                int init = -1;
                captured([&] { cfft2i(&l, &m, wsave.body(), &lensav, &init); });
                ASSERT_EQ(init, 0);
            }
            const auto c_before = c.snapshot(), wsave_before = wsave.snapshot();
            out = captured([&] {
                (fwd ? cfft2f : cfft2b)(&ldim, &l, &m, c.body(), wsave.body(), &lensav,
                                        work.body(), &lenwrk, &ier);
            });
            ASSERT_TRUE(c.guards_intact()) << "2-D l=" << l << " m=" << m << " ldim=" << ldim;
            ASSERT_TRUE(work.guards_intact());
            ASSERT_TRUE(wsave.unchanged_since(wsave_before));
            if (ier == 0) {
                ++accepted;
                ASSERT_TRUE(l >= 1 && m >= 1 && ldim >= l);
                // Rows l .. ldim-1 of each column lie outside the transform.
                for (long long j = 0; j < m; ++j)
                    for (long long i = l; i < ldim && j * ldim + i < span; ++i)
                        ASSERT_EQ(std::memcmp(c.body() + 2 * (j * ldim + i),
                                              c_before.data() + Guarded::kGuard + 2 * (j * ldim + i),
                                              2 * sizeof(float)),
                                  0);
            } else {
                ++refused;
                // An inner refusal comes after the outer checks: still nothing written.
                ASSERT_TRUE(c.unchanged_since(c_before));
            }
        }
        // Every refusal writes its record(s), one line each; a success writes nothing.
        if (ier == 0) {
            ASSERT_EQ(out, "");
        } else {
            ASSERT_FALSE(out.empty()) << "ier " << ier;
            ASSERT_EQ(out.rfind(" ** ", 0), 0u) << out;
        }
    }
    // Both outcomes are well represented, so the fuzz exercises the passes too.
    EXPECT_GT(accepted, 500);
    EXPECT_GT(refused, 500);
}
