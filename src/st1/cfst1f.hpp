// Forward fast S-transform of a complex signal.
#pragma once

#include <vector>

#include "core/view.hpp"

namespace orbelix {

// Frequency-domain Gaussian window of voice k (k >= 1) at offset m:
// expf(-(19.73921f * float(m*m)) / float(k*k)), squares formed exactly.
float gauss(int k, int m);

// Coefficients of h (length n >= 0): n/2+1 voices by n times, column-major
// (voice k, time t at k + t*(n/2+1)). Row 0 is the mean of h; row k >= 1 is
// the backward transform of the analytic spectrum shifted by k and windowed
// by gauss(k, .). h is not modified.
std::vector<cfloat> cfst1f(View1<const cfloat> h);

// The same, written into s (extents n/2+1 by n, any strides), so a caller
// that owns the result array needs no second copy of it. Between blocks of
// voices it polls for an interruption (interrupt.hpp).
void cfst1f(View1<const cfloat> h, View2<cfloat> s);

// The same, computing voices_per_block voices before storing them (0: as
// many as cfst1f picks for the caches). The result does not depend on it.
void cfst1f_in_blocks(View1<const cfloat> h, View2<cfloat> s, int voices_per_block);

}  // namespace orbelix
