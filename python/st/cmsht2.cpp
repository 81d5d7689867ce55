// Entry routine cmsht2: four local Hilbert measures of the l x m real image r
// at pixel (x, y) into the caller's four floats.
#include "local/rht14f.hpp"
#include "orbelix.h"
#include "core/c_boundary.hpp"

#include "entries.hpp"

void orbelix::entries::cmsht2(const int *l, const int *m, const float *r, const int *x,
                              const int *y, float *h, const float *coarse, const float *fine,
                              const int *kernel_size) {
    local::rht14f(column_major(r, *l, *m), *x, *y, *coarse, *fine, *kernel_size, h);
}

extern "C" void cmsht2(const int *l, const int *m, const float *r, const int *x, const int *y,
                       float *h, const float *coarse, const float *fine, const int *kernel_size) {
    orbelix::at_c_boundary("cmsht2",
                           [&] { orbelix::entries::cmsht2(l, m, r, x, y, h, coarse, fine, kernel_size); });
}
