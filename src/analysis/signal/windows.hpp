// Windows given by a shape in time (asymmetric ones, or a user's): each voice
// carries its own complex weights in frequency.
#pragma once

#include "core/view.hpp"

namespace orbelix::tools {

// Voice i weights its spectrum at bin offset d (lo[i] <= d <= hi[i]) by
// values[start[i] + d - lo[i]] and by 0 elsewhere. The weights are the DFT of
// the window's shape sampled on the circle, divided by their value at
// offset 0; the arrays belong to the caller.
struct ShapedWindows {
    const cfloat *values = nullptr;
    const long long *start = nullptr;
    const int *lo = nullptr;
    const int *hi = nullptr;

    // w[d] for lo[i] <= d <= hi[i].
    const cfloat *weights(int i) const { return values + start[i] - lo[i]; }
};

// The complex product in this order, never contracted.
inline cfloat times_weight(cfloat z, cfloat w) {
    return {z.re * w.re - z.im * w.im, z.re * w.im + z.im * w.re};
}

}  // namespace orbelix::tools
