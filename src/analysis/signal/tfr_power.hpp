// Power and inter-trial coherence averaged over epochs, voice by voice.
#pragma once

#include "analysis/signal/parallel.hpp"
#include "analysis/signal/signals.hpp"
#include "analysis/signal/voice_grid.hpp"
#include "core/view.hpp"

namespace orbelix::tools {

// x: epochs (outer) x channels (inner) signals of g.n values.
// power, itc: channels x g.count x g.stored() values: the mean over epochs of
// |S|^2, and |mean over epochs of S/|S||, with S = 0 counting as 0 in the
// latter. Sums in double precision in increasing epoch order, of S/|S| formed
// in single precision where |S|^2 is a normal float (rows.hpp). Beyond the
// output, memory is the analytic spectra of one channel's epochs per worker.
void tfr_power(const Signals &x, const VoiceGrid &g, float *power, float *itc, Parallel &par);

}  // namespace orbelix::tools
