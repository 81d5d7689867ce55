// Storing a block of voices into the column-major result of the fast
// S-transform.
#pragma once

#include <cstddef>

#include "core/view.hpp"

namespace orbelix {

// s(k0 + b, t) = buf[b*ldb + t] for b < nb, t < n. Where s is column-major
// (s.s1 == 1) and larger than the caches, whole cache lines of a column go
// out with streaming stores: the result is not read back here, so its lines
// need not be fetched first. Ends with a store fence. Polls for an
// interruption (interrupt.hpp) every 256 columns of a large result.
void store_voices(const cfloat *buf, std::size_t ldb, int n, int nb, View2<cfloat> s, int k0);

}  // namespace orbelix
