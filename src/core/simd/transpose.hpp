// Square tiles of complex values transposed in registers: r[i] holds row i
// of the tile, one value per 64-bit lane, and ends holding column i. Only
// lanes move, so every path gives the same bits. Forced inline, as the
// kernels' helpers are: no path's copy is emitted for another to pick up.
#pragma once

#include "core/simd/paths.hpp"

namespace orbelix::simd {

// 2 x 2: V has two 64-bit lanes.
template <class V>
ORBELIX_INLINE inline void transpose2(V *r) {
    const V a = __builtin_shufflevector(r[0], r[1], 0, 2);
    const V b = __builtin_shufflevector(r[0], r[1], 1, 3);
    r[0] = a;
    r[1] = b;
}

// 4 x 4: V has four 64-bit lanes. Pairs within 128-bit halves, then halves.
template <class V>
ORBELIX_INLINE inline void transpose4(V *r) {
    const V l01 = __builtin_shufflevector(r[0], r[1], 0, 4, 2, 6);
    const V h01 = __builtin_shufflevector(r[0], r[1], 1, 5, 3, 7);
    const V l23 = __builtin_shufflevector(r[2], r[3], 0, 4, 2, 6);
    const V h23 = __builtin_shufflevector(r[2], r[3], 1, 5, 3, 7);
    r[0] = __builtin_shufflevector(l01, l23, 0, 1, 4, 5);
    r[1] = __builtin_shufflevector(h01, h23, 0, 1, 4, 5);
    r[2] = __builtin_shufflevector(l01, l23, 2, 3, 6, 7);
    r[3] = __builtin_shufflevector(h01, h23, 2, 3, 6, 7);
}

}  // namespace orbelix::simd
