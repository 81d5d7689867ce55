// Inverse 2-D discrete S-transform.
#pragma once

#include "core/view.hpp"

namespace orbelix {

// Replaces the n x n coefficient matrix in a (the layout cdst2f writes) by
// the image: each band is divided by the root of its size, transformed
// forward with its own size and shifted back, filling spectrum columns
// 0 ... mid; the right half is completed by conjugate point symmetry and the
// whole transformed backward. Columns mid+1 ... n-1 of the input are never
// read, so a complex image comes back only if its spectrum has that symmetry.
// A side that is not a power of two (at most 16384) or a non-square array
// stops the process; an empty array is left alone. Between batches of
// transforms it polls for an interruption (interrupt.hpp).
void cdst2b(View2<cfloat> a);

// The same with the coefficients read from `s` (the shape of a; either a
// itself or apart from it, never modified) and the image written into a.
void cdst2b(View2<const cfloat> s, View2<cfloat> a);

}  // namespace orbelix
