// The windowed, shifted spectrum of one voice of the fast S-transform,
//   col[t] = a[t] * w[min(t, n-t)],  t < n,
// each product the complex one with (w, 0) (times_real.hpp), on the SIMD
// path chosen for the process; every path gives the same bits.
#pragma once

#include "core/view.hpp"

namespace orbelix {

// Offsets t in [from, to) where the caller knows a[t] is +0: the products
// there are +0 as well (w is finite and not negative), and are stored
// without reading a or w.
struct KnownZeros {
    int from = 0, to = 0;
    // Runs of a padded layout that lie wholly in [from, to) are not written
    // at all, for a transform told to read them as +0
    // (TransformPlan::transform_padded).
    bool leave_whole_segments = false;
};

// w holds n/2 + 1 factors (only those read outside the known zeros need be
// set).
void window_product(const cfloat *a, const float *w, int n, cfloat *col, KnownZeros zeros = {});

// The same products laid out in `segments` equal runs (segments divides n),
// each followed by `gap` values left alone: col[t] goes to
// col[t + gap*(t / (n/segments))], the padded input of a transform plan.
// Returns the runs left unwritten (bit s for run s; see KnownZeros).
unsigned window_product(const cfloat *a, const float *w, int n, int segments, int gap,
                        cfloat *col, KnownZeros zeros = {});

// A chirped spectrum times a window centred on k and a complex constant:
//   out[m] = (a[m] * c[m]) * (phase * w[|m - k|]),  m < count,
// the factor formed part by part as (phase.re w, phase.im w) and the
// products as complex_product.hpp forms them. w holds max(k, count - 1 - k)
// + 1 factors.
void centred_window_product(const cfloat *a, const cfloat *c, const float *w, int k, int count,
                            cfloat phase, cfloat *out);

}  // namespace orbelix
