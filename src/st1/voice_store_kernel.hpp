// Storing a block of voices into a column-major result that fits in the
// caches: W x W tiles (W voices by W samples) go through registers and are
// transposed there, W complex values per register (GCC vector extensions),
// compiled per instruction set by voice_store_kernels.cpp. The AVX-512 path
// keeps tiles of 4 too: 8 x 8 tiles gain nothing on a store that memory
// bounds. A copy only: every path stores the same bits. Internal linkage: each copy stays in its own file.
#pragma once

#include <cstddef>

#include "core/simd/transpose.hpp"
#include "core/simd/vectors.hpp"
#include "core/view.hpp"

namespace orbelix {
namespace {

template <int W>
struct VoiceTiles {
    // One complex value as one 64-bit lane, W lanes.
    using v = simd::int64s<W>;

    // s(k0 + b, t) = buf[b*ldb + t], b < nb, t < n, s column-major.
    static void store_block(const cfloat *buf, std::size_t ldb, int n, int nb, View2<cfloat> s,
                            int k0) {
        const int nbw = nb - nb % W;
        int t = 0;
        for (; t + W <= n; t += W) {
            for (int b = 0; b < nbw; b += W) {
                v r[W];
                for (int i = 0; i < W; ++i) r[i] = simd::load<v>(buf + (b + i) * ldb + t);
                if constexpr (W == 2)
                    simd::transpose2(r);
                else
                    simd::transpose4(r);
                for (int j = 0; j < W; ++j) simd::store(&s(k0 + b, t + j), r[j]);
            }
            for (int j = t; j < t + W; ++j)
                for (int b = nbw; b < nb; ++b) s(k0 + b, j) = buf[b * ldb + j];
        }
        for (; t < n; ++t)
            for (int b = 0; b < nb; ++b) s(k0 + b, t) = buf[b * ldb + t];
    }
};

}  // namespace
}  // namespace orbelix
