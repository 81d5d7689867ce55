// Storing a block of voices into the result writes s(k0 + b, t) =
// buf[b*ldb + t] and nothing else, bit for bit, on every SIMD path: through
// transposed tiles where the result fits in the caches, with streaming
// stores where it does not, value by value where it is not column-major;
// for block and signal lengths around the tile and cache-line sizes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "st1/voice_store.hpp"
#include "core/simd/isa.hpp"
#include "test_support.hpp"

using orbelix::cfloat;
using orbelix::View2;
using orbelix::simd::Isa;

namespace {

// A value that says where it came from; NaN payloads pass through untouched.
cfloat tagged(int b, int t) {
    const unsigned bits = 0x7fc00000u | static_cast<unsigned>(b * 4096 + t);
    float nan_tag;
    std::memcpy(&nan_tag, &bits, sizeof nan_tag);
    return {static_cast<float>(b) + 0.25f * static_cast<float>(t),
            (b + t) % 7 == 0 ? nan_tag : -0.0f};
}

// Stores an nb x n block at row k0 of an n1 x n2 result with strides
// (s1, s2) and checks every element of the result.
void check(int n1, int n2, std::ptrdiff_t s1, std::ptrdiff_t s2, int k0, int nb, int n) {
    const std::size_t ldb = static_cast<std::size_t>(n) + 3;
    std::vector<cfloat> buf(ldb * nb);
    for (int b = 0; b < nb; ++b)
        for (int t = 0; t < n; ++t) buf[b * ldb + t] = tagged(b, t);
    const std::size_t extent = static_cast<std::size_t>((n1 - 1) * s1 + (n2 - 1) * s2 + 1);
    const cfloat sentinel{1234.5f, -6.5f};
    std::vector<cfloat> data(extent, sentinel);
    const View2<cfloat> s{data.data(), n1, n2, s1, s2};
    orbelix::store_voices(buf.data(), ldb, n, nb, s, k0);
    std::vector<bool> written(extent, false);
    for (int b = 0; b < nb; ++b)
        for (int t = 0; t < n; ++t) {
            const cfloat want = tagged(b, t);
            const std::size_t at = &s(k0 + b, t) - data.data();
            written[at] = true;
            ASSERT_EQ(std::memcmp(&data[at], &want, sizeof want), 0)
                << "voice " << k0 + b << ", t " << t << ", block of " << nb << " x " << n;
        }
    for (std::size_t i = 0; i < extent; ++i) {
        if (!written[i]) {
            ASSERT_EQ(std::memcmp(&data[i], &sentinel, sizeof sentinel), 0)
                << "element " << i << " outside the block was written";
        }
    }
}

}  // namespace

TEST(VoiceStore, EveryPathStoresTheBlockAndNothingElse) {
    for (Isa isa : orbelix::testing::supported_paths()) {
        const orbelix::testing::ForcedPath path(isa);
        ASSERT_TRUE(path.forced());
        SCOPED_TRACE(orbelix::simd::name(isa));
        for (int nb : {1, 2, 3, 4, 5, 7, 8, 9, 63, 64})
            for (int n : {1, 2, 3, 4, 5, 8, 9, 17}) {
                for (int k0 : {0, 1, 6}) {
                    const int n1 = k0 + nb + 2;
                    check(n1, n + 1, 1, n1, k0, nb, n);           // small, column-major
                    check(n1, n + 1, 1, n1 + 3, k0, nb, n);       // longer columns
                    check(n1, n + 1, n + 1, 1, k0, nb, n);        // row-major
                }
                // Large enough for streaming stores: a block of the middle rows.
                if (n == 9 || n == 17) check(2100, 260, 1, 2100, 1001, nb, n);
                // Columns far apart, whose partial lines take ordinary stores.
                if (n == 17) check(16390, 34, 1, 16401, 16300, nb, n);
            }
    }
}
