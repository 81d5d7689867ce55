// The element-wise products of pointwise.hpp, written once over cvec<W> and
// compiled per instruction set by pointwise_sse2.cpp, pointwise_avx2.cpp and
// pointwise_avx512.cpp.
#pragma once

#include "fftpack/complex_ops.hpp"
#include "fftpack/pointwise.hpp"

namespace orbelix::fftpack {
inline namespace ORBELIX_KERNEL_ISA {

inline cfloat conj(cfloat a) { return {a.re, -a.im}; }
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
    constexpr auto re = lanes::pattern<W>([](int l) { return l & ~1; });
    constexpr auto im = lanes::pattern<W>([](int l) { return l | 1; });
    const auto t1 = __builtin_shuffle(a.v, re) * b.v;
    const auto t2 = __builtin_shuffle(a.v, im) * lanes::swap_parts<W>(b.v);
    return {t1 + lanes::flip(t2, lanes::kRe<W>)};
}

template <Product K, class V>
ORBELIX_INLINE inline V apply(V a, V b) {
    if constexpr (K == Product::plain)
        return product(a, b);
    else if constexpr (K == Product::conj_first)
        return product(conj(a), b);
    else
        return conj(product(a, b));
}

template <Product K>
void multiply_all(const cfloat *a, const cfloat *b, cfloat *out, int count) {
    using V = cvec<kWidest>;
    int i = 0;
    for (; i + kWidest <= count; i += kWidest)
        apply<K>(V::load(a + i), V::load(b + i)).store(out + i);
    for (; i < count; ++i) out[i] = apply<K>(a[i], b[i]);
}

void multiply_arrays(Product kind, const cfloat *a, const cfloat *b, cfloat *out, int count) {
    switch (kind) {
    case Product::plain: multiply_all<Product::plain>(a, b, out, count); break;
    case Product::conj_first: multiply_all<Product::conj_first>(a, b, out, count); break;
    default: multiply_all<Product::conj_result>(a, b, out, count); break;
    }
}

}  // namespace ORBELIX_KERNEL_ISA
}  // namespace orbelix::fftpack
