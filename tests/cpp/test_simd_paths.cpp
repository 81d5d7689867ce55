// Every SIMD path the machine has gives bit for bit the numbers of the
// portable (SSE2) path: the 1-D, multiple and 2-D transforms, forward and
// backward, over lengths that exercise each radix, the first pass with and
// without a remainder of groups, the general odd radix, batches whose size
// is not a multiple of the register width, and strided layouts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "test_support.hpp"
#include "fft/checks/checks.hpp"
#include "orbelix.h"
#include "core/simd/isa.hpp"

using namespace orbelix;
using namespace orbelix::testing;
using orbelix::simd::Isa;

namespace {

// Runs f() on the given path and restores the path in use before.
template <class F>
auto on_path(Isa isa, F &&f) {
    const ForcedPath path(isa);
    EXPECT_TRUE(path.forced());
    EXPECT_EQ(simd::active(), isa);
    return f();
}

std::vector<Isa> wide_paths() {
    std::vector<Isa> paths = supported_paths();
    paths.erase(paths.begin());  // SSE2, the portable path they are compared with
    return paths;
}

bool same_bytes(const std::vector<float> &a, const std::vector<float> &b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

std::vector<float> table1(int n) {
    int lensav = int(fftpack::table_floats(n)), ier = -1;
    std::vector<float> w(lensav);
    cfft1i(&n, w.data(), &lensav, &ier);
    EXPECT_EQ(ier, 0);
    return w;
}

std::vector<float> random_floats(std::size_t count, unsigned seed) {
    const auto x = random_signal((count + 1) / 2, seed);
    std::vector<float> out(count);
    std::memcpy(out.data(), x.data(), count * sizeof(float));
    return out;
}

// The whole array c after cfft1f or cfft1b, including the elements between
// strided values, which must stay as they were.
std::vector<float> run1(int n, int inc, bool fwd) {
    const auto w = table1(n);
    int lensav = int(w.size()), lenc = inc * (n - 1) + 1, lenwrk = 2 * n, ier = -1;
    auto c = random_floats(2 * std::size_t(lenc), 1000 + n);
    std::vector<float> work(lenwrk);
    (fwd ? cfft1f : cfft1b)(&n, &inc, c.data(), &lenc, w.data(), &lensav, work.data(), &lenwrk,
                            &ier);
    EXPECT_EQ(ier, 0);
    return c;
}

std::vector<float> runm(int lot, int jump, int n, int inc, bool fwd) {
    const auto w = table1(n);
    int lensav = int(w.size()), lenwrk = 2 * lot * n, ier = -1;
    int lenc = (lot - 1) * jump + inc * (n - 1) + 1;
    auto c = random_floats(2 * std::size_t(lenc), 2000 + n + lot);
    std::vector<float> work(lenwrk);
    (fwd ? cfftmf : cfftmb)(&lot, &jump, &n, &inc, c.data(), &lenc, w.data(), &lensav,
                            work.data(), &lenwrk, &ier);
    EXPECT_EQ(ier, 0);
    return c;
}

std::vector<float> run2(int ldim, int l, int m, bool fwd) {
    int lensav = int(fftpack::table_floats(l) + fftpack::table_floats(m)), ier = -1;
    std::vector<float> w(lensav);
    cfft2i(&l, &m, w.data(), &lensav, &ier);
    EXPECT_EQ(ier, 0);
    int lenwrk = 2 * l * m;
    auto c = random_floats(2 * std::size_t(ldim) * m, 3000 + l + m);
    std::vector<float> work(lenwrk);
    (fwd ? cfft2f : cfft2b)(&ldim, &l, &m, c.data(), w.data(), &lensav, work.data(), &lenwrk,
                            &ier);
    EXPECT_EQ(ier, 0);
    return c;
}

// Lengths: every n up to 64, smooth lengths whose first pass leaves 0 .. 3
// groups over a register, the radix-2 last pass of 2 * 4^k, factors 7, 11
// and 13 beside the small radices, and primes.
std::vector<int> lengths() {
    std::vector<int> ns;
    for (int n = 1; n <= 64; ++n) ns.push_back(n);
    for (int n : {80, 96, 100, 128, 144, 162, 200, 243, 250, 256, 270, 320, 360, 375, 384, 500,
                  512, 625, 720, 1000, 1024, 1536, 2048, 2187, 3125, 4096, 6000, 8192, 16384,
                  65536, 98304, 7 * 64, 11 * 13 * 4, 13 * 2 * 5 * 3, 49 * 16, 121 * 8, 169 * 25,
                  101, 257, 1009, 4099, 2 * 4099})
        ns.push_back(n);
    return ns;
}

}  // namespace

TEST(SimdPaths, PortablePathIsAlwaysThere) {
    EXPECT_TRUE(simd::supported(Isa::sse2));
    EXPECT_STREQ(simd::name(Isa::avx2), "avx2");
    EXPECT_STREQ(simd::name(Isa::avx512), "avx512");
    if (wide_paths().empty()) GTEST_SKIP() << "this machine has no wide path to compare";
}

TEST(SimdPaths, SingleSequenceTransformsMatchBitForBit) {
    for (Isa isa : wide_paths())
        for (int n : lengths())
            for (int inc : {1, 3})
                for (bool fwd : {true, false}) {
                    const auto want = on_path(Isa::sse2, [&] { return run1(n, inc, fwd); });
                    const auto got = on_path(isa, [&] { return run1(n, inc, fwd); });
                    EXPECT_TRUE(same_bytes(got, want))
                        << simd::name(isa) << " n " << n << " inc " << inc << " fwd " << fwd;
                }
}

TEST(SimdPaths, MultipleTransformsMatchBitForBit) {
    // (lot, jump, inc) as functions of n: interleaved with and without a
    // gap, end to end, and strided both ways.
    for (Isa isa : wide_paths())
        for (int n : {2, 3, 4, 5, 7, 8, 12, 16, 25, 36, 49, 64, 100, 128, 243, 256, 1000, 1024,
                      1001, 101})
            for (int lot : {1, 2, 3, 4, 5, 7, 8, 9, 12, 16, 17, 33}) {
                const int layouts[][2] = {{1, lot}, {1, lot + 3}, {n, 1}, {2 * n + 1, 2}};
                for (const auto &lay : layouts)
                    for (bool fwd : {true, false}) {
                        const int jump = lay[0], inc = lay[1];
                        auto run = [&] { return runm(lot, jump, n, inc, fwd); };
                        EXPECT_TRUE(same_bytes(on_path(isa, run), on_path(Isa::sse2, run)))
                            << simd::name(isa) << " n " << n << " lot " << lot << " jump "
                            << jump << " inc " << inc << " fwd " << fwd;
                    }
            }
}

TEST(SimdPaths, TwoDimensionalTransformsMatchBitForBit) {
    const int shapes[][3] = {{16, 16, 16}, {19, 16, 32}, {17, 17, 24}, {64, 64, 48},
                             {7, 7, 11},   {130, 128, 96}, {256, 256, 256}, {30, 26, 100}};
    for (Isa isa : wide_paths())
        for (const auto &s : shapes)
            for (bool fwd : {true, false}) {
                auto run = [&] { return run2(s[0], s[1], s[2], fwd); };
                EXPECT_TRUE(same_bytes(on_path(isa, run), on_path(Isa::sse2, run)))
                    << simd::name(isa) << " ldim " << s[0] << " " << s[1] << " x " << s[2]
                    << " fwd " << fwd;
            }
}

TEST(SimdPaths, ForcingAnUnsupportedPathIsRefused) {
    const Isa before = simd::active();
    for (Isa isa : {Isa::sse2, Isa::avx2, Isa::avx512}) {
        EXPECT_EQ(simd::force(isa), simd::supported(isa));
        EXPECT_EQ(simd::active(), simd::supported(isa) ? isa : before) << simd::name(isa);
        simd::force(before);
    }
}
