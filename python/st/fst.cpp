// Entry routine of the forward fast S-transform; arguments by address.
#include "orbelix.h"
#include "orbelix/cfst1f.hpp"

extern "C" void fst(const int *n, const float *h, float *s) {
    const int len = *n;
    if (len <= 0) return;
    using orbelix::cfloat;
    const orbelix::View1<const cfloat> in{reinterpret_cast<const cfloat *>(h), len, 1};
    // Written straight into the caller's array: no second result-sized copy.
    orbelix::cfst1f(in, orbelix::column_major(reinterpret_cast<cfloat *>(s), len / 2 + 1, len));
}
