// Radix-5 pass: a1 = x2 + x5, b1 = x2 - x5, a2 = x3 + x4, b2 = x3 - x4;
// y1 = x1 + a1 + a2; c2 = x1 + TR11*a1 + TR12*a2, d2 = TI11*b1 + TI12*b2,
// c3 = x1 + TR12*a1 + TR11*a2, d3 = TI12*b1 - TI11*b2;
// y2, y5 = c2 +- i*d2; y3, y4 = c3 +- i*d3.
#pragma once

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

    static void apply(cfloat x1, cfloat x2, cfloat x3, cfloat x4, cfloat x5, cfloat &y1,
                      cfloat &y2, cfloat &y3, cfloat &y4, cfloat &y5) {
        const cfloat a1 = x2 + x5, b1 = x2 - x5, a2 = x3 + x4, b2 = x3 - x4;
        y1 = x1 + a1 + a2;
        const cfloat c2 = x1 + tr11 * a1 + tr12 * a2;
        const cfloat d2 = ti11 * b1 + ti12 * b2;
        const cfloat c3 = x1 + tr12 * a1 + tr11 * a2;
        const cfloat d3 = ti12 * b1 - ti11 * b2;
        y2 = c2 + times_i(d2);
        y5 = c2 - times_i(d2);
        y3 = c3 + times_i(d3);
        y4 = c3 - times_i(d3);
    }
};

template <bool Fwd, bool Many, class S>
void pass5(int lot, int ido, int l1, int na, S cc, S ch, const float *wa) {
    using B = Butterfly5<Fwd>;
    const int ns = batch<Many>(lot);
    const std::ptrdiff_t L1 = l1;
    if (ido == 1) {
        const float sn = 1.0f / static_cast<float>(5 * l1);
        const S out = na ? ch : cc;
        for (int k = 0; k < l1; ++k)
            for (int s = 0; s < ns; ++s) {
                cfloat y[5];
                B::apply(cc(s, k), cc(s, k + L1), cc(s, k + 2 * L1), cc(s, k + 3 * L1),
                         cc(s, k + 4 * L1), y[0], y[1], y[2], y[3], y[4]);
                for (int j = 0; j < 5; ++j) out(s, k + j * L1) = Fwd ? sn * y[j] : y[j];
            }
        return;
    }
    const Twiddles w{wa, ido, 5};
    const std::ptrdiff_t m1 = L1 * ido;
    for_each_group(l1, ido, [&](int k, int i) ORBELIX_INLINE {
        const std::ptrdiff_t in = k + L1 * i;
        const std::ptrdiff_t out = k + L1 * 5 * i;
        auto load = [&](int s, cfloat *y) ORBELIX_INLINE {
            B::apply(cc(s, in), cc(s, in + m1), cc(s, in + 2 * m1), cc(s, in + 3 * m1),
                     cc(s, in + 4 * m1), y[0], y[1], y[2], y[3], y[4]);
        };
        if (i == 0) {
            for (int s = 0; s < ns; ++s) {
                cfloat y[5];
                load(s, y);
                for (int j = 0; j < 5; ++j) ch(s, out + j * L1) = y[j];
            }
            return;
        }
        float wr[5], wi[5];
        for (int j = 1; j < 5; ++j) {
            wr[j] = w.cos(i, j);
            wi[j] = w.sin(i, j);
        }
        for (int s = 0; s < ns; ++s) {
            cfloat y[5];
            load(s, y);
            ch(s, out) = y[0];
            for (int j = 1; j < 5; ++j) ch(s, out + j * L1) = twiddle<Fwd>(y[j], wr[j], wi[j]);
        }
    });
}

}  // namespace orbelix::fftpack
