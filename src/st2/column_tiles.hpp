// Moving the column segments of a band to and from the FFT engine's batch
// layout, where value k of column s sits at t[s + k*m].
#pragma once

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "core/simd/stream.hpp"
#include "core/view.hpp"

namespace orbelix {

// Columns handled side by side: eight values fill one cache line of t.
constexpr int kTileColumns = 8;

// For the m columns of a batch, eight at a time: `row(s0, w, k)` handles
// value k of columns s0 ... s0+w-1, for k = 0 ... x-1. Each step along k
// then touches one line of t and one value of each column, instead of one
// line of t per value. In full tiles w is a compile-time 8, so the loop over
// the columns unrolls and walks them by adding the column stride.
template <class Row>
void by_tiles(int m, int x, Row row) {
    for (int s0 = 0; s0 < m; s0 += kTileColumns) {
        const int w = std::min(kTileColumns, m - s0);
        if (w == kTileColumns) {
            for (int k = 0; k < x; ++k) row(s0, std::integral_constant<int, kTileColumns>{}, k);
        } else {
            for (int k = 0; k < x; ++k) row(s0, w, k);
        }
    }
}

// The same, with full tiles of a band of four or more values handed to
// `pairs(s0, k)` for values k and k+1 together (k even): rows k and k+1 of
// t then move as two-value vectors (see complex_pairs.hpp).
template <class Row, class Pairs>
void by_tiles(int m, int x, Row row, Pairs pairs) {
    for (int s0 = 0; s0 < m; s0 += kTileColumns) {
        const int w = std::min(kTileColumns, m - s0);
        if (w == kTileColumns && x >= 4) {
            for (int k = 0; k < x; k += 2) pairs(s0, k);
        } else if (w == kTileColumns) {
            for (int k = 0; k < x; ++k) row(s0, std::integral_constant<int, kTileColumns>{}, k);
        } else {
            for (int k = 0; k < x; ++k) row(s0, w, k);
        }
    }
}

// Sides from which the mirror is written past the caches: the array no
// longer fits in the last-level cache, so the mirrored columns would be
// read from memory only to be overwritten, and evicted before their next
// use anyway.
constexpr int kStreamSide = 2048;

// The conjugate point mirror of a band's segments in the m columns
// c = b0 ... b0+m-1, streamed: value(i, r) is the value at row r (first ...
// first+x-1) of column b0+i, and column n - c gets its conjugate at row
// n - r. Each mirrored column is written as one ascending run, so the
// write-combining buffers fill whole lines.
template <class Value>
void mirror_runs(View2<cfloat> a, int first, int x, int b0, int m, Value value) {
    const int n = a.n1;
    for (int i = 0; i < m; ++i) {
        cfloat *col = &a(0, n - b0 - i);
        for (int row = n - first - x + 1; row <= n - first; ++row) {
            const cfloat v = value(i, n - row);
            stream_store(col + row, {v.re, -v.im});
        }
    }
}

}  // namespace orbelix
