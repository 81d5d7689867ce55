// Entry routine imfreq: the local frequency domain of pixel (x, y) of an
// l x l complex coefficient matrix into the caller's (2m+1) x (2m+1) array.
#include <algorithm>
#include <climits>
#include <vector>

#include "orbelix.h"
#include "core/c_boundary.hpp"
#include "local/lfrqdm.hpp"

#include "entries.hpp"
#include "size_limits.hpp"

void orbelix::entries::imfreq(const int *l, const int *m, const float *s, const int *x,
                              const int *y, float *h) {
    // The caller's extent 2m + 1 must be a 32-bit integer; below m = 0 it
    // holds no element to write (and 2m + 1 could wrap).
    if (*m > (INT_MAX - 1) / 2) too_large("m", *m, "2m+1 exceeds 32-bit sizes");
    if (*m < 0) return;
    const auto *coefficients = reinterpret_cast<const cfloat *>(s);
    const std::vector<cfloat> local = lfrqdm(column_major(coefficients, *l, *l), *x, *y);
    const int side = 2 * lfrqdm_bands(*l) + 1;  // 2M + 1
    const int ld = 2 * *m + 1;                   // the caller's extent
    // Element (i, j) goes to (i + M, j + M) of h. m is M by contract; should
    // a caller's m be smaller, only what fits in its array is written.
    const int fit = std::min(side, ld);
    auto *out = reinterpret_cast<cfloat *>(h);
    for (int j = 0; j < fit; ++j)
        std::copy_n(local.begin() + static_cast<long>(j) * side, fit, out + static_cast<long>(j) * ld);
}

extern "C" void imfreq(const int *l, const int *m, const float *s, const int *x, const int *y,
                       float *h) {
    orbelix::at_c_boundary("imfreq", [&] { orbelix::entries::imfreq(l, m, s, x, y, h); });
}
