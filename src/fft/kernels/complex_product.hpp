// The complex product of two values as the element-wise kernels form it,
//   re = a.re*b.re - a.im*b.im, im = a.re*b.im + a.im*b.re,
// on one value or on W values in a register, with the same bits.
#pragma once

#include "fft/kernels/complex_ops.hpp"

namespace orbelix::fftpack {
inline namespace ORBELIX_KERNEL_ISA {

// x + -(y) rather than x - y: the same number, and where y is a NaN the same
// sign bit as the vectors below give.
inline cfloat product(cfloat a, cfloat b) {
    return {a.re * b.re + -(a.im * b.im), a.re * b.im + a.im * b.re};
}

template <int W>
ORBELIX_INLINE inline cvec<W> conj(cvec<W> a) {
    return {lanes::flip(a.v, lanes::kIm<W>)};
}

// (a.re b.re, a.re b.im) + -(a.im b.im, -a.im b.re) lane by lane: x + (-y) is
// x - y exactly, so both parts round as the scalar product's do.
template <int W>
ORBELIX_INLINE inline cvec<W> product(cvec<W> a, cvec<W> b) {
    struct Re {
        static constexpr int lane(int l) { return l & ~1; }
    };
    struct Im {
        static constexpr int lane(int l) { return l | 1; }
    };
    const auto t1 = lanes::shuffle<W, Re>(a.v, a.v) * b.v;
    const auto t2 = lanes::shuffle<W, Im>(a.v, a.v) * lanes::swap_parts<W>(b.v);
    return {t1 + lanes::flip(t2, lanes::kRe<W>)};
}

}  // namespace ORBELIX_KERNEL_ISA
}  // namespace orbelix::fftpack
