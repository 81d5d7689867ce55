// Integer base-2 logarithm as the FFT engine sizes its tables.
#pragma once

namespace orbelix::mutl {

// trunc(logf(float(n)) / 0.6931472f): deliberately the single-precision
// expression, not an exact floor(log2 n), because the engine's length checks
// evaluate the same one (8192 gives 12, 2097151 gives 21). 0 and negative n
// give INT_MIN.
int ilog2(int n);

}  // namespace orbelix::mutl
