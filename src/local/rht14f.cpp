#include "local/rht14f.hpp"

#include <algorithm>
#include <cmath>

namespace orbelix::local {

namespace {

// Euclidean norm of three values with a running scale, so that squaring
// neither overflows nor underflows; zero components are skipped.
float scaled_norm3(float a, float b, float c) {
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

}  // namespace

void rht14f(View2<const float> r, int x, int y, float coarse, float fine, int kernel_size, float *h) {
    const long long K = kernel_size;
    float E = 0.0f, O1 = 0.0f, O2 = 0.0f, Q = 0.0f;
    // Offsets whose pixel lies outside the image are left out of the loops.
    const long long i_lo = std::max(-K, -static_cast<long long>(y));
    const long long i_hi = std::min(K, r.n2 - 1LL - y);
    const long long j_lo = std::max(-K, -static_cast<long long>(x));
    const long long j_hi = std::min(K, r.n1 - 1LL - x);
    const float fine2 = fine * fine, coarse2 = coarse * coarse;

    for (long long i = i_lo; i <= i_hi; ++i) {      // column offset
        for (long long j = j_lo; j <= j_hi; ++j) {  // row offset
            const float u = static_cast<float>(i * i + j * j + 1);
            const float p1 = static_cast<float>(j) / u;
            const float p2 = static_cast<float>(i) / u;
            const float p3 = (u - 1.0f) / u;
            const float a = (p1 * p1 + p2 * p2) + p3 * p3;
            const float f_fine = std::sqrt(fine2 + a);
            const float f_coarse = std::sqrt(coarse2 + a);
            const float v = r(x + j, y + i);
            E = E + (fine * f_fine - coarse * f_coarse) * v;
            const float d = v * (f_fine - f_coarse);
            O1 = O1 + p1 * d;
            O2 = O2 + p2 * d;
            Q = Q + p3 * d;
        }
    }

    h[0] = std::hypot(O1, O2) / Q;
    h[1] = std::atan2(O2, O1);
    h[2] = std::atan2(scaled_norm3(O1, O2, Q), E);
    h[3] = ((E * E + O1 * O1) + O2 * O2) + Q * Q;
}

}  // namespace orbelix::local
