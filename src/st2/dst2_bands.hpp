// Band parameters and coefficient scaling shared by the forward and the
// inverse 2-D discrete S-transform. Band widths are x = 1, 2, 4, ..., n/4.
#pragma once

#include <cmath>
#include <vector>

#include "core/complex.hpp"
#include "core/simd/vectors.hpp"
#include "core/view.hpp"
#include "st2/pow2_ffts.hpp"

namespace orbelix::dst2_bands {

// Largest side: the 2-D FFT front-end keeps 2*n*n reals in a 32-bit count.
constexpr int max_side = 16384;

// Stops the process unless a is square with a power-of-two side of at most
// max_side; an empty array passes.
void require_valid_side(View2<cfloat> a);

// What the entry routines dst2 and idst2 share: refuse a bad side before
// touching `out`, then transform the side x side matrix `in` into `out`
// (`in` may be `out` itself).
void transform_copy(int side, const float *in, float *out,
                    void (*transform)(View2<const cfloat>, View2<cfloat>));

// A transform of src into dst (src either dst itself or apart from it) run
// on arrays of any strides: through contiguous copies unless both have the
// layout the transform works in directly.
void run_in_layout(View2<const cfloat> src, View2<cfloat> dst,
                   void (*transform)(View2<const cfloat>, View2<cfloat>));

// The shift that re-centres a band of width x on its element x/2, taken as
// the floor of the single-precision -(x/2.0): -1 for x = 1, -x/2 above.
inline int recentre_shift(int x) {
    return static_cast<int>(std::floor(-(static_cast<float>(x) / 2.0f)));
}

// Band gains: single-precision square roots of the width and of the area.
inline float gain(int x) { return std::sqrt(static_cast<float>(x)); }
inline float gain(int x, int y) { return std::sqrt(static_cast<float>(x * y)); }

// The complex quotient u / (f, 0) by Smith's scaled division; for finite
// values the same as dividing both parts by f. The parts that depend on f
// alone are formed once.
struct Unscale {
    float ratio;
    float denom;
    explicit Unscale(float f) : ratio(0.0f / f), denom(f + 0.0f * ratio) {}
    cfloat operator()(cfloat u) const {
        return {(u.re + u.im * ratio) / denom, (u.im - u.re * ratio) / denom};
    }
    // to[i] = (*this)(from[i]) for i < count, two values per vector: the
    // scalar divisions would dominate the band steps. Subtracting re*ratio
    // is adding re*(-ratio), bit for bit.
    void run(const cfloat *from, int count, cfloat *to) const {
        using pair = simd::floats<4>;
        const pair r = {ratio, -ratio, ratio, -ratio}, d = {denom, denom, denom, denom};
        int i = 0;
        for (; i + 2 <= count; i += 2) {
            const pair u = simd::load<pair>(from + i);
            simd::store(to + i, (u + __builtin_shufflevector(u, u, 1, 0, 3, 2) * r) / d);
        }
        for (; i < count; ++i) to[i] = (*this)(from[i]);
    }
};

// One octave band along the rows: positions first ... first+width-1; a
// negative octave holds its coefficients in reversed order.
struct RowBand {
    int first;
    int width;
    bool negative;
    // Position of the band's k-th coefficient.
    int coefficient_row(int k) const { return negative ? first + width - 1 - k : first + k; }
};

// The row octaves of side n (n >= 4): P_x and M_x for x = 1, 2, ..., n/4.
inline std::vector<RowBand> row_bands(int n) {
    std::vector<RowBand> bands;
    for (int x = 1; x <= n / 4; x *= 2) {
        bands.push_back({x, x, false});
        bands.push_back({n - 2 * x + 1, x, true});
    }
    return bands;
}

// The re-centring shift of a band as a turn in 0 ... x-1: 0 for x = 1, x/2
// above. Turning by it either way swaps the two halves of the band, so the
// forward shift and the inverse's opposite shift are the same permutation.
inline int half_turn(int x) { return -recentre_shift(x) % x; }

// Coefficients (r, c) with c in 1 ... mid-1 also fill the conjugate point
// mirror (n - r mod n, n - c) of the right half.
inline void store_with_mirror(View2<cfloat> a, int r, int c, cfloat v) {
    const int n = a.n1;
    a(r, c) = v;
    a((n - r) & (n - 1), n - c) = conj(v);
}

// Rows first ... first+rows-1 of one column octave, of equal gain.
struct RowRun {
    int first;
    int rows;
    float gain;
};

// The order in which the forward and the inverse transform visit the bands
// of side n (n >= 4), so that each unit is finished while it is in cache:
// columns 0 and mid, whose only bands are their row octaves, then each
// column octave P_y, y = 1, 2, ..., n/4, with its rows 0 and mid first and
// then the rows of each row octave followed by its columns. steps has
//   column_unit(c0)                      before the bands of column c0;
//   octave(y)                            before the bands of octave P_y;
//   rows(y, runs)                        the row transforms of octave P_y in
//                                        the consecutive, ascending runs;
//   centre_row(y, r0, g)                 row r0 (0 or mid) of octave P_y,
//                                        after its row transform, gain g;
//   columns(band, c0, cols, g, octave)   the column transforms of row octave
//                                        `band` in columns c0 ... c0+cols-1,
//                                        gain g, in a column octave or not.
// Where an octave's rows make a single batch of the engine's transforms
// they are transformed at once, in ascending rows.
template <class Steps>
void walk_bands(int n, Steps &steps) {
    const int mid = n / 2;
    const std::vector<RowBand> bands = row_bands(n);
    for (const int c0 : {0, mid}) {
        steps.column_unit(c0);
        for (const RowBand &band : bands) steps.columns(band, c0, 1, gain(band.width), false);
    }
    for (int y = 1; y < mid; y *= 2) {
        steps.octave(y);
        if (Pow2Ffts::batch(y, n) == n) {
            std::vector<RowRun> runs{{0, 1, gain(y)}};
            for (int x = 1; x < mid; x *= 2) runs.push_back({x, x, gain(x, y)});
            runs.push_back({mid, 1, gain(y)});
            for (int x = n / 4; x >= 1; x /= 2) runs.push_back({n - 2 * x + 1, x, gain(x, y)});
            steps.rows(y, runs);
            for (const int r0 : {0, mid}) steps.centre_row(y, r0, gain(y));
            for (const RowBand &band : bands) steps.columns(band, y, y, gain(band.width, y), true);
            continue;
        }
        for (const int r0 : {0, mid}) {
            steps.rows(y, {{r0, 1, gain(y)}});
            steps.centre_row(y, r0, gain(y));
        }
        for (const RowBand &band : bands) {
            steps.rows(y, {{band.first, band.width, gain(band.width, y)}});
            steps.columns(band, y, y, gain(band.width, y), true);
        }
    }
}

// Whether the transforms can work in a directly: unit row stride, columns
// at least n apart, every offset within the engine's 32-bit indices.
inline bool engine_layout(View2<const cfloat> a) {
    const long long n = a.n1;
    return a.s1 == 1 && a.s2 >= n && a.s2 * (n - 1) + n < (1LL << 31);
}

inline View2<const cfloat> read_only(View2<cfloat> a) { return {a.data, a.n1, a.n2, a.s1, a.s2}; }

}  // namespace orbelix::dst2_bands
