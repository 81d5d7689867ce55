// Visiting the butterfly groups (k, i) of a pass.
#pragma once

// The group bodies are small loops called once per group; they must be
// inlined into the group loops or the call costs more than the butterfly.
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

}  // namespace orbelix::fftpack
