// Half of a frequency-domain Gaussian window, the voice windows of the
// S-transforms: w[m] = exp(-(c * float(m*m)) / float(k*k)) for m = 0 .. count-1,
// squares formed exactly in 64-bit integers. c = 19.73921f gives gauss(k, m)
// of the fast S-transform bit for bit; a wider or narrower window scales c.
#pragma once

namespace orbelix {

void gauss_half_window(int k, float c, int count, float *w);

}  // namespace orbelix
