// The first pass of one contiguous sequence (L1 = 1, IDO > 1), with W
// neighbouring groups i .. i+W-1 side by side in one register: their inputs
// are neighbours in memory, their twiddles differ per lane, and their
// outputs lie p apart, so they are transposed on the way out. Lane by lane
// the same operations as the radix passes. Input m of group i is at
// cc[i + stride*m] (stride = IDO, or more for a padded input) and the
// twiddles come from wsave's rows or a block table (first_sweep.hpp).
#pragma once

#include <type_traits>

#include "core/simd/transpose.hpp"
#include "fft/kernels/butterflies.hpp"
#include "fft/kernels/complex_ops.hpp"
#include "fft/kernels/first_sweep.hpp"
#include "fft/kernels/pass_layout.hpp"
#include "fft/kernels/pass_order.hpp"

namespace orbelix::fftpack {
inline namespace ORBELIX_KERNEL_ISA {

// Groups per register in the first pass: the transposed stores of eight
// groups cost more than they save.
constexpr int kFirstPassWidth = kWidest < 4 ? kWidest : 4;

namespace lanes {

template <int W>
ORBELIX_INLINE inline typename cvec<W>::values as_values(cvec<W> a) {
    return reinterpret_cast<typename cvec<W>::values>(a.v);
}

template <class V>
ORBELIX_INLINE inline void store_values(cfloat *p, V a) { std::memcpy(p, &a, sizeof a); }

}  // namespace lanes

// The input at p, in segment q of the sweep's input: +0 where the caller
// marked the segment as all +0 and left it unwritten (Masked).
template <bool Masked, class V>
ORBELIX_INLINE inline V sweep_input(const cfloat *p, unsigned zero_segments, int q) {
    if constexpr (Masked)
        if ((zero_segments >> q) & 1u) return V{};
    if constexpr (std::is_same_v<V, cfloat>)
        return *p;
    else
        return V::load(p);
}

// Stores the outputs y[0 .. P-1] of W neighbouring groups g: output j of
// group g goes to out[stride*g + j] (stride >= P).
template <int P, int W>
ORBELIX_INLINE inline void store_groups(cfloat *out, const cvec<W> *y, std::ptrdiff_t stride = P) {
    using namespace lanes;
    using V = typename cvec<W>::values;
    if constexpr (W == 2 && (P == 2 || P == 4)) {
        // Pairs (y[j] of group 0, y[j+1] of group 0), then group 1.
        for (int j = 0; j < P; j += 2) {
            V r[2] = {as_values(y[j]), as_values(y[j + 1])};
            simd::transpose2(r);
            store_values(out + j, r[0]);
            store_values(out + stride + j, r[1]);
        }
    } else if constexpr (W == 4 && P == 2) {
        if (stride != P) {
            for (int g = 0; g < W; ++g)
                for (int j = 0; j < P; ++j) out[stride * g + j] = {y[j].v[2 * g], y[j].v[2 * g + 1]};
            return;
        }
        const V a = as_values(y[0]), b = as_values(y[1]);
        store_values(out, __builtin_shufflevector(a, b, 0, 4, 1, 5));
        store_values(out + 4, __builtin_shufflevector(a, b, 2, 6, 3, 7));
    } else if constexpr (W == 4 && P == 4) {
        V r[4] = {as_values(y[0]), as_values(y[1]), as_values(y[2]), as_values(y[3])};
        simd::transpose4(r);
        for (int g = 0; g < 4; ++g) store_values(out + g * stride, r[g]);
    } else {
        for (int g = 0; g < W; ++g)
            for (int j = 0; j < P; ++j) out[stride * g + j] = {y[j].v[2 * g], y[j].v[2 * g + 1]};
    }
}

template <bool Fwd, int P, bool Masked, class Tw>
void first_pass_sweep(int ido, const cfloat *cc, std::ptrdiff_t stride, cfloat *ch, const Tw &tw,
                      unsigned zero_segments) {
    constexpr int W = kFirstPassWidth;
    // Group 0 needs no twiddle.
    {
        cfloat x[P], y[P];
        for (int m = 0; m < P; ++m) x[m] = sweep_input<Masked, cfloat>(cc + m * stride, zero_segments, m);
        Butterfly<Fwd, P>::apply(x, y);
        for (int j = 0; j < P; ++j) ch[j] = y[j];
    }
    int i = 1;
    for (; i + W <= ido; i += W) {
        cvec<W> x[P], y[P];
        for (int m = 0; m < P; ++m)
            x[m] = sweep_input<Masked, cvec<W>>(cc + i + m * stride, zero_segments, m);
        Butterfly<Fwd, P>::apply(x, y);
        for (int j = 1; j < P; ++j)
            y[j] = twiddle_lanes<Fwd>(y[j], spread<W>(tw.a_cos(0, j, i)), spread<W>(tw.a_sin(0, j, i)));
        store_groups<P>(ch + static_cast<std::ptrdiff_t>(P) * i, y);
    }
    for (; i < ido; ++i) {
        cfloat x[P], y[P];
        for (int m = 0; m < P; ++m) x[m] = sweep_input<Masked, cfloat>(cc + i + m * stride, zero_segments, m);
        Butterfly<Fwd, P>::apply(x, y);
        ch[P * i] = y[0];
        for (int j = 1; j < P; ++j) ch[P * i + j] = twiddle<Fwd>(y[j], *tw.a_cos(0, j, i), *tw.a_sin(0, j, i));
    }
}

// The twiddles from wsave's rows (wa), or from a block table if one is
// given; segment m of the input is read as +0 where bit m of zero_segments
// is set.
template <bool Fwd, int P>
void first_pass(int ido, const cfloat *cc, std::ptrdiff_t stride, cfloat *ch, const float *wa,
                const float *table, unsigned zero_segments = 0) {
    auto sweep = [&](auto masked) {
        constexpr bool M = decltype(masked)::value;
        if (table)
            first_pass_sweep<Fwd, P, M>(ido, cc, stride, ch, BlockTwiddles<P, 1, 1>{table},
                                        zero_segments);
        else
            first_pass_sweep<Fwd, P, M>(ido, cc, stride, ch,
                                        RowTwiddles{{wa, ido, P}, {wa, ido, P}, 0}, zero_segments);
    };
    if (zero_segments)
        sweep(std::true_type{});
    else
        sweep(std::false_type{});
}

}  // namespace ORBELIX_KERNEL_ISA
}  // namespace orbelix::fftpack
