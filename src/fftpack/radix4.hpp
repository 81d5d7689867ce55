// Radix-4 pass: a = x1 + x3, b = x1 - x3, e = x2 + x4, f = -+i*(x2 - x4)
// (minus forward); y1 = a + e, y3 = a - e, y2 = b + f, y4 = b - f.
#pragma once

#include <type_traits>

#include "fftpack/complex_ops.hpp"
#include "fftpack/pass_layout.hpp"
#include "fftpack/pass_order.hpp"

namespace orbelix::fftpack {

template <bool Fwd>
struct Butterfly4 {
    template <class V>
    ORBELIX_INLINE static void apply(V x1, V x2, V x3, V x4, V &y1, V &y2, V &y3, V &y4) {
        const V a = x1 + x3, b = x1 - x3, e = x2 + x4;
        // -i*(x2 - x4) forward, +i*(x2 - x4) = -i*(x4 - x2) backward.
        const V f = Fwd ? minus_i_diff(x2, x4) : minus_i_diff(x4, x2);
        y1 = a + e;
        y3 = a - e;
        y2 = b + f;
        y4 = b - f;
    }
};

template <bool Fwd, bool Many, class S>
void pass4(int lot, int ido, int l1, int na, S cc, S ch, const float *wa, float sn) {
    using B = Butterfly4<Fwd>;
    const int ns = batch<Many>(lot);
    const std::ptrdiff_t L1 = l1;
    if (ido == 1) {
        const S out = na ? ch : cc;
        for (int k = 0; k < l1; ++k)
            for_each_sequence<S>(ns, [&](int s, auto z) ORBELIX_INLINE {
                using V = decltype(z);
                V y1, y2, y3, y4;
                B::apply(cc.template get<V>(s, k), cc.template get<V>(s, k + L1),
                         cc.template get<V>(s, k + 2 * L1), cc.template get<V>(s, k + 3 * L1), y1,
                         y2, y3, y4);
                if constexpr (Fwd) {
                    y1 = sn * y1;
                    y2 = sn * y2;
                    y3 = sn * y3;
                    y4 = sn * y4;
                }
                out.put(s, k, y1);
                out.put(s, k + L1, y2);
                out.put(s, k + 2 * L1, y3);
                out.put(s, k + 3 * L1, y4);
            });
        return;
    }
    const Twiddles w{wa, ido, 4};
    const std::ptrdiff_t m1 = L1 * ido;
    for_each_group(l1, ido, [&](int k, int i) ORBELIX_INLINE {
        const std::ptrdiff_t in = k + L1 * i;
        const std::ptrdiff_t out = k + L1 * 4 * i;
        auto butterfly = [&](int s, auto &y1, auto &y2, auto &y3, auto &y4) ORBELIX_INLINE {
            using V = std::remove_reference_t<decltype(y1)>;
            B::apply(cc.template get<V>(s, in), cc.template get<V>(s, in + m1),
                     cc.template get<V>(s, in + 2 * m1), cc.template get<V>(s, in + 3 * m1), y1,
                     y2, y3, y4);
        };
        if (i == 0) {
            for_each_sequence<S>(ns, [&](int s, auto z) ORBELIX_INLINE {
                decltype(z) y1, y2, y3, y4;
                butterfly(s, y1, y2, y3, y4);
                ch.put(s, out, y1);
                ch.put(s, out + L1, y2);
                ch.put(s, out + 2 * L1, y3);
                ch.put(s, out + 3 * L1, y4);
            });
            return;
        }
        const float c1 = w.cos(i, 1), s1 = w.sin(i, 1), c2 = w.cos(i, 2), s2 = w.sin(i, 2);
        const float c3 = w.cos(i, 3), s3 = w.sin(i, 3);
        for_each_sequence<S>(ns, [&](int s, auto z) ORBELIX_INLINE {
            decltype(z) y1, y2, y3, y4;
            butterfly(s, y1, y2, y3, y4);
            ch.put(s, out, y1);
            ch.put(s, out + L1, twiddle<Fwd>(y2, c1, s1));
            ch.put(s, out + 2 * L1, twiddle<Fwd>(y3, c2, s2));
            ch.put(s, out + 3 * L1, twiddle<Fwd>(y4, c3, s3));
        });
    });
}

}  // namespace orbelix::fftpack
