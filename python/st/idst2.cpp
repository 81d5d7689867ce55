// Entry routine of the inverse 2-D discrete S-transform.
#include "orbelix.h"
#include "st2/cdst2b.hpp"
#include "st2/dst2_bands.hpp"
#include "core/c_boundary.hpp"

#include "entries.hpp"

// s: the n x n input, h: the result; both complex, column-major with
// leading dimension n. s is copied into h and transformed there. A side
// that is no power of two, or above 16384, is the silent fatal stop.
void orbelix::entries::idst2(const int *n, const float *s, float *h) {
    dst2_bands::transform_copy(*n, s, h, cdst2b);
}

extern "C" void idst2(const int *n, const float *s, float *h) {
    orbelix::at_c_boundary("idst2", [&] { orbelix::entries::idst2(n, s, h); });
}
