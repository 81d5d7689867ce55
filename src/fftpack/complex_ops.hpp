// Complex single-precision arithmetic for the radix kernels, on one value
// (cfloat) or on the values of two neighbouring sequences at once (cpair,
// one SSE register). Each helper is one fixed sequence of float operations,
// identical lane by lane for both types, so a batch gives bit for bit the
// numbers of one sequence at a time.
#pragma once

#include <cstring>

#include "view.hpp"

namespace orbelix::fftpack {

// --- one complex value ---------------------------------------------------

inline cfloat operator+(cfloat a, cfloat b) { return {a.re + b.re, a.im + b.im}; }
inline cfloat operator-(cfloat a, cfloat b) { return {a.re - b.re, a.im - b.im}; }
// A real factor times a complex value.
inline cfloat operator*(float s, cfloat a) { return {s * a.re, s * a.im}; }
// i*d = (-im d, re d).
inline cfloat times_i(cfloat d) { return {-d.im, d.re}; }
// -i*(a - b) = (im a - im b, re b - re a), each part one subtraction.
inline cfloat minus_i_diff(cfloat a, cfloat b) { return {a.im - b.im, b.re - a.re}; }

// y times the twiddle cos - i sin (forward) or cos + i sin (backward).
template <bool Fwd>
inline cfloat twiddle(cfloat y, float wr, float wi) {
    if constexpr (Fwd)
        return {wr * y.re + wi * y.im, wr * y.im - wi * y.re};
    else
        return {wr * y.re - wi * y.im, wr * y.im + wi * y.re};
}

// --- two complex values: (re0, im0, re1, im1) ----------------------------

typedef float v4sf __attribute__((vector_size(16)));
typedef int v4si __attribute__((vector_size(16)));

struct cpair {
    v4sf v;
};

inline cpair load_pair(const cfloat *p) {
    cpair r;
    std::memcpy(&r.v, p, sizeof r.v);
    return r;
}
inline void store_pair(cfloat *p, cpair a) { std::memcpy(p, &a.v, sizeof a.v); }

inline cpair operator+(cpair a, cpair b) { return {a.v + b.v}; }
inline cpair operator-(cpair a, cpair b) { return {a.v - b.v}; }
inline cpair operator*(float s, cpair a) { return {s * a.v}; }

namespace lanes {
// Sign bits of the real or of the imaginary lanes: xor with them negates
// exactly as the unary minus of one float does.
inline v4sf flip(v4sf x, v4si mask) { return reinterpret_cast<v4sf>(reinterpret_cast<v4si>(x) ^ mask); }
constexpr v4si kRe = {int(0x80000000u), 0, int(0x80000000u), 0};
constexpr v4si kIm = {0, int(0x80000000u), 0, int(0x80000000u)};
inline v4sf swap_parts(v4sf x) { return __builtin_shuffle(x, v4si{1, 0, 3, 2}); }
}  // namespace lanes

inline cpair times_i(cpair d) { return {lanes::flip(lanes::swap_parts(d.v), lanes::kRe)}; }
inline cpair minus_i_diff(cpair a, cpair b) {
    const v4sf u = a.v - b.v, w = b.v - a.v;
    return {__builtin_shuffle(u, w, v4si{1, 4, 3, 6})};  // (u.im, w.re) per value
}

// x + (-y) is x - y exactly, so the sign flip reproduces the scalar sums.
template <bool Fwd>
inline cpair twiddle(cpair y, float wr, float wi) {
    const v4sf a = wr * y.v, b = wi * lanes::swap_parts(y.v);  // (wr re, wr im), (wi im, wi re)
    return {a + lanes::flip(b, Fwd ? lanes::kIm : lanes::kRe)};
}

}  // namespace orbelix::fftpack
