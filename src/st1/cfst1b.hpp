// Inverse fast S-transform: the signal from the time sums of the voices.
#pragma once

#include <vector>

#include "core/view.hpp"

namespace orbelix {

// Signal of length ncol from coefficients s (nrow <= ncol rows, ncol
// columns, any strides): row sums, analytic weighting undone with conjugate
// symmetry above ncol/2, one backward transform, divided by ncol. s is not
// modified.
std::vector<cfloat> cfst1b(View2<const cfloat> s);

// The same, written into h (extent s.n2).
void cfst1b(View2<const cfloat> s, View1<cfloat> h);

}  // namespace orbelix
