// Entry routine cmsht2: four local Hilbert measures of the l x m real image r
// at pixel (x, y) into the caller's four floats.
#include "hilbrt/rht14f.hpp"
#include "orbelix.h"

void cmsht2(const int *l, const int *m, const float *r, const int *x, const int *y, float *h,
            const float *coarse, const float *fine, const int *kernel_size) {
    orbelix::hilbrt::rht14f(orbelix::column_major(r, *l, *m), *x, *y, *coarse, *fine, *kernel_size, h);
}
