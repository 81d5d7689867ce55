// Complex single-precision arithmetic for the radix kernels: each helper is
// one fixed sequence of float operations, so the kernels' rounding is
// exactly what they spell out.
#pragma once

#include "view.hpp"

namespace orbelix::fftpack {

inline cfloat operator+(cfloat a, cfloat b) { return {a.re + b.re, a.im + b.im}; }
inline cfloat operator-(cfloat a, cfloat b) { return {a.re - b.re, a.im - b.im}; }
// A real factor times a complex value.
inline cfloat operator*(float s, cfloat a) { return {s * a.re, s * a.im}; }
// i*d = (-im d, re d).
inline cfloat times_i(cfloat d) { return {-d.im, d.re}; }

// y times the twiddle cos - i sin (forward) or cos + i sin (backward).
template <bool Fwd>
inline cfloat twiddle(cfloat y, float wr, float wi) {
    if constexpr (Fwd)
        return {wr * y.re + wi * y.im, wr * y.im - wi * y.re};
    else
        return {wr * y.re - wi * y.im, wr * y.im + wi * y.re};
}

}  // namespace orbelix::fftpack
