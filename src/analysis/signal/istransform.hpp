// Inverse of a full-resolution transform over a band of consecutive bins.
#pragma once

#include "analysis/signal/parallel.hpp"
#include "analysis/signal/voice_grid.hpp"
#include "core/view.hpp"

namespace orbelix::tools {

// s: `batch` transforms of g.count voices (bins g.k0 ..; g.step 1, g.decim 1)
// by g.n times. out: `batch` real signals of g.n values. Each voice summed
// over time (after undoing the absolute phase's exp(2 pi i k t/n)) is n
// times the analytic spectrum at its bin; the spectrum is completed with
// conjugates above n/2 and zero outside the band, and transformed back.
void istransform(const cfloat *s, int batch, const VoiceGrid &g, float *out, Parallel &par);

}  // namespace orbelix::tools
