// Half of a frequency-domain Gaussian window, the voice windows of the
// S-transforms: w[m] = exp(-(c * float(m*m)) / float(k*k)) for m = 0 .. count-1,
// squares formed exactly in 64-bit integers, the exponential that of
// vexp.hpp. c = 19.73921f gives gauss(k, m) of the fast S-transform bit for
// bit; a wider or narrower window scales c.
//
// The window falls with m and the exponential is exactly 0 below -104, so
// evaluation stops at the first 0.
#pragma once

namespace orbelix {

// The window constant c of the S-transform's own window (2 pi^2 rounded to
// float): w(m) = exp(-c m^2 / k^2). Every layer forms its windows from it.
constexpr float kWindowConstant = 19.73921f;

void gauss_half_window(int k, float c, int count, float *w);

// The same into a window buffer that is reused voice after voice: entries
// from `zero_from` on are 0 on entry. Evaluates up to the first 0, clears
// what an earlier, wider window left beyond it, and returns the new
// zero_from (entries from it on are 0; it is count if none underflowed).
int gauss_half_window(int k, float c, int count, float *w, int zero_from);

// Voice 2k's half window from voice k's (k >= 1): since both squares scale
// by 4 exactly, w[2j] = half[j], and only the odd offsets are evaluated.
// half holds voice k's window with entries from half_zero_from on 0 and at
// least (count+1)/2 entries. `scratch` has room for count/2 + 16 floats.
// Same contract for w and zero_from as above.
int gauss_half_window_doubled(int k, float c, const float *half, int half_zero_from, int count,
                              float *w, int zero_from, float *scratch);

}  // namespace orbelix
