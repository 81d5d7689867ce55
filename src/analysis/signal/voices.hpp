// One voice at a time: the analytic spectrum of a signal and the voices of a
// grid computed from it, with the scratch of one worker thread.
#pragma once

#include <memory>
#include <vector>

#include "fft/plans/transform_plan.hpp"
#include "st1/voice_chirp.hpp"
#include "analysis/signal/half_window.hpp"
#include "analysis/signal/parallel.hpp"
#include "analysis/signal/signals.hpp"
#include "analysis/signal/voice_grid.hpp"
#include "core/view.hpp"

namespace orbelix::tools {

// The analytic spectrum a (n values) of signal i as the fast S-transform
// forms it: forward FFT scaled by 1/n, positive bins doubled, negative ones
// zeroed; and the mean of the signal, two single-precision accumulators in
// increasing t. plan has length n. Within a run of par, the signal is read
// as a Parallel::Reading.
void analytic_spectrum(fftpack::TransformPlan &plan, const Signals &x, int i, cfloat *a,
                       cfloat &mean, Parallel *par = nullptr);

// Plans and scratch for the voices of one grid; one per worker thread.
class VoiceWorker {
public:
    explicit VoiceWorker(const VoiceGrid &g);

    // The length-n plan, also the one of analytic_spectrum (made on first
    // use: folded voices do not need it).
    fftpack::TransformPlan &signal_plan();

    // Voice i of the grid at its times, into v (g.times() values), from the
    // analytic spectrum a and mean of one signal. Bin 0 is the mean at every
    // time. With decim 1 and local phase this is row bin(i) of the fast
    // S-transform bit for bit (up to the sign of zeros); folded voices agree
    // with the sampled full-length ones to single precision (different
    // summation). The window comes
    // from `table` when it holds voice i, else it is computed here.
    void voice(const cfloat *a, cfloat mean, int i, const WindowTable *table, cfloat *v);

private:
    // voice() for windows given by their complex weights (windows.cpp).
    void shaped_voice(const cfloat *a, int i, cfloat *v);

    VoiceGrid g_;
    std::unique_ptr<fftpack::TransformPlan> full_;  // length n
    std::unique_ptr<fftpack::TransformPlan> fold_;  // length n/decim when folded
    bool band_voices_ = false;                       // VoiceChirp::pays(*full_), decided once
    std::unique_ptr<VoiceChirp> chirp_;              // full-length voices through it
    std::vector<cfloat> col_;  // a full-length voice when it is sampled
    std::vector<float> w_;     // a window not taken from the table
};

}  // namespace orbelix::tools
