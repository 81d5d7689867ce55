// Entry routine of the forward fast S-transform; arguments by address.
#include "orbelix.h"
#include "st1/cfst1f.hpp"
#include "core/c_boundary.hpp"

#include "entries.hpp"
#include "size_limits.hpp"

void orbelix::entries::fst(const int *n, const float *h, float *s) {
    const int len = *n;
    if (len <= 0) return;
    require_fft_length("n", len);
    const View1<const cfloat> in{reinterpret_cast<const cfloat *>(h), len, 1};
    // Written straight into the caller's array: no second result-sized copy.
    cfst1f(in, column_major(reinterpret_cast<cfloat *>(s), len / 2 + 1, len));
}

extern "C" void fst(const int *n, const float *h, float *s) {
    orbelix::at_c_boundary("fst", [&] { orbelix::entries::fst(n, h, s); });
}
