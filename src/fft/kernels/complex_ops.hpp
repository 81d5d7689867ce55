// Complex single-precision arithmetic for the radix kernels, on one value
// (cfloat) or on W values side by side in one register (cvec<W>: two per
// SSE register, four per AVX2 register, eight per AVX-512 register). Each
// helper is one fixed sequence of float operations, the same in every lane
// for every type, so a register of W values gives bit for bit the numbers
// of W values taken one at a time.
#pragma once

#include <cstring>
#include <utility>

#include "core/complex.hpp"
#include "core/simd/vectors.hpp"
#include "core/view.hpp"
#include "fft/kernels/kernel_isa.hpp"

namespace orbelix::fftpack {
inline namespace ORBELIX_KERNEL_ISA {

// --- one complex value ---------------------------------------------------

inline cfloat operator+(cfloat a, cfloat b) { return {a.re + b.re, a.im + b.im}; }
inline cfloat operator-(cfloat a, cfloat b) { return {a.re - b.re, a.im - b.im}; }
// A real factor times a complex value.
inline cfloat operator*(float s, cfloat a) { return {s * a.re, s * a.im}; }
// i*d = (-im d, re d).
inline cfloat times_i(cfloat d) { return {-d.im, d.re}; }
// -i*(a - b) = (im a - im b, re b - re a), each part one subtraction.
inline cfloat minus_i_diff(cfloat a, cfloat b) { return {a.im - b.im, b.re - a.re}; }

// a + i*b and a - i*b, each part one addition or subtraction.
inline cfloat plus_i_times(cfloat a, cfloat b) { return {a.re - b.im, a.im + b.re}; }
inline cfloat minus_i_times(cfloat a, cfloat b) { return {a.re + b.im, a.im - b.re}; }

// y times the twiddle cos - i sin (forward) or cos + i sin (backward).
template <bool Fwd>
inline cfloat twiddle(cfloat y, float wr, float wi) {
    if constexpr (Fwd)
        return {wr * y.re + wi * y.im, wr * y.im - wi * y.re};
    else
        return {wr * y.re - wi * y.im, wr * y.im + wi * y.re};
}

// --- W complex values: (re0, im0, re1, im1, ...) -------------------------

template <int W>
struct cvec {
    static constexpr int kWidth = W;
    using floats = simd::floats<2 * W>;
    using ints = simd::int32s<2 * W>;
    // The same register as W 64-bit lanes, one value each, for moving
    // values between registers without touching their bits.
    using values = simd::values<W>;
    using value_index = simd::int64s<W>;
    floats v;

    ORBELIX_INLINE static cvec load(const cfloat *p) {
        cvec r;
        std::memcpy(&r.v, p, sizeof r.v);
        return r;
    }
    ORBELIX_INLINE void store(cfloat *p) const { std::memcpy(p, &v, sizeof v); }
};

using cpair = cvec<2>;

template <int W>
ORBELIX_INLINE inline cvec<W> operator+(cvec<W> a, cvec<W> b) { return {a.v + b.v}; }
template <int W>
ORBELIX_INLINE inline cvec<W> operator-(cvec<W> a, cvec<W> b) { return {a.v - b.v}; }
template <int W>
ORBELIX_INLINE inline cvec<W> operator*(float s, cvec<W> a) { return {s * a.v}; }

namespace lanes {

// Constant lane patterns, built from the lane index.
template <int W, class Pattern, std::size_t... L>
constexpr typename cvec<W>::ints pattern(Pattern f, std::index_sequence<L...>) {
    return typename cvec<W>::ints{f(int(L))...};
}
template <int W, class Pattern>
constexpr typename cvec<W>::ints pattern(Pattern f) {
    return pattern<W>(f, std::make_index_sequence<2 * W>());
}

constexpr int kSign = int(0x80000000u);
// Sign bits of the real or of the imaginary lanes: xor with them negates
// exactly as the unary minus of one float does.
template <int W>
constexpr typename cvec<W>::ints kRe = pattern<W>([](int l) { return l % 2 ? 0 : kSign; });
template <int W>
constexpr typename cvec<W>::ints kIm = pattern<W>([](int l) { return l % 2 ? kSign : 0; });

template <class F, class I>
ORBELIX_INLINE inline F flip(F x, I mask) {
    return reinterpret_cast<F>(reinterpret_cast<I>(x) ^ mask);
}

// Lane l of the result is lane Pick::lane(l) of the 4W floats of a and b
// side by side (a's below 2W), as __builtin_shufflevector picks them.
template <class Pick, class F, std::size_t... L>
ORBELIX_INLINE inline F shuffle(F a, F b, std::index_sequence<L...>) {
    return __builtin_shufflevector(a, b, Pick::lane(int(L))...);
}
template <int W, class Pick, class F>
ORBELIX_INLINE inline F shuffle(F a, F b) {
    return shuffle<Pick>(a, b, std::make_index_sequence<2 * W>());
}

// (im, re) of each value.
template <int W>
ORBELIX_INLINE inline typename cvec<W>::floats swap_parts(typename cvec<W>::floats x) {
    struct Pick {
        static constexpr int lane(int l) { return l ^ 1; }
    };
    return shuffle<W, Pick>(x, x);
}

}  // namespace lanes

template <int W>
ORBELIX_INLINE inline cvec<W> times_i(cvec<W> d) {
    return {lanes::flip(lanes::swap_parts<W>(d.v), lanes::kRe<W>)};
}

template <int W>
ORBELIX_INLINE inline cvec<W> minus_i_diff(cvec<W> a, cvec<W> b) {
    // (u.im, w.re) of each value: lane 2k from u, lane 2k+1 from w.
    struct Pick {
        static constexpr int lane(int l) { return l % 2 ? 2 * W + l - 1 : l + 1; }
    };
    const auto u = a.v - b.v, w = b.v - a.v;
    return {lanes::shuffle<W, Pick>(u, w)};
}

// a + i*b and a - i*b with the scalar's operation for each part: the
// differences (re a - im b, im a - re b) and sums (re a + im b, im a + re b)
// of a and b with its parts swapped, then the lanes each result needs.
template <int W>
ORBELIX_INLINE inline cvec<W> plus_i_times(cvec<W> a, cvec<W> b) {
    struct Pick {
        static constexpr int lane(int l) { return l % 2 ? 2 * W + l : l; }
    };
    const auto sb = lanes::swap_parts<W>(b.v);
    return {lanes::shuffle<W, Pick>(a.v - sb, a.v + sb)};
}
template <int W>
ORBELIX_INLINE inline cvec<W> minus_i_times(cvec<W> a, cvec<W> b) {
    struct Pick {
        static constexpr int lane(int l) { return l % 2 ? l : 2 * W + l; }
    };
    const auto sb = lanes::swap_parts<W>(b.v);
    return {lanes::shuffle<W, Pick>(a.v - sb, a.v + sb)};
}

namespace lanes {

// (re a - re b, im a + im b) for each value: one instruction where the path
// has one (SSE3 and later), else a plus b with its real parts negated, which
// gives the same bits (x + (-y) is x - y exactly).
template <int W>
ORBELIX_INLINE inline typename cvec<W>::floats sub_add(typename cvec<W>::floats a,
                                                       typename cvec<W>::floats b) {
#if defined(__AVX__)
    if constexpr (W == 4) return __builtin_ia32_addsubps256(a, b);
#endif
#if defined(__SSE3__)
    if constexpr (W == 2) return __builtin_ia32_addsubps(a, b);
#endif
    return a + flip(b, kRe<W>);
}

}  // namespace lanes

// y times cos -+ i sin with a different angle per value: wr and wi hold
// each value's cos and sin in both of its lanes. x + (-y) is x - y
// exactly, so the sign flip reproduces the scalar sums.
template <bool Fwd, int W>
ORBELIX_INLINE inline cvec<W> twiddle_lanes(cvec<W> y, typename cvec<W>::floats wr,
                                            typename cvec<W>::floats wi) {
    const auto a = wr * y.v, b = wi * lanes::swap_parts<W>(y.v);  // (wr re, wr im), (wi im, wi re)
    if constexpr (Fwd)
        return {a + lanes::flip(b, lanes::kIm<W>)};
    else
        return {lanes::sub_add<W>(a, b)};
}

// The same twiddle for every value. Forward, with b = (-wi) (im, re):
// wr re - (-wi im) = wr re + wi im and wr im + (-wi re) = wr im - wi re
// bit for bit, (-x) y being -(x y) exactly; the negation is done once on
// the scalar instead of on every product.
template <bool Fwd, int W>
ORBELIX_INLINE inline cvec<W> twiddle(cvec<W> y, float wr, float wi) {
    const auto a = wr * y.v, b = (Fwd ? -wi : wi) * lanes::swap_parts<W>(y.v);
    return {lanes::sub_add<W>(a, b)};
}

template <int W, class H, std::size_t... L>
ORBELIX_INLINE inline typename cvec<W>::floats spread_lanes(H h, std::index_sequence<L...>) {
    return __builtin_shufflevector(h, h, int(L / 2)...);
}

// Each of the W floats at p in both lanes of its value: (p0, p0, p1, p1, ...).
template <int W>
ORBELIX_INLINE inline typename cvec<W>::floats spread(const float *p) {
    simd::floats<W> h;
    std::memcpy(&h, p, sizeof h);
    return spread_lanes<W>(h, std::make_index_sequence<2 * W>());
}

}  // namespace ORBELIX_KERNEL_ISA
}  // namespace orbelix::fftpack
