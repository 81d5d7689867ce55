// Operations on one complex value (cfloat, core/view.hpp) shared by every
// layer; the SIMD forms of the kernels give the same bits lane by lane.
#pragma once

#include "core/view.hpp"

namespace orbelix {

inline cfloat conj(cfloat z) { return {z.re, -z.im}; }

// A complex sample times a real factor, as the complex product with (r, 0).

// The full product, not a plain scaling, so that signed zeros and infinities
// come out as a complex multiply gives them.
inline cfloat times_real(cfloat z, float r) {
    return {z.re * r - z.im * 0.0f, z.im * r + z.re * 0.0f};
}

}  // namespace orbelix
