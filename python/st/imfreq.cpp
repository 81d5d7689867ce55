// Entry routine imfreq: the local frequency domain of pixel (x, y) of an
// l x l complex coefficient matrix into the caller's (2m+1) x (2m+1) array.
#include <algorithm>
#include <vector>

#include "orbelix.h"
#include "orbelix/lfrqdm.hpp"

void imfreq(const int *l, const int *m, const float *s, const int *x, const int *y, float *h) {
    using orbelix::cfloat;
    const auto *coefficients = reinterpret_cast<const cfloat *>(s);
    const std::vector<cfloat> local = orbelix::lfrqdm(orbelix::column_major(coefficients, *l, *l), *x, *y);
    const int side = 2 * orbelix::lfrqdm_bands(*l) + 1;  // 2M + 1
    const int ld = 2 * *m + 1;                            // the caller's extent
    // Element (i, j) goes to (i + M, j + M) of h. m is M by contract; should
    // a caller's m be smaller, only what fits in its array is written.
    const int fit = std::min(side, ld);
    auto *out = reinterpret_cast<cfloat *>(h);
    for (int j = 0; j < fit; ++j)
        std::copy_n(local.begin() + static_cast<long>(j) * side, fit, out + static_cast<long>(j) * ld);
}
