// A batch of sequences of one length through the passes, in any layout
// the multiple-sequence routines accept.
#pragma once

#include "core/view.hpp"

namespace orbelix::fftpack {

// lot sequences of n values in place, element q of sequence s at
// c[s*jump + q*inc]: forward scaled by 1/n, backward unscaled, each
// sequence with exactly the arithmetic of a single transform of length n.
// The layout must address no element twice, wsave must hold the table of
// length n and work 2*lot*n floats (the checks of cfftmf and cfftmb).
template <bool Fwd>
void transform_batch(int lot, int jump, int n, int inc, cfloat *c, const float *wsave,
                     float *work);

}  // namespace orbelix::fftpack
