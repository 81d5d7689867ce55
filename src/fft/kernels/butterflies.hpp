// The p-point butterflies of the radix 2, 3, 4 and 5 passes, on one value
// (cfloat) or two side by side (cpair), s = -1 forward and +1 backward:
//
//   2: y1 = x1 + x2, y2 = x1 - x2
//   3: y1 = x1 + (x2 + x3); c = x1 + TAUR*(x2 + x3), d = TAUI*(x2 - x3);
//      y2 = c + i*d, y3 = c - i*d
//   4: a = x1 + x3, b = x1 - x3, e = x2 + x4, f = s*i*(x2 - x4);
//      y1 = a + e, y3 = a - e, y2 = b + f, y4 = b - f
//   5: a1 = x2 + x5, b1 = x2 - x5, a2 = x3 + x4, b2 = x3 - x4;
//      y1 = x1 + a1 + a2; c2 = x1 + TR11*a1 + TR12*a2, d2 = TI11*b1 + TI12*b2,
//      c3 = x1 + TR12*a1 + TR11*a2, d3 = TI12*b1 - TI11*b2;
//      y2, y5 = c2 +- i*d2; y3, y4 = c3 +- i*d3
//
// The constants are the nearest floats to cos and -+sin of 2pi/3, 2pi/5 and
// 4pi/5.
#pragma once

#include "fft/kernels/complex_ops.hpp"

namespace orbelix::fftpack {
inline namespace ORBELIX_KERNEL_ISA {

template <bool Fwd, int P>
struct Butterfly;

template <bool Fwd>
struct Butterfly<Fwd, 2> {
    template <class V>
    ORBELIX_INLINE static void apply(const V *x, V *y) {
        y[0] = x[0] + x[1];
        y[1] = x[0] - x[1];
    }
};

template <bool Fwd>
struct Butterfly<Fwd, 3> {
    static constexpr float taur = -0.5f;
    static constexpr float taui = Fwd ? -0.8660254f : 0.8660254f;

    template <class V>
    ORBELIX_INLINE static void apply(const V *x, V *y) {
        const V t = x[1] + x[2];
        const V c = x[0] + taur * t;
        const V d = taui * (x[1] - x[2]);
        y[0] = x[0] + t;
        y[1] = c + times_i(d);
        y[2] = c - times_i(d);
    }
};

template <bool Fwd>
struct Butterfly<Fwd, 4> {
    template <class V>
    ORBELIX_INLINE static void apply(const V *x, V *y) {
        const V a = x[0] + x[2], b = x[0] - x[2], e = x[1] + x[3];
        // -i*(x2 - x4) forward, +i*(x2 - x4) = -i*(x4 - x2) backward.
        const V f = Fwd ? minus_i_diff(x[1], x[3]) : minus_i_diff(x[3], x[1]);
        y[0] = a + e;
        y[2] = a - e;
        y[1] = b + f;
        y[3] = b - f;
    }
};

template <bool Fwd>
struct Butterfly<Fwd, 5> {
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

}  // namespace ORBELIX_KERNEL_ISA
}  // namespace orbelix::fftpack
