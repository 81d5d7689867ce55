// Radix-2 pass: y1 = x1 + x2, y2 = x1 - x2.
#pragma once

#include "fftpack/complex_ops.hpp"
#include "fftpack/pass_layout.hpp"
#include "fftpack/pass_order.hpp"

namespace orbelix::fftpack {

template <bool Fwd, bool Many, class S>
void pass2(int lot, int ido, int l1, int na, S cc, S ch, const float *wa, float sn) {
    const int ns = batch<Many>(lot);
    const std::ptrdiff_t L1 = l1;
    if (ido == 1) {
        // Last pass: in place when the data are still in cc, scaled by 1/N
        // when forward.
        const S out = na ? ch : cc;
        for (int k = 0; k < l1; ++k)
            for_each_sequence<S>(ns, [&](int s, auto z) ORBELIX_INLINE {
                using V = decltype(z);
                const V x1 = cc.template get<V>(s, k), x2 = cc.template get<V>(s, k + L1);
                if constexpr (Fwd) {
                    out.put(s, k, sn * (x1 + x2));
                    out.put(s, k + L1, sn * (x1 - x2));
                } else {
                    out.put(s, k, x1 + x2);
                    out.put(s, k + L1, x1 - x2);
                }
            });
        return;
    }
    const Twiddles w{wa, ido, 2};
    const std::ptrdiff_t m1 = L1 * ido;  // input distance of the two terms
    for_each_group(l1, ido, [&](int k, int i) ORBELIX_INLINE {
        const std::ptrdiff_t in = k + L1 * i;
        const std::ptrdiff_t out = k + L1 * 2 * i;
        // Separate loops with and without twiddles: no branch inside.
        if (i == 0) {
            for_each_sequence<S>(ns, [&](int s, auto z) ORBELIX_INLINE {
                using V = decltype(z);
                const V x1 = cc.template get<V>(s, in), x2 = cc.template get<V>(s, in + m1);
                ch.put(s, out, x1 + x2);
                ch.put(s, out + L1, x1 - x2);
            });
            return;
        }
        const float wr = w.cos(i, 1), wi = w.sin(i, 1);
        for_each_sequence<S>(ns, [&](int s, auto z) ORBELIX_INLINE {
            using V = decltype(z);
            const V x1 = cc.template get<V>(s, in), x2 = cc.template get<V>(s, in + m1);
            ch.put(s, out, x1 + x2);
            ch.put(s, out + L1, twiddle<Fwd>(x1 - x2, wr, wi));
        });
    });
}

}  // namespace orbelix::fftpack
