// Radix-2 pass: y1 = x1 + x2, y2 = x1 - x2.
#pragma once

#include "fftpack/complex_ops.hpp"
#include "fftpack/pass_layout.hpp"
#include "fftpack/pass_order.hpp"

namespace orbelix::fftpack {

template <bool Fwd, bool Many, class S>
void pass2(int lot, int ido, int l1, int na, S cc, S ch, const float *wa) {
    const int ns = batch<Many>(lot);
    if (ido == 1) {
        // Last pass: in place when the data are still in cc, scaled by 1/N
        // when forward.
        const float sn = 1.0f / static_cast<float>(2 * l1);
        const S out = na ? ch : cc;
        for (int k = 0; k < l1; ++k)
            for (int s = 0; s < ns; ++s) {
                const cfloat x1 = cc(s, k), x2 = cc(s, k + l1);
                if constexpr (Fwd) {
                    out(s, k) = sn * (x1 + x2);
                    out(s, k + l1) = sn * (x1 - x2);
                } else {
                    out(s, k) = x1 + x2;
                    out(s, k + l1) = x1 - x2;
                }
            }
        return;
    }
    const Twiddles w{wa, ido, 2};
    const std::ptrdiff_t m1 = std::ptrdiff_t(l1) * ido;  // input stride of m
    for_each_group(l1, ido, [&](int k, int i) ORBELIX_INLINE {
        const std::ptrdiff_t in = k + std::ptrdiff_t(l1) * i;
        const std::ptrdiff_t out = k + std::ptrdiff_t(l1) * 2 * i;
        // Separate loops with and without twiddles: no branch inside, so the
        // loop over sequences vectorises.
        if (i == 0) {
            for (int s = 0; s < ns; ++s) {
                const cfloat x1 = cc(s, in), x2 = cc(s, in + m1);
                ch(s, out) = x1 + x2;
                ch(s, out + l1) = x1 - x2;
            }
            return;
        }
        const float wr = w.cos(i, 1), wi = w.sin(i, 1);
        for (int s = 0; s < ns; ++s) {
            const cfloat x1 = cc(s, in), x2 = cc(s, in + m1);
            ch(s, out) = x1 + x2;
            ch(s, out + l1) = twiddle<Fwd>(x1 - x2, wr, wi);
        }
    });
}

}  // namespace orbelix::fftpack
