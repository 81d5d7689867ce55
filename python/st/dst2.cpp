// Entry routine of the forward 2-D discrete S-transform.
#include <cstring>

#include "orbelix.h"
#include "orbelix/cdst2f.hpp"
#include "orbelix/dst2_bands.hpp"

// h: the n x n image, s: the coefficients; both complex, column-major with
// leading dimension n. h is copied into s and transformed there.
extern "C" void dst2(const int *n, const float *h, float *s) {
    using namespace orbelix;
    const int side = *n;
    if (side == 0) return;
    const View2<cfloat> a = column_major(reinterpret_cast<cfloat *>(s), side, side);
    // Refuse a bad side before touching s.
    dst2_bands::require_valid_side(a);
    if (h != s)
        std::memcpy(s, h, static_cast<std::size_t>(side) * side * sizeof(cfloat));
    cdst2f(a);
}
