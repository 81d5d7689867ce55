// Entry routine of the forward 2-D discrete S-transform.
#include "orbelix.h"
#include "st2/cdst2f.hpp"
#include "st2/dst2_bands.hpp"
#include "core/c_boundary.hpp"

#include "entries.hpp"

// h: the n x n input, s: the result; both complex, column-major with
// leading dimension n. h is copied into s and transformed there. A side
// that is no power of two, or above 16384, is the silent fatal stop.
void orbelix::entries::dst2(const int *n, const float *h, float *s) {
    dst2_bands::transform_copy(*n, h, s, cdst2f);
}

extern "C" void dst2(const int *n, const float *h, float *s) {
    orbelix::at_c_boundary("dst2", [&] { orbelix::entries::dst2(n, h, s); });
}
