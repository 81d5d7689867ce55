// The window exponential of one SIMD path, a register of floats at a time;
// compiled once per instruction set.
#include "core/simd/paths.hpp"
#include "st1/vexp.hpp"
#include "st1/vexp_kernel.hpp"

namespace orbelix::vexp_paths::ORBELIX_KERNEL_ISA {

void exp_array(const float *x, float *y, long long count) {
    Vexp<ORBELIX_KERNEL_FLOATS>::exp_array(x, y, count);
}

int gauss_offsets(float c, float kk, int m0, int step, int count, float *w) {
    return Vexp<ORBELIX_KERNEL_FLOATS>::gauss_offsets(c, kk, m0, step, count, w);
}

}  // namespace orbelix::vexp_paths::ORBELIX_KERNEL_ISA
