// The exponential of the Gaussian windows, written once for any number of
// float lanes W (GCC vector extensions) and compiled per instruction set by
// vexp_kernels.cpp (and for the scalar vexp by vexp.cpp).
//
// exp(x) = 2^k e^r, k = round(x / ln 2), r = x - k ln 2 (Cody-Waite: k ln2_hi
// is exact and x - k ln2_hi has no rounding error), e^r from its Taylor
// series to r^7 (|r| <= ln2/2, truncation below 0.05 ulp), 2^k applied in two
// exact halves so that subnormal results round once. Within 1 ulp of the
// correctly rounded exp for x in [-104, 0] (checked exhaustively by the
// tests), 0 below -104, and the same bits for every W: each lane runs the
// same float operations in the same order, with nothing contracted.
//
// Everything here has internal linkage: each translation unit keeps its own
// copy, built for its own instruction set.
#pragma once

#include <cstdint>

#include "core/simd/vectors.hpp"

namespace orbelix {
namespace {

template <int W>
struct Vexp {
    using vf = simd::floats<W>;
    using vi = simd::int32s<W>;
    using vu = simd::uint32s<W>;

    static vf splat(float v) { return vf{} + v; }
    static vi splat_i(std::int32_t v) { return vi{} + v; }

    static vf exp(vf x) {
        const vf log2e = splat(1.44269504088896341f), ln2_hi = splat(0.693145751953125f),
                 ln2_lo = splat(1.42860682030941723e-6f), round = splat(12582912.0f);  // 1.5 * 2^23
        // Arguments far below the range would push k out of the 32-bit
        // integers; -128 gives the same 0 (by the mask below) without that.
        const vi below = x < splat(-104.0f);
        const vi far = x < splat(-128.0f);
        x = (vf)(((vi)x & ~far) | ((vi)splat(-128.0f) & far));
        // k = round(x log2 e): the sum with 1.5 * 2^23 rounds to an integer,
        // which then sits in the low mantissa bits.
        const vf t = x * log2e + round;
        const vf kf = t - round;
        const vi k = (vi)t - (vi)round;
        const vf r = (x - kf * ln2_hi) - kf * ln2_lo;
        vf p = splat(1.0f / 5040.0f);
        p = p * r + splat(1.0f / 720.0f);
        p = p * r + splat(1.0f / 120.0f);
        p = p * r + splat(1.0f / 24.0f);
        p = p * r + splat(1.0f / 6.0f);
        p = p * r + splat(0.5f);
        const vf y = splat(1.0f) + ((r * r) * p + r);
        // 2^k as 2^k1 * 2^k2, each a normal float for k >= -150.
        const vi k1 = k >> 1, k2 = k - k1;
        const vf s1 = (vf)((k1 + 127) << 23), s2 = (vf)((k2 + 127) << 23);
        const vf e = (y * s1) * s2;
        return (vf)((vi)e & ~below);
    }

    // out[i] = exp(-(c * float(m*m)) / kk) for m = m0 + step*i, i < count,
    // with m*m < 2^31. Stops after the W-block holding the first exact 0 and
    // returns the number of values up to and including that 0 (count if
    // none); the rest of that block is written too.
    static int gauss_offsets(float c, float kk, int m0, int step, int count, float *out) {
        vi lane;
        for (int i = 0; i < W; ++i) lane[i] = i * step;
        const vf vc = splat(c), vkk = splat(kk);
        for (int i0 = 0; i0 < count; i0 += W) {
            const vi m = splat_i(m0 + i0 * step) + lane;
            // Lanes past count may square beyond 32 bits; unsigned
            // arithmetic wraps there instead of overflowing, and the lanes
            // in range are exact either way.
            const vi sq = (vi)((vu)m * (vu)m);
            const vf mm = __builtin_convertvector(sq, vf);
            const vf w = exp(-((vc * mm) / vkk));
            const int left = count - i0;
            if (left >= W) {
                simd::store(out + i0, w);
            } else {
                for (int i = 0; i < left; ++i) out[i0 + i] = w[i];
            }
            // The window falls with m, so a block holds a 0 only if its
            // last lane in range does.
            const int last = left < W ? left - 1 : W - 1;
            if (w[last] == 0.0f)
                for (int i = 0; i <= last; ++i)
                    if (w[i] == 0.0f) return i0 + i + 1;
        }
        return count;
    }

    static void exp_array(const float *x, float *y, long long count) {
        long long i = 0;
        for (; i + W <= count; i += W) {
            simd::store(y + i, exp(simd::load<vf>(x + i)));
        }
        if (i < count) {
            vf v = splat(0.0f);
            for (long long j = i; j < count; ++j) v[j - i] = x[j];
            v = exp(v);
            for (long long j = i; j < count; ++j) y[j] = v[j - i];
        }
    }
};

}  // namespace
}  // namespace orbelix
