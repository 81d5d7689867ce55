// Element-wise complex products of contiguous arrays, on the SIMD path chosen
// for the process. Each product is the scalar one, part for part:
//   re = a.re*b.re - a.im*b.im, im = a.re*b.im + a.im*b.re,
// so every path gives the same bits (NaNs included).
#pragma once

#include "view.hpp"

namespace orbelix::fftpack {

enum class Product {
    plain,         // a * b
    conj_first,    // conj(a) * b
    conj_result,   // conj(a * b)
};

// out[i] = the product of a[i] and b[i], i < count; out may be a.
void multiply(Product kind, const cfloat *a, const cfloat *b, cfloat *out, int count);

}  // namespace orbelix::fftpack
