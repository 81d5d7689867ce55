// Moving the column segments of a band to and from the FFT engine's batch
// layout, where value k of column s sits at t[s + k*m].
#pragma once

#include <algorithm>

namespace orbelix {

// Columns handled side by side: eight values fill one cache line of t.
constexpr int kTileColumns = 8;

// For the m columns of a batch, eight at a time: `column(s)` gives what
// `value(c, s, k)` needs of column s (pointers into it, say), and `value`
// is called for k = 0 ... x-1 with the eight columns innermost. Each step
// along k then touches one line of t and one value of each column, instead
// of one line of t per value.
template <class Column, class Value>
void by_tiles(int m, int x, Column column, Value value) {
    using Context = decltype(column(0));
    for (int s0 = 0; s0 < m; s0 += kTileColumns) {
        const int w = std::min(kTileColumns, m - s0);
        Context c[kTileColumns];
        for (int j = 0; j < w; ++j) c[j] = column(s0 + j);
        if (w == kTileColumns) {
            // Full tiles with the count known to the compiler: no test per value.
            for (int k = 0; k < x; ++k)
                for (int j = 0; j < kTileColumns; ++j) value(c[j], s0 + j, k);
        } else {
            for (int k = 0; k < x; ++k)
                for (int j = 0; j < w; ++j) value(c[j], s0 + j, k);
        }
    }
}

}  // namespace orbelix
