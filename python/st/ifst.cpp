// Entry routine of the inverse fast S-transform; arguments by address.
#include "orbelix.h"
#include "st1/cfst1b.hpp"
#include "core/c_boundary.hpp"

#include "entries.hpp"
#include "size_limits.hpp"

void orbelix::entries::ifst(const int *n, const float *s, float *h) {
    const int len = *n;
    if (len <= 0) return;
    require_fft_length("n", len);
    const View2<const cfloat> in =
        column_major(reinterpret_cast<const cfloat *>(s), len / 2 + 1, len);
    cfst1b(in, {reinterpret_cast<cfloat *>(h), len, 1});
}

extern "C" void ifst(const int *n, const float *s, float *h) {
    orbelix::at_c_boundary("ifst", [&] { orbelix::entries::ifst(n, s, h); });
}
