// The first pass of one contiguous sequence (L1 = 1, IDO > 1), with the
// groups i and i+1 side by side in one register: their inputs are
// neighbours in memory, their twiddles differ per lane, and their outputs
// lie p apart. Lane by lane the same operations as the radix passes.
#pragma once

#include "fftpack/complex_ops.hpp"
#include "fftpack/pass_layout.hpp"
#include "fftpack/pass_order.hpp"
#include "fftpack/butterflies.hpp"

namespace orbelix::fftpack {

// Twiddle cos -+ i sin with a different angle per lane.
template <bool Fwd>
inline cpair twiddle_lanes(cpair y, v4sf wr, v4sf wi) {
    const v4sf a = wr * y.v, b = wi * lanes::swap_parts(y.v);
    return {a + lanes::flip(b, Fwd ? lanes::kIm : lanes::kRe)};
}

template <bool Fwd, int P>
void first_pass(int ido, const cfloat *cc, cfloat *ch, const float *wa) {
    const Twiddles w{wa, ido, P};
    const std::ptrdiff_t m1 = ido;
    // Group 0 needs no twiddle.
    {
        cfloat x[P], y[P];
        for (int m = 0; m < P; ++m) x[m] = cc[m * m1];
        Butterfly<Fwd, P>::apply(x, y);
        for (int j = 0; j < P; ++j) ch[j] = y[j];
    }
    int i = 1;
    for (; i + 2 <= ido; i += 2) {
        cpair x[P], y[P];
        for (int m = 0; m < P; ++m) x[m] = load_pair(cc + i + m * m1);
        Butterfly<Fwd, P>::apply(x, y);
        cfloat *out0 = ch + static_cast<std::ptrdiff_t>(P) * i, *out1 = out0 + P;
        for (int j = 0; j < P; ++j) {
            cpair z = y[j];
            if (j > 0) {
                const float *c = &wa[i + ido * (j - 1)], *s = &wa[i + ido * (j - 1 + (P - 1))];
                z = twiddle_lanes<Fwd>(z, v4sf{c[0], c[0], c[1], c[1]},
                                       v4sf{s[0], s[0], s[1], s[1]});
            }
            out0[j] = {z.v[0], z.v[1]};
            out1[j] = {z.v[2], z.v[3]};
        }
    }
    for (; i < ido; ++i) {
        cfloat x[P], y[P];
        for (int m = 0; m < P; ++m) x[m] = cc[i + m * m1];
        Butterfly<Fwd, P>::apply(x, y);
        ch[P * i] = y[0];
        for (int j = 1; j < P; ++j) ch[P * i + j] = twiddle<Fwd>(y[j], w.cos(i, j), w.sin(i, j));
    }
}

}  // namespace orbelix::fftpack
