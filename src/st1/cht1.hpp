// Analytic-signal weighting of a spectrum in natural order, and its undoing.
#pragma once

#include "core/view.hpp"

namespace orbelix::hilbrt {

// In place: bins 1 .. (N+1)/2-1 doubled, bin 0 and (for even N) the Nyquist
// bin kept, the upper half zeroed.
void cht1f(View1<cfloat> a);

// In place: bins 1 .. (N+1)/2-1 halved, bin 0 and the Nyquist bin kept, the
// upper half rebuilt as conjugates of the (halved) lower half.
void cht1b(View1<cfloat> a);

}  // namespace orbelix::hilbrt
