// The entry routines' bodies, which may throw: std::bad_alloc when memory
// runs out, std::overflow_error for a size beyond their 32-bit arithmetic.
// The C entry routines of orbelix.h run them inside at_c_boundary (a fatal
// stop with a message); the Python wrappers call them directly and raise the
// matching Python exception instead.
#pragma once

namespace orbelix::entries {

void fst(const int *n, const float *h, float *s);
void ifst(const int *n, const float *s, float *h);
void dst2(const int *n, const float *h, float *s);
void idst2(const int *n, const float *s, float *h);
void imfreq(const int *l, const int *m, const float *s, const int *x, const int *y, float *h);
void cmsht2(const int *l, const int *m, const float *r, const int *x, const int *y, float *h,
            const float *coarse, const float *fine, const int *kernel_size);

}  // namespace orbelix::entries
