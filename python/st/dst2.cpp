// Entry routine of the forward 2-D discrete S-transform.
#include "orbelix.h"
#include "orbelix/cdst2f.hpp"
#include "orbelix/dst2_bands.hpp"

// h: the n x n input, s: the result; both complex, column-major with
// leading dimension n. h is copied into s and transformed there.
extern "C" void dst2(const int *n, const float *h, float *s) {
    orbelix::dst2_bands::transform_copy(*n, h, s, orbelix::cdst2f);
}
