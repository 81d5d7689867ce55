// Moving the column segments of a band to and from the FFT engine's batch
// layout, where value k of column s sits at t[s + k*m].
#pragma once

#include <algorithm>
#include <type_traits>

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

}  // namespace orbelix
