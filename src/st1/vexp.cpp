#include "st1/vexp.hpp"

#include "st1/vexp_kernel.hpp"

namespace orbelix {

namespace vexp_paths {
void exp_array_sse2(const float *x, float *y, long long count) {
    Vexp<4>::exp_array(x, y, count);
}
int gauss_offsets_sse2(float c, float kk, int m0, int step, int count, float *w) {
    return Vexp<4>::gauss_offsets(c, kk, m0, step, count, w);
}
}  // namespace vexp_paths

float vexp(float x) { return Vexp<4>::exp(Vexp<4>::splat(x))[0]; }

void vexp_array(simd::Isa isa, const float *x, float *y, long long count) {
    switch (isa) {
    case simd::Isa::avx512: vexp_paths::exp_array_avx512(x, y, count); break;
    case simd::Isa::avx2: vexp_paths::exp_array_avx2(x, y, count); break;
    default: vexp_paths::exp_array_sse2(x, y, count); break;
    }
}

void vexp_array(const float *x, float *y, long long count) {
    vexp_array(simd::active(), x, y, count);
}

int gauss_offsets(simd::Isa isa, float c, float kk, int m0, int step, int count, float *w) {
    switch (isa) {
    case simd::Isa::avx512: return vexp_paths::gauss_offsets_avx512(c, kk, m0, step, count, w);
    case simd::Isa::avx2: return vexp_paths::gauss_offsets_avx2(c, kk, m0, step, count, w);
    default: return vexp_paths::gauss_offsets_sse2(c, kk, m0, step, count, w);
    }
}

int gauss_offsets(float c, float kk, int m0, int step, int count, float *w) {
    return gauss_offsets(simd::active(), c, kk, m0, step, count, w);
}

}  // namespace orbelix
