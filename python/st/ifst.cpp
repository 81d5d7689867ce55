// Entry routine of the inverse fast S-transform; arguments by address.
#include "orbelix.h"
#include "orbelix/cfst1b.hpp"

extern "C" void ifst(const int *n, const float *s, float *h) {
    const int len = *n;
    if (len <= 0) return;
    using orbelix::cfloat;
    const orbelix::View2<const cfloat> in =
        orbelix::column_major(reinterpret_cast<const cfloat *>(s), len / 2 + 1, len);
    orbelix::cfst1b(in, {reinterpret_cast<cfloat *>(h), len, 1});
}
