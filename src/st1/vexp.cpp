#include "st1/vexp.hpp"

#include "st1/vexp_kernel.hpp"

namespace orbelix {

float vexp(float x) { return Vexp<4>::exp(Vexp<4>::splat(x))[0]; }

void vexp_array(simd::Isa isa, const float *x, float *y, long long count) {
    using namespace vexp_paths;
    ORBELIX_ON_PATH(isa, exp_array(x, y, count));
}

void vexp_array(const float *x, float *y, long long count) {
    vexp_array(simd::active(), x, y, count);
}

int gauss_offsets(simd::Isa isa, float c, float kk, int m0, int step, int count, float *w) {
    using namespace vexp_paths;
    return ORBELIX_ON_PATH(isa, gauss_offsets(c, kk, m0, step, count, w));
}

int gauss_offsets(float c, float kk, int m0, int step, int count, float *w) {
    return gauss_offsets(simd::active(), c, kk, m0, step, count, w);
}

}  // namespace orbelix
