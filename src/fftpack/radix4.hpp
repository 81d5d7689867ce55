// Radix-4 pass: a = x1 + x3, b = x1 - x3, e = x2 + x4, f = -+i*(x2 - x4)
// (minus forward); y1 = a + e, y3 = a - e, y2 = b + f, y4 = b - f.
#pragma once

#include "fftpack/complex_ops.hpp"
#include "fftpack/pass_layout.hpp"
#include "fftpack/pass_order.hpp"

namespace orbelix::fftpack {

template <bool Fwd>
struct Butterfly4 {
    static void apply(cfloat x1, cfloat x2, cfloat x3, cfloat x4, cfloat &y1, cfloat &y2,
                      cfloat &y3, cfloat &y4) {
        const cfloat a = x1 + x3, b = x1 - x3, e = x2 + x4;
        // -i*(x2 - x4) forward, +i*(x2 - x4) backward, as an exact swap.
        const cfloat f = Fwd ? cfloat{x2.im - x4.im, x4.re - x2.re}
                             : cfloat{x4.im - x2.im, x2.re - x4.re};
        y1 = a + e;
        y3 = a - e;
        y2 = b + f;
        y4 = b - f;
    }
};

template <bool Fwd, bool Many, class S>
void pass4(int lot, int ido, int l1, int na, S cc, S ch, const float *wa) {
    using B = Butterfly4<Fwd>;
    const int ns = batch<Many>(lot);
    const std::ptrdiff_t L1 = l1;
    if (ido == 1) {
        const float sn = 1.0f / static_cast<float>(4 * l1);
        const S out = na ? ch : cc;
        for (int k = 0; k < l1; ++k)
            for (int s = 0; s < ns; ++s) {
                cfloat y1, y2, y3, y4;
                B::apply(cc(s, k), cc(s, k + L1), cc(s, k + 2 * L1), cc(s, k + 3 * L1), y1, y2,
                         y3, y4);
                if constexpr (Fwd) {
                    y1 = sn * y1;
                    y2 = sn * y2;
                    y3 = sn * y3;
                    y4 = sn * y4;
                }
                out(s, k) = y1;
                out(s, k + L1) = y2;
                out(s, k + 2 * L1) = y3;
                out(s, k + 3 * L1) = y4;
            }
        return;
    }
    const Twiddles w{wa, ido, 4};
    const std::ptrdiff_t m1 = L1 * ido;
    for_each_group(l1, ido, [&](int k, int i) ORBELIX_INLINE {
        const std::ptrdiff_t in = k + L1 * i;
        const std::ptrdiff_t out = k + L1 * 4 * i;
        auto load = [&](int s, cfloat &y1, cfloat &y2, cfloat &y3, cfloat &y4) ORBELIX_INLINE {
            B::apply(cc(s, in), cc(s, in + m1), cc(s, in + 2 * m1), cc(s, in + 3 * m1), y1, y2,
                     y3, y4);
        };
        if (i == 0) {
            for (int s = 0; s < ns; ++s) {
                cfloat y1, y2, y3, y4;
                load(s, y1, y2, y3, y4);
                ch(s, out) = y1;
                ch(s, out + L1) = y2;
                ch(s, out + 2 * L1) = y3;
                ch(s, out + 3 * L1) = y4;
            }
            return;
        }
        const float c1 = w.cos(i, 1), s1 = w.sin(i, 1), c2 = w.cos(i, 2), s2 = w.sin(i, 2);
        const float c3 = w.cos(i, 3), s3 = w.sin(i, 3);
        for (int s = 0; s < ns; ++s) {
            cfloat y1, y2, y3, y4;
            load(s, y1, y2, y3, y4);
            ch(s, out) = y1;
            ch(s, out + L1) = twiddle<Fwd>(y2, c1, s1);
            ch(s, out + 2 * L1) = twiddle<Fwd>(y3, c2, s2);
            ch(s, out + 3 * L1) = twiddle<Fwd>(y4, c3, s3);
        }
    });
}

}  // namespace orbelix::fftpack
