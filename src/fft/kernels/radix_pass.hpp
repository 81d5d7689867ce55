// One pass of radix P = 2, 3, 4 or 5 over a batch of sequences (the kernels
// c1f2kf ... c1f5kb for one sequence, cmf2kf ... cmf5kb for a batch).
//
// Three paths: the last pass (IDO = 1), in place when the data are still in
// cc (NA = 0) and from cc into ch otherwise, scaled by sn = 1/N when
// forward; and IDO > 1, the butterfly of group i = 0 as it is and of every
// other group followed by the twiddles of outputs 1 .. P-1.
#pragma once

#include <type_traits>

#include "fft/kernels/butterflies.hpp"
#include "fft/kernels/complex_ops.hpp"
#include "fft/kernels/pass_layout.hpp"
#include "fft/kernels/pass_order.hpp"

namespace orbelix::fftpack {
inline namespace ORBELIX_KERNEL_ISA {

template <bool Fwd, bool Many, int P, class S>
void radix_pass(int lot, int ido, int l1, int na, S cc, S ch, const float *wa, float sn) {
    using B = Butterfly<Fwd, P>;
    const int ns = batch<Many>(lot);
    const std::ptrdiff_t L1 = l1;
    if (ido == 1) {
        const S out = na ? ch : cc;
        for (int k = 0; k < l1; ++k)
            for_each_sequence<S>(ns, [&](int s, auto z) ORBELIX_INLINE {
                using V = decltype(z);
                V x[P], y[P];
                for (int m = 0; m < P; ++m) x[m] = cc.template get<V>(s, k + m * L1);
                B::apply(x, y);
                for (int j = 0; j < P; ++j) {
                    if constexpr (Fwd)
                        out.put(s, k + j * L1, sn * y[j]);
                    else
                        out.put(s, k + j * L1, y[j]);
                }
            });
        return;
    }
    const Twiddles w{wa, ido, P};
    const std::ptrdiff_t m1 = L1 * ido;  // input distance of the P terms
    for_each_group(l1, ido, [&](int k, int i) ORBELIX_INLINE {
        const std::ptrdiff_t in = k + L1 * i;
        const std::ptrdiff_t out = k + L1 * P * i;
        auto butterfly = [&](int s, auto *y) ORBELIX_INLINE {
            using V = std::remove_pointer_t<decltype(y)>;
            V x[P];
            for (int m = 0; m < P; ++m) x[m] = cc.template get<V>(s, in + m * m1);
            B::apply(x, y);
        };
        // Separate loops with and without twiddles: no branch inside.
        if (i == 0) {
            for_each_sequence<S>(ns, [&](int s, auto z) ORBELIX_INLINE {
                decltype(z) y[P];
                butterfly(s, y);
                for (int j = 0; j < P; ++j) ch.put(s, out + j * L1, y[j]);
            });
            return;
        }
        float wr[P], wi[P];
        for (int j = 1; j < P; ++j) {
            wr[j] = w.cos(i, j);
            wi[j] = w.sin(i, j);
        }
        for_each_sequence<S>(ns, [&](int s, auto z) ORBELIX_INLINE {
            decltype(z) y[P];
            butterfly(s, y);
            ch.put(s, out, y[0]);
            for (int j = 1; j < P; ++j) ch.put(s, out + j * L1, twiddle<Fwd>(y[j], wr[j], wi[j]));
        });
    });
}

}  // namespace ORBELIX_KERNEL_ISA
}  // namespace orbelix::fftpack
