// Visiting the butterfly groups (k, i) of a pass, and the sequences of a
// batch within each group.
#pragma once

#include "fftpack/complex_ops.hpp"

// The bodies are small loops called once per group; they must be inlined
// into the group loops or the call costs more than the butterfly.
#define ORBELIX_INLINE __attribute__((always_inline))

namespace orbelix::fftpack {

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

// Calls f(s, V{}) for the ns sequences of a batch: two at a time (V = cpair)
// where the layout S keeps neighbours side by side, one at a time
// (V = cfloat) for the rest.
template <class S, class F>
ORBELIX_INLINE inline void for_each_sequence(int ns, F &&f) {
    int s = 0;
    if constexpr (S::kLanes == 2)
        for (; s + 2 <= ns; s += 2) f(s, cpair{});
    for (; s < ns; ++s) f(s, cfloat{});
}

}  // namespace orbelix::fftpack
