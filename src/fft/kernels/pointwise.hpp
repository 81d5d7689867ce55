// Element-wise complex products of contiguous arrays, on the SIMD path chosen
// for the process. Each product is the scalar one, part for part:
//   re = a.re*b.re - a.im*b.im, im = a.re*b.im + a.im*b.re,
// so every path gives the same bits (NaNs included).
#pragma once

#include <cstddef>
#include <cstring>

#include "core/view.hpp"

namespace orbelix::fftpack {

enum class Product {
    plain,         // a * b
    conj_first,    // conj(a) * b
    conj_result,   // conj(a * b)
};

// out[0 .. count) = +0, whose bits are all zero (a memset, where a loop
// of complex stores may not be vectorised).
inline void set_zero(cfloat *out, std::ptrdiff_t count) {
    if (count > 0) std::memset(static_cast<void *>(out), 0, sizeof(cfloat) * static_cast<std::size_t>(count));
}

// out[i] = the product of a[i] and b[i], i < count; out may be a.
void multiply(Product kind, const cfloat *a, const cfloat *b, cfloat *out, int count);

}  // namespace orbelix::fftpack
