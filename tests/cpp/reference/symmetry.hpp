// Symmetry helpers of the 2-D discrete S-transform: the Hermitian completion
// of the right half, and the single-position bands of a spectrum.
#pragma once

#include "core/view.hpp"

namespace orbelix {

// Completes the right half of a (nr x nc, nc <= nr; square in every use) by
// conjugate point symmetry through the centre, mid = nr/2: for each column
// c = mid+1 ... nc-1, a(r, c) = conj(a(rho(r), 2*mid - c)) with rho(0) = 0,
// rho(mid) = mid, rho(r) = nr - r above row 0 and below mid, and
// rho(r) = 2*mid - r below mid. For a power-of-two side n that is
// a(r, c) = conj(a((n - r) mod n, n - c)). Columns 0 ... mid are only read.
void hsymm2(View2<cfloat> a);

// Clears res (the shape of src) and copies from src the entries that belong
// to no band, mid = nr/2: (0,0), (mid,0), (0,mid), (mid,1), (1,mid),
// (mid,mid). Positions outside the array (nr = 1) are skipped.
void diagi(View2<cfloat> src, View2<cfloat> res);

}  // namespace orbelix
