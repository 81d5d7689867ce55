// Forward 2-D discrete S-transform.
#pragma once

#include "core/view.hpp"

namespace orbelix {

// Replaces the n x n image in a (n a power of two, at most 16384) by its
// coefficient matrix S. With X the forward-scaled 2-D spectrum and the
// octave bands P_x = x ... 2x-1 and M_x = n-2x+1 ... n-x (x = 1, 2, ..., n/4)
// along each dimension, every band and every rectangle M_x or P_x by P_y is
// re-centred, transformed backward with its own size and scaled by the root
// of its size, in place of the band; negative row octaves are stored in
// reversed order. The single-position bands keep X, and columns
// mid+1 ... n-1 are the conjugate point mirror of columns mid-1 ... 1.
// Any other shape stops the process; an empty array is left alone. Between
// batches of transforms it polls for an interruption (interrupt.hpp).
void cdst2f(View2<cfloat> a);

// The same with the image read from `image` (the shape of a; either a
// itself or apart from it, never modified) and the coefficients written
// into a.
void cdst2f(View2<const cfloat> image, View2<cfloat> a);

}  // namespace orbelix
