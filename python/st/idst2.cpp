// Entry routine of the inverse 2-D discrete S-transform.
#include <cstring>

#include "orbelix.h"
#include "orbelix/cdst2b.hpp"
#include "orbelix/dst2_bands.hpp"

// s: the n x n coefficients, h: the image; both complex, column-major with
// leading dimension n. s is copied into h and transformed there.
extern "C" void idst2(const int *n, const float *s, float *h) {
    using namespace orbelix;
    const int side = *n;
    if (side == 0) return;
    const View2<cfloat> a = column_major(reinterpret_cast<cfloat *>(h), side, side);
    // Refuse a bad side before touching h.
    dst2_bands::require_valid_side(a);
    if (s != h)
        std::memcpy(h, s, static_cast<std::size_t>(side) * side * sizeof(cfloat));
    cdst2b(a);
}
