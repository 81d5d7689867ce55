#include "local/rht14f.hpp"

#include <algorithm>

namespace orbelix::local {

void rht14f(View2<const float> r, int x, int y, float coarse, float fine, int kernel_size, float *h) {
    const long long K = kernel_size;
    float E = 0.0f, O1 = 0.0f, O2 = 0.0f, Q = 0.0f;
    // Offsets whose pixel lies outside the image are left out of the loops.
    const long long i_lo = std::max(-K, -static_cast<long long>(y));
    const long long i_hi = std::min(K, r.n2 - 1LL - y);
    const long long j_lo = std::max(-K, -static_cast<long long>(x));
    const long long j_hi = std::min(K, r.n1 - 1LL - x);

    for (long long i = i_lo; i <= i_hi; ++i) {      // column offset
        for (long long j = j_lo; j <= j_hi; ++j) {  // row offset
            const OffsetWeights w = offset_weights(i, j, coarse, fine);
            const float v = r(x + j, y + i);
            E = E + w.even * v;
            const float d = v * w.odd;
            O1 = O1 + w.p1 * d;
            O2 = O2 + w.p2 * d;
            Q = Q + w.p3 * d;
        }
    }
    measures_from_sums(E, O1, O2, Q, h);
}

}  // namespace orbelix::local
