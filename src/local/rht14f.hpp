// Local Hilbert measures of a real image at one pixel.
#pragma once

#include <cmath>
#include <initializer_list>

#include "core/view.hpp"

namespace orbelix::local {

// The terms of the measures below, shared with the whole-image maps
// (analysis/image/local_measures) so that both give the same bits.

// Weights of the window pixel j rows below and i columns right of the
// centre: u = i^2 + j^2 + 1, (p1, p2, p3) = (j, i, u - 1) / u,
// a = p1^2 + p2^2 + p3^2, F_s = sqrt(s^2 + a), and
//   even = fine F_fine - coarse F_coarse,   odd = F_fine - F_coarse.
// A pixel v adds even v to E and p v odd to (O1, O2, Q).
struct OffsetWeights {
    float even, odd, p1, p2, p3;
};

inline OffsetWeights offset_weights(long long i, long long j, float coarse, float fine) {
    const float u = static_cast<float>(i * i + j * j + 1);
    const float p1 = static_cast<float>(j) / u;
    const float p2 = static_cast<float>(i) / u;
    const float p3 = (u - 1.0f) / u;
    const float a = (p1 * p1 + p2 * p2) + p3 * p3;
    const float f_fine = std::sqrt(fine * fine + a);
    const float f_coarse = std::sqrt(coarse * coarse + a);
    return {fine * f_fine - coarse * f_coarse, f_fine - f_coarse, p1, p2, p3};
}

// Euclidean norm of three values with a running scale, so that squaring
// neither overflows nor underflows; zero components are skipped.
inline float scaled_norm3(float a, float b, float c) {
    float scale = 1.0f;
    float sum = 0.0f;
    for (const float value : {a, b, c}) {
        if (value == 0.0f) continue;
        const float mag = std::fabs(value);
        if (mag > scale) {
            const float ratio = scale / mag;
            sum = 1.0f + ratio * ratio * sum;
            scale = mag;
        } else {
            const float ratio = mag / scale;
            sum = sum + ratio * ratio;
        }
    }
    return scale * std::sqrt(sum);
}

// The measures from the sums E, O1, O2, Q:
//   h[0] = hypot(O1, O2) / Q, h[1] = atan2(O2, O1),
//   h[2] = atan2(|(O1, O2, Q)|, E), h[3] = E^2 + O1^2 + O2^2 + Q^2.
// Non-finite results (Q = 0 gives a NaN or infinite ratio) come as they are.
inline void measures_from_sums(float e, float o1, float o2, float q, float *h) {
    h[0] = std::hypot(o1, o2) / q;
    h[1] = std::atan2(o2, o1);
    h[2] = std::atan2(scaled_norm3(o1, o2, q), e);
    h[3] = ((e * e + o1 * o1) + o2 * o2) + q * q;
}

// Filters the (2K+1) x (2K+1) window of r centred on row x, column y
// (0-based; K = kernel_size) with four fine-minus-coarse kernels and writes
// h[0] ... h[3]:
//   h[0] = hypot(O1, O2) / Q      ratio of in-plane odd to radial response
//   h[1] = atan2(O2, O1)          orientation angle, radians
//   h[2] = atan2(|(O1, O2, Q)|, E) phase angle, radians, in [0, pi]
//   h[3] = E^2 + O1^2 + O2^2 + Q^2 energy
// where, for the pixel j rows below and i columns right of the centre,
// u = i^2 + j^2 + 1, (p1, p2, p3) = (j, i, u - 1) / u, a = p1^2 + p2^2 + p3^2,
// F_s = sqrt(s^2 + a) and v = r(x + j, y + i):
//   E += (fine F_fine - coarse F_coarse) v
//   (O1, O2, Q) += (p1, p2, p3) (F_fine - F_coarse) v.
// Everything is single precision in this order, columns outer, rows inner.
// K <= 0 visits only the centre or nothing; pixels of the window outside the
// image contribute nothing (as zeros would). Non-finite results (Q = 0 gives
// a NaN or infinite ratio) are returned as they come.
void rht14f(View2<const float> r, int x, int y, float coarse, float fine, int kernel_size, float *h);

}  // namespace orbelix::local
