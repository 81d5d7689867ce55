// Radix-5 pass: a1 = x2 + x5, b1 = x2 - x5, a2 = x3 + x4, b2 = x3 - x4;
// y1 = x1 + a1 + a2; c2 = x1 + TR11*a1 + TR12*a2, d2 = TI11*b1 + TI12*b2,
// c3 = x1 + TR12*a1 + TR11*a2, d3 = TI12*b1 - TI11*b2;
// y2, y5 = c2 +- i*d2; y3, y4 = c3 +- i*d3.
#pragma once

#include <type_traits>

#include "fftpack/complex_ops.hpp"
#include "fftpack/pass_layout.hpp"
#include "fftpack/pass_order.hpp"

namespace orbelix::fftpack {

template <bool Fwd>
struct Butterfly5 {
    static constexpr float tr11 = 0.309017f;
    static constexpr float tr12 = -0.809017f;
    static constexpr float ti11 = Fwd ? -0.95105654f : 0.95105654f;
    static constexpr float ti12 = Fwd ? -0.58778524f : 0.58778524f;

    template <class V>
    ORBELIX_INLINE static void apply(const V *x, V *y) {
        const V a1 = x[1] + x[4], b1 = x[1] - x[4], a2 = x[2] + x[3], b2 = x[2] - x[3];
        y[0] = x[0] + a1 + a2;
        const V c2 = x[0] + tr11 * a1 + tr12 * a2;
        const V d2 = ti11 * b1 + ti12 * b2;
        const V c3 = x[0] + tr12 * a1 + tr11 * a2;
        const V d3 = ti12 * b1 - ti11 * b2;
        y[1] = c2 + times_i(d2);
        y[4] = c2 - times_i(d2);
        y[2] = c3 + times_i(d3);
        y[3] = c3 - times_i(d3);
    }
};

template <bool Fwd, bool Many, class S>
void pass5(int lot, int ido, int l1, int na, S cc, S ch, const float *wa, float sn) {
    using B = Butterfly5<Fwd>;
    const int ns = batch<Many>(lot);
    const std::ptrdiff_t L1 = l1;
    if (ido == 1) {
        const S out = na ? ch : cc;
        for (int k = 0; k < l1; ++k)
            for_each_sequence<S>(ns, [&](int s, auto z) ORBELIX_INLINE {
                using V = decltype(z);
                V x[5], y[5];
                for (int m = 0; m < 5; ++m) x[m] = cc.template get<V>(s, k + m * L1);
                B::apply(x, y);
                for (int j = 0; j < 5; ++j) out.put(s, k + j * L1, Fwd ? sn * y[j] : y[j]);
            });
        return;
    }
    const Twiddles w{wa, ido, 5};
    const std::ptrdiff_t m1 = L1 * ido;
    for_each_group(l1, ido, [&](int k, int i) ORBELIX_INLINE {
        const std::ptrdiff_t in = k + L1 * i;
        const std::ptrdiff_t out = k + L1 * 5 * i;
        auto butterfly = [&](int s, auto *y) ORBELIX_INLINE {
            using V = std::remove_pointer_t<decltype(y)>;
            V x[5];
            for (int m = 0; m < 5; ++m) x[m] = cc.template get<V>(s, in + m * m1);
            B::apply(x, y);
        };
        if (i == 0) {
            for_each_sequence<S>(ns, [&](int s, auto z) ORBELIX_INLINE {
                decltype(z) y[5];
                butterfly(s, y);
                for (int j = 0; j < 5; ++j) ch.put(s, out + j * L1, y[j]);
            });
            return;
        }
        float wr[5], wi[5];
        for (int j = 1; j < 5; ++j) {
            wr[j] = w.cos(i, j);
            wi[j] = w.sin(i, j);
        }
        for_each_sequence<S>(ns, [&](int s, auto z) ORBELIX_INLINE {
            decltype(z) y[5];
            butterfly(s, y);
            ch.put(s, out, y[0]);
            for (int j = 1; j < 5; ++j) ch.put(s, out + j * L1, twiddle<Fwd>(y[j], wr[j], wi[j]));
        });
    });
}

}  // namespace orbelix::fftpack
