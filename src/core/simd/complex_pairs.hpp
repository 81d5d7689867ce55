// Two complex values in one 16-byte vector, for moving band segments
// between columns and the FFT batch layout two rows at a time. Every
// operation is the one the scalar code does on each value.
#pragma once

#include <cstddef>
#include <cstring>

#include "core/simd/vectors.hpp"
#include "core/view.hpp"

namespace orbelix::pairs {

using pair = simd::floats<4>;
using lanes = simd::int32s<4>;

inline pair load(const cfloat *p) { return simd::load<pair>(p); }
inline void store(cfloat *p, pair v) { simd::store(p, v); }

// The first values of u and v, and their second values: with u and v two
// neighbouring columns' values at rows k and k+1, these are rows k and k+1
// of the two columns (and the other way round).
inline pair firsts(pair u, pair v) { return __builtin_shufflevector(u, v, 0, 1, 4, 5); }
inline pair seconds(pair u, pair v) { return __builtin_shufflevector(u, v, 2, 3, 6, 7); }

// The two values in the other order.
inline pair swapped(pair u) { return __builtin_shufflevector(u, u, 2, 3, 0, 1); }

// Both values conjugated: the imaginary parts' signs flipped.
inline pair conj(pair u) {
    lanes bits;
    std::memcpy(&bits, &u, sizeof bits);
    bits ^= lanes{0, static_cast<int>(0x80000000u), 0, static_cast<int>(0x80000000u)};
    std::memcpy(&u, &bits, sizeof u);
    return u;
}

// times_real (times_real.hpp) of both values: re*r - im*0, im*r + re*0.
inline pair times_real(pair z, float r) {
    const pair p = z * pair{r, r, r, r};
    const pair q = __builtin_shufflevector(z, z, 1, 0, 3, 2) * pair{0.0f, 0.0f, 0.0f, 0.0f};
    return __builtin_shufflevector(p - q, p + q, 0, 5, 2, 7);
}

// Rows r, r+1 of two neighbouring columns (z0 and z1, as firsts and seconds
// give them) at `to` and `to + stride`; with `image` non-null also their
// mirrors, conjugated, at rows n-r, n-r-1 of the mirrored columns, `image`
// and `image - stride`.
inline void store_columns(cfloat *to, cfloat *image, std::ptrdiff_t stride, pair z0, pair z1) {
    store(to, z0);
    store(to + stride, z1);
    if (image) {
        store(image, conj(swapped(z0)));
        store(image - stride, conj(swapped(z1)));
    }
}

}  // namespace orbelix::pairs
