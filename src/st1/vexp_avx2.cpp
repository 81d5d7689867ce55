// The window exponential, 8 floats per register.
#include "st1/vexp.hpp"
#include "st1/vexp_kernel.hpp"

namespace orbelix::vexp_paths {

void exp_array_avx2(const float *x, float *y, long long count) {
    Vexp<8>::exp_array(x, y, count);
}

int gauss_offsets_avx2(float c, float kk, int m0, int step, int count, float *w) {
    return Vexp<8>::gauss_offsets(c, kk, m0, step, count, w);
}

}  // namespace orbelix::vexp_paths
