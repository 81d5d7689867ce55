// Entry routine of the inverse 2-D discrete S-transform.
#include "orbelix.h"
#include "orbelix/cdst2b.hpp"
#include "orbelix/dst2_bands.hpp"

// s: the n x n input, h: the result; both complex, column-major with
// leading dimension n. s is copied into h and transformed there.
extern "C" void idst2(const int *n, const float *s, float *h) {
    orbelix::dst2_bands::transform_copy(*n, s, h, orbelix::cdst2b);
}
