// The fused chain (two passes in one sweep where fuse_plan allows) gives bit
// for bit the numbers of the plain chain of one sweep per pass, on every
// SIMD path the machine has: single sequences through the pass drivers and
// the entry routines, and batches, forward and backward, for runs of 4s
// with and without a 2, 3s and 5s behind them, and every small length.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "test_support.hpp"
#include "fft/checks/checks.hpp"
#include "fft/kernels/fused_pass.hpp"
#include "fft/kernels/passes.hpp"
#include "orbelix.h"
#include "core/simd/isa.hpp"

using namespace orbelix;
using namespace orbelix::testing;
using orbelix::simd::Isa;

namespace {

// Runs f() on the given path and restores the path in use before.
template <class F>
void on_path(Isa isa, F &&f) {
    const ForcedPath path(isa);
    ASSERT_TRUE(path.forced());
    f();
}

std::vector<float> table(int n) {
    int lensav = int(fftpack::table_floats(n)), ier = -1;
    std::vector<float> w(lensav);
    cfft1i(&n, w.data(), &lensav, &ier);
    EXPECT_EQ(ier, 0);
    return w;
}

// Random values with every third one set to +0 or -0 (odd seeds), or -0
// everywhere but a few impulses (even seeds): zeros whose sign a reordered
// sum or a twiddle of 1 + 0i where the passes have none would change.
// Seed 3: random values behind an infinite first one, which such a twiddle
// turns into NaN (0 * inf).
std::vector<cfloat> signal(std::size_t count, unsigned seed) {
    if (seed == 3) {
        auto x = random_signal(count, seed);
        x[0] = {INFINITY, 0.0f};
        return x;
    }
    if (seed % 2 == 0) {
        std::vector<cfloat> x(count, cfloat{-0.0f, -0.0f});
        for (std::size_t i = 1; i < count; i += 37) x[i] = {1.0f, -0.5f};
        return x;
    }
    auto x = random_signal(count, seed);
    for (std::size_t i = 0; i < count; i += 3) x[i] = {i % 2 ? -0.0f : 0.0f, i % 4 ? 0.0f : -0.0f};
    return x;
}

bool same_bytes(const std::vector<cfloat> &a, const std::vector<cfloat> &b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(cfloat)) == 0;
}

// Bit for bit, except that a NaN may differ in its sign (x + (-y) and x - y
// give NaNs of opposite sign from a NaN y; the scalar and the vector
// twiddles of the engine differ that way).
bool same_bits_or_nan(const std::vector<cfloat> &a, const std::vector<cfloat> &b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        for (auto [x, y] : {std::pair{a[i].re, b[i].re}, std::pair{a[i].im, b[i].im}})
            if (!(std::isnan(x) && std::isnan(y)) && std::memcmp(&x, &y, sizeof x) != 0)
                return false;
    return true;
}

// One contiguous sequence through the pass driver, fused or plain.
std::vector<cfloat> one(int n, bool fwd, bool fuse, const std::vector<float> &w,
                        unsigned seed) {
    auto c = signal(n, seed);
    std::vector<cfloat> work(n);
    if (fwd)
        fftpack::drive<true, false>(1, n, fftpack::Contiguous{c.data()},
                                    fftpack::Contiguous{work.data()}, w.data(), fuse);
    else
        fftpack::drive<false, false>(1, n, fftpack::Contiguous{c.data()},
                                     fftpack::Contiguous{work.data()}, w.data(), fuse);
    return c;
}

// Runs of 4s with and without a 2, then 3s and 5s, every length up to 64
// (a pair that is the whole transform, and lengths too short to fuse), the
// first pairs 4 x 2, 4 x 3, 2 x 3 and 3 x 3 with enough groups, lengths
// whose pairs are left apart (streams a multiple of 4 KB apart), and a
// general odd radix behind fused pairs.
std::vector<int> lengths() {
    std::vector<int> ns;
    for (int n = 2; n <= 64; ++n) ns.push_back(n);
    for (int p = 128; p <= 65536; p *= 2) {
        ns.push_back(p);
        ns.push_back(3 * p);
        ns.push_back(5 * p);
    }
    for (int n : {15 * 16, 15 * 64, 15 * 256, 15 * 1024, 9 * 16, 9 * 256, 25 * 64, 4 * 2 * 27,
                  4 * 2 * 81, 4 * 81, 4 * 243, 2 * 81, 2 * 243, 243, 729, 7 * 256, 11 * 1024,
                  98304})
        ns.push_back(n);
    return ns;
}

}  // namespace

TEST(FusedPasses, SingleSequenceMatchesPlainChainBitForBit) {
    for (Isa isa : supported_paths())
        on_path(isa, [&] {
            for (int n : lengths()) {
                const auto w = table(n);
                for (bool fwd : {true, false})
                    for (unsigned seed : {1u, 2u, 3u})
                        EXPECT_TRUE(same_bits_or_nan(one(n, fwd, true, w, seed),
                                                     one(n, fwd, false, w, seed)))
                            << simd::name(isa) << " n " << n << " fwd " << fwd << " signal "
                            << seed;
            }
        });
}

TEST(FusedPasses, EntryRoutinesMatchPlainChainBitForBit) {
    // cfft1f/b with unit stride, and cfftmf/b on contiguous columns, which
    // run one sequence at a time: the fused chain against the plain chain
    // applied sequence by sequence.
    for (Isa isa : supported_paths())
        on_path(isa, [&] {
            for (int n : {16, 48, 512, 1024, 2048, 3072, 4096, 6144}) {
                const auto w = table(n);
                int lensav = int(w.size()), inc = 1, lenc = n, lenwrk = 2 * n, ier = -1;
                for (bool fwd : {true, false}) {
                    auto c = signal(n, 501);
                    std::vector<float> work(lenwrk);
                    (fwd ? cfft1f : cfft1b)(&n, &inc, &c[0].re, &lenc, w.data(), &lensav,
                                            work.data(), &lenwrk, &ier);
                    EXPECT_EQ(ier, 0);
                    EXPECT_TRUE(same_bytes(c, one(n, fwd, false, w, 501)))
                        << simd::name(isa) << " cfft1 n " << n << " fwd " << fwd;

                    int lot = 3, jump = n + 5, lenm = (lot - 1) * jump + n, lenwm = 2 * lot * n;
                    auto m = signal(lenm, 2);
                    const auto before = m;
                    std::vector<float> workm(lenwm);
                    (fwd ? cfftmf : cfftmb)(&lot, &jump, &n, &inc, &m[0].re, &lenm, w.data(),
                                            &lensav, workm.data(), &lenwm, &ier);
                    EXPECT_EQ(ier, 0);
                    for (int s = 0; s < lot; ++s) {
                        std::vector<cfloat> want(before.begin() + s * jump,
                                                 before.begin() + s * jump + n);
                        std::vector<cfloat> scratch(n);
                        if (fwd)
                            fftpack::drive<true, false>(1, n, fftpack::Contiguous{want.data()},
                                                        fftpack::Contiguous{scratch.data()},
                                                        w.data(), false);
                        else
                            fftpack::drive<false, false>(1, n, fftpack::Contiguous{want.data()},
                                                         fftpack::Contiguous{scratch.data()},
                                                         w.data(), false);
                        const std::vector<cfloat> got(m.begin() + s * jump,
                                                      m.begin() + s * jump + n);
                        EXPECT_TRUE(same_bytes(got, want)) << simd::name(isa) << " cfftm n " << n
                                                           << " sequence " << s << " fwd " << fwd;
                    }
                }
            }
        });
}

TEST(FusedPasses, BatchesMatchPlainChainBitForBit) {
    // Interleaved batches (lot not a multiple of the register width) and
    // strided ones.
    for (Isa isa : supported_paths())
        on_path(isa, [&] {
            for (int n : {16, 64, 96, 512, 1024, 2048, 4096}) {
                const auto w = table(n);
                const int lot = 7;
                for (bool fwd : {true, false})
                    for (bool interleaved : {true, false}) {
                        std::vector<cfloat> out[2];
                        for (bool fuse : {true, false}) {
                            auto c = signal(std::size_t(lot) * n, 700 + n);
                            std::vector<cfloat> work(std::size_t(lot) * n);
                            auto run = [&](auto layout_c, auto layout_w) {
                                if (fwd)
                                    fftpack::drive<true, true>(lot, n, layout_c, layout_w,
                                                               w.data(), fuse);
                                else
                                    fftpack::drive<false, true>(lot, n, layout_c, layout_w,
                                                                w.data(), fuse);
                            };
                            if (interleaved)
                                run(fftpack::Interleaved{c.data(), lot},
                                    fftpack::Interleaved{work.data(), lot});
                            else
                                run(fftpack::Seqs{c.data(), n, 1}, fftpack::Seqs{work.data(), 1, lot});
                            out[fuse] = c;
                        }
                        EXPECT_TRUE(same_bytes(out[true], out[false]))
                            << simd::name(isa) << " n " << n << " fwd " << fwd << " interleaved "
                            << interleaved;
                    }
            }
        });
}

TEST(FusedPasses, PlanFusesPairsWhereItShould) {
    // Seen from the portable path, which fuses pairs of fewer than 16
    // values: the lengths above do run fused first and last pairs, and the
    // pairs whose streams fall into one cache set stay apart.
    auto plan = [](int n) {
        const auto w = table(n);
        return fftpack::fuse_plan(n, int(w[2 * n]), w.data() + 2 * n + 1);
    };
    for (int n : {4 * 2 * 27, 4 * 81, 2 * 81})  // first 4 x 2, 4 x 3, 2 x 3; last 3 x 3
        EXPECT_TRUE(plan(n).first && plan(n).last) << "n " << n;
    EXPECT_TRUE(plan(2048).last);          // 4 x 2 last, in place after four passes
    EXPECT_TRUE(plan(3072).last);          // 4 x 3, its 12 streams 2 KB apart
    EXPECT_TRUE(plan(12).last);            // the whole transform
    EXPECT_FALSE(plan(1024).first || plan(1024).last);  // 4 x 4 only on the wider paths
    EXPECT_FALSE(plan(49152).last);        // 4 x 3, its 12 streams 32 KB apart
    // Up to n = 2048 both pairs run even where the last one then reads
    // from work (an odd number of sweeps before it): 2 x 3 then 3 x 3, and
    // 3 x 3 twice.
    for (int n : {2 * 243, 729})
        EXPECT_TRUE(plan(n).first && plan(n).last) << "n " << n;
    // Beyond that a fused last pair runs in place, with the data in c (an
    // even number of sweeps before it).
    for (int n : lengths()) {
        const auto w = table(n);
        const int nf = int(w[2 * n]);
        const auto p = plan(n);
        if (p.last && n > 2048) {
            EXPECT_EQ((nf - 2 - (p.first ? 1 : 0)) % 2, 0) << "n " << n;
        }
    }
}
