// Local Hilbert measures of a real image at one pixel.
#pragma once

#include "core/view.hpp"

namespace orbelix::local {

// Filters the (2K+1) x (2K+1) window of r centred on row x, column y
// (0-based; K = kernel_size) with four fine-minus-coarse kernels and writes
// h[0] ... h[3]:
//   h[0] = hypot(O1, O2) / Q      ratio of in-plane odd to radial response
//   h[1] = atan2(O2, O1)          orientation angle, radians
//   h[2] = atan2(|(O1, O2, Q)|, E) phase angle, radians, in [0, pi]
//   h[3] = E^2 + O1^2 + O2^2 + Q^2 energy
// where, for the pixel j rows below and i columns right of the centre,
// u = i^2 + j^2 + 1, (p1, p2, p3) = (j, i, u - 1) / u, a = p1^2 + p2^2 + p3^2,
// F_s = sqrt(s^2 + a) and v = r(x + j, y + i):
//   E += (fine F_fine - coarse F_coarse) v
//   (O1, O2, Q) += (p1, p2, p3) (F_fine - F_coarse) v.
// Everything is single precision in this order, columns outer, rows inner.
// K <= 0 visits only the centre or nothing; pixels of the window outside the
// image contribute nothing (as zeros would). Non-finite results (Q = 0 gives
// a NaN or infinite ratio) are returned as they come.
void rht14f(View2<const float> r, int x, int y, float coarse, float fine, int kernel_size, float *h);

}  // namespace orbelix::local
