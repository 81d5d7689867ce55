// Local frequency domain of one pixel, picked from a 2-D discrete S-transform
// coefficient matrix.
#pragma once

#include <vector>

#include "core/view.hpp"

namespace orbelix {

// Number of dyadic bands M of an l x l coefficient matrix: one less than the
// position of the highest set bit of l (l = 2^k gives k - 1). l <= 1 gives -1.
int lfrqdm_bands(int l);

// Offsets of the bands 0 ... lfrqdm_bands(l) from the reference index for
// the pixel coordinate x: lroundf(nu_b - (1 - x/l) * beta_b) in single
// precision, with band widths beta = (0, 1, 2, 4, ...) and centres
// nu = (0, 1, 3, 6, 12, ...). Halves round away from zero.
std::vector<long> lfrqdm_offsets(int l, int x);

// Local frequency domain of the pixel (x, y) of the square coefficient
// matrix s (l = s.n1 rows are assumed, and as many columns).
//
// Returns a (2M+1) x (2M+1) column-major array, M = lfrqdm_bands(l), whose
// element (i, j), -M <= i, j <= M, sits at position (i + M) + (j + M)(2M+1)
// and holds s(c0 + sign(i) I_|i|, c0 + sign(j) J_|j|), where c0 = l/2 - 1
// and I, J are the offsets of x and y. Nothing is computed from the
// coefficients; they are only picked. For 0 <= x, y < l every index read lies
// inside s; a pixel outside the matrix can name elements outside it, which
// read as zero.
std::vector<cfloat> lfrqdm(View2<const cfloat> s, int x, int y);

}  // namespace orbelix
