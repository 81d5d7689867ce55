// S-transform voices of a batch of signals on a grid of bins and times.
#pragma once

#include "analysis/signal/parallel.hpp"
#include "analysis/signal/signals.hpp"
#include "analysis/signal/voice_grid.hpp"
#include "core/view.hpp"

namespace orbelix::tools {

enum class Output { complex, power, magnitude };

// x: signals of g.n values (x.count() of them). out: for each signal,
// g.count voices of g.stored() values (cfloat for complex output, float for
// power |S|^2 and magnitude |S|), voice-major. Scratch: O(n) per worker.
// Numbers do not depend on the worker count. Throws Interrupted when the
// run is stopped, std::bad_alloc when scratch cannot be had.
void stransform(const Signals &x, const VoiceGrid &g, Output output, void *out, Parallel &par);

}  // namespace orbelix::tools
