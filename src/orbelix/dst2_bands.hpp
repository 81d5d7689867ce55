// Band parameters and coefficient scaling shared by the forward and the
// inverse 2-D discrete S-transform. Band widths are x = 1, 2, 4, ..., n/4.
#pragma once

#include <cmath>

#include "view.hpp"

namespace orbelix::dst2_bands {

// Largest side: the 2-D FFT front-end keeps 2*n*n reals in a 32-bit count.
constexpr int max_side = 16384;

// Stops the process unless a is square with a power-of-two side of at most
// max_side; an empty array passes.
void require_valid_side(View2<cfloat> a);

// What the entry routines dst2 and idst2 share: refuse a bad side before
// touching `out`, copy the side x side matrix `in` into `out` and transform
// it there.
void transform_copy(int side, const float *in, float *out, void (*transform)(View2<cfloat>));

// The exponent L with 2^L = n, n a power of two.
inline int exact_log2(int n) {
    int l = 0;
    while ((1 << l) < n) ++l;
    return l;
}

// The shift that re-centres a band of width x on its element x/2, taken as
// the floor of the single-precision -(x/2.0): -1 for x = 1, -x/2 above.
inline int recentre_shift(int x) {
    return static_cast<int>(std::floor(-(static_cast<float>(x) / 2.0f)));
}

// Band gains: single-precision square roots of the width and of the area.
inline float gain(int x) { return std::sqrt(static_cast<float>(x)); }
inline float gain(int x, int y) { return std::sqrt(static_cast<float>(x * y)); }

// The complex quotient u / (f, 0) by Smith's scaled division; for finite
// values the same as dividing both parts by f.
inline cfloat unscale(cfloat u, float f) {
    const float ratio = 0.0f / f;
    const float denom = f + 0.0f * ratio;
    return {(u.re + u.im * ratio) / denom, (u.im - u.re * ratio) / denom};
}

// Views of the bands inside a matrix m: len elements of row r from column c
// on, len elements of column c from row r on, and a rows x cols block from
// (r, c) on.
inline View1<cfloat> row_run(View2<cfloat> m, int r, int c, int len) {
    return {&m(r, c), len, m.s2};
}
inline View1<cfloat> col_run(View2<cfloat> m, int r, int c, int len) {
    return {&m(r, c), len, m.s1};
}
inline View2<cfloat> block(View2<cfloat> m, int r, int c, int rows, int cols) {
    return {&m(r, c), rows, cols, m.s1, m.s2};
}
// Negative row octaves are stored bottom-up: element k of these views is
// row last - k.
inline View1<cfloat> col_run_up(View2<cfloat> m, int last, int c, int len) {
    return {&m(last, c), len, -m.s1};
}
inline View2<cfloat> block_up(View2<cfloat> m, int last, int c, int rows, int cols) {
    return {&m(last, c), rows, cols, -m.s1, m.s2};
}

}  // namespace orbelix::dst2_bands
