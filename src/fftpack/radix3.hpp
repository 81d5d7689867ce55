// Radix-3 pass: y1 = x1 + (x2 + x3); c = x1 + TAUR*(x2 + x3),
// d = TAUI*(x2 - x3); y2 = c + i*d, y3 = c - i*d.
#pragma once

#include <type_traits>

#include "fftpack/complex_ops.hpp"
#include "fftpack/pass_layout.hpp"
#include "fftpack/pass_order.hpp"

namespace orbelix::fftpack {

template <bool Fwd>
struct Butterfly3 {
    static constexpr float taur = -0.5f;
    static constexpr float taui = Fwd ? -0.8660254f : 0.8660254f;

    template <class V>
    ORBELIX_INLINE static void apply(V x1, V x2, V x3, V &y1, V &y2, V &y3) {
        const V t = x2 + x3;
        const V c = x1 + taur * t;
        const V d = taui * (x2 - x3);
        y1 = x1 + t;
        y2 = c + times_i(d);
        y3 = c - times_i(d);
    }
};

template <bool Fwd, bool Many, class S>
void pass3(int lot, int ido, int l1, int na, S cc, S ch, const float *wa, float sn) {
    using B = Butterfly3<Fwd>;
    const int ns = batch<Many>(lot);
    const std::ptrdiff_t L1 = l1;
    if (ido == 1) {
        const S out = na ? ch : cc;
        for (int k = 0; k < l1; ++k)
            for_each_sequence<S>(ns, [&](int s, auto z) ORBELIX_INLINE {
                using V = decltype(z);
                V y1, y2, y3;
                B::apply(cc.template get<V>(s, k), cc.template get<V>(s, k + L1),
                         cc.template get<V>(s, k + 2 * L1), y1, y2, y3);
                if constexpr (Fwd) {
                    y1 = sn * y1;
                    y2 = sn * y2;
                    y3 = sn * y3;
                }
                out.put(s, k, y1);
                out.put(s, k + L1, y2);
                out.put(s, k + 2 * L1, y3);
            });
        return;
    }
    const Twiddles w{wa, ido, 3};
    const std::ptrdiff_t m1 = L1 * ido;
    for_each_group(l1, ido, [&](int k, int i) ORBELIX_INLINE {
        const std::ptrdiff_t in = k + L1 * i;
        const std::ptrdiff_t out = k + L1 * 3 * i;
        auto butterfly = [&](int s, auto &y1, auto &y2, auto &y3) ORBELIX_INLINE {
            using V = std::remove_reference_t<decltype(y1)>;
            B::apply(cc.template get<V>(s, in), cc.template get<V>(s, in + m1),
                     cc.template get<V>(s, in + 2 * m1), y1, y2, y3);
        };
        if (i == 0) {
            for_each_sequence<S>(ns, [&](int s, auto z) ORBELIX_INLINE {
                decltype(z) y1, y2, y3;
                butterfly(s, y1, y2, y3);
                ch.put(s, out, y1);
                ch.put(s, out + L1, y2);
                ch.put(s, out + 2 * L1, y3);
            });
            return;
        }
        const float c1 = w.cos(i, 1), s1 = w.sin(i, 1), c2 = w.cos(i, 2), s2 = w.sin(i, 2);
        for_each_sequence<S>(ns, [&](int s, auto z) ORBELIX_INLINE {
            decltype(z) y1, y2, y3;
            butterfly(s, y1, y2, y3);
            ch.put(s, out, y1);
            ch.put(s, out + L1, twiddle<Fwd>(y2, c1, s1));
            ch.put(s, out + 2 * L1, twiddle<Fwd>(y3, c2, s2));
        });
    });
}

}  // namespace orbelix::fftpack
