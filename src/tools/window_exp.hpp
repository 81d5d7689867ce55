// A fast single-precision exponential for window values, written so that
// the compiler can run it over whole blocks in SIMD registers: the same
// operations in every lane, so any vector width gives the same bits.
#pragma once

namespace orbelix::tools {

// out[i] = exp(q[i]) for -160 <= q[i] <= 0 (callers clamp: a clamp here would
// be folded into a branch that stops vectorisation), within 2 ulp of the
// exact value; 0 below about -104, where single precision underflows. Not libm's expf: the
// folded voices use it, which only promise single-precision accuracy.
void window_exp(const float *q, float *out, int count);

}  // namespace orbelix::tools
