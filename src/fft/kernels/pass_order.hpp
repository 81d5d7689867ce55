// Visiting the butterfly groups (k, i) of a pass, and the sequences of a
// batch within each group.
#pragma once

#include "fft/kernels/complex_ops.hpp"

namespace orbelix::fftpack {
inline namespace ORBELIX_KERNEL_ISA {

// Calls f(k, i) for k < l1 and i < ido. Each group is independent, so the
// order is free; the longer loop goes inside, which keeps the first passes
// (l1 small) as fast as the last ones (ido small).
template <class F>
ORBELIX_INLINE inline void for_each_group(int l1, int ido, F &&f) {
    if (l1 >= ido) {
        for (int i = 0; i < ido; ++i)
            for (int k = 0; k < l1; ++k) f(k, i);
    } else {
        for (int k = 0; k < l1; ++k)
            for (int i = 0; i < ido; ++i) f(k, i);
    }
}

// Calls f(s, V{}) for the ns sequences of a batch: as many at a time as a
// register holds (V = cvec<W>, W = kWidest, then narrower) where the layout
// S keeps neighbours side by side, one at a time (V = cfloat) for the rest.
template <class S, class F>
ORBELIX_INLINE inline void for_each_sequence(int ns, F &&f) {
    int s = 0;
    if constexpr (S::kSideBySide) {
        if constexpr (kWidest >= 8)
            for (; s + 8 <= ns; s += 8) f(s, cvec<8>{});
        if constexpr (kWidest >= 4)
            for (; s + 4 <= ns; s += 4) f(s, cvec<4>{});
        for (; s + 2 <= ns; s += 2) f(s, cvec<2>{});
    }
    for (; s < ns; ++s) f(s, cfloat{});
}

}  // namespace ORBELIX_KERNEL_ISA
}  // namespace orbelix::fftpack
