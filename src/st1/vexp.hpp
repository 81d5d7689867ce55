// The exponential of the Gaussian windows (vexp_kernel.hpp): one value, or
// many on the SIMD path in use; every path gives the same bits.
#pragma once

#include "core/simd/isa.hpp"
#include "core/simd/paths.hpp"

namespace orbelix {

// exp(x) within 1 ulp of the correctly rounded value for x in [-104, 0]; 0
// below -104. Meant for x <= 0.
float vexp(float x);

// y[i] = vexp(x[i]) on the given path (tests) or the active one.
void vexp_array(simd::Isa isa, const float *x, float *y, long long count);
void vexp_array(const float *x, float *y, long long count);

// w[i] = vexp(-(c * float(m*m)) / kk), m = m0 + step*i, i < count, for
// m0 >= 0 and m*m < 2^31, on the active path. Stops after the first exact 0
// (monotone arguments: every later value is 0 too) and returns the number
// of values up to and including it, or count; may write up to one SIMD
// block further, never past count.
int gauss_offsets(float c, float kk, int m0, int step, int count, float *w);
int gauss_offsets(simd::Isa isa, float c, float kk, int m0, int step, int count, float *w);

// The per-path entries behind the two routines above (vexp_kernels.cpp).
namespace vexp_paths {
ORBELIX_DECLARE_PATHS(void exp_array(const float *x, float *y, long long count);
                      int gauss_offsets(float c, float kk, int m0, int step, int count, float *w))
}  // namespace vexp_paths

}  // namespace orbelix
