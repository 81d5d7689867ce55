// The synchrosqueezed S-transform: every coefficient moved, along frequency,
// to the voice nearest its instantaneous frequency.
//
// With absolute phase a voice is S(j, k) = sum_d A(k+d) W_k(d) e^{2 pi i (k+d) j/n}
// (A the analytic spectrum, W_k the window's weights at bin offset d), so
//   dS/dj = (2 pi i / n) (k S(j, k) + D(j, k)),  D = sum_d A(k+d) d W_k(d) e^{...},
// the voice of the window weighted by its offset. The instantaneous frequency
// (1/2 pi) d arg S / dj in bins is therefore exactly
//   omega(j, k) = k + Re(D conj(S)) / |S|^2,
// with no finite difference in time: one more voice per voice.
#pragma once

#include "analysis/signal/parallel.hpp"
#include "analysis/signal/signals.hpp"
#include "analysis/signal/voice_grid.hpp"
#include "core/view.hpp"

namespace orbelix::tools {

struct SqueezeRule {
    // Coefficients with |S| below the threshold are left out. With `relative`
    // the threshold of a signal is gamma times the sum of the magnitudes of
    // its analytic spectrum (a bound of |S| for windows of unit peak);
    // otherwise gamma itself.
    float gamma = 0.0f;
    bool relative = false;
    // Voice i's coefficients are multiplied by weight[i] as they are added
    // (the caller's normalisation; count values).
    const cfloat *weight = nullptr;
    // And by scale[l] of the voice l they are added to (count values).
    const cfloat *scale = nullptr;
};

// x: signals of g.n values; g must have absolute phase. out: per signal,
// g.count rows of g.stored() complex values, voice-major, overwritten:
// out[l][j] = sum of scale[l] weight[i] S(j, bin(i)) over the voices i whose
// instantaneous frequency at time j is nearest bin(l) (ties to the higher
// bin) and lies within half a step of it (bins off the grid are dropped).
// The voice at bin 0 (the mean) stays in its own row. The sums run over i in
// increasing order whatever the worker count, so the numbers do not depend
// on it. With `zeroed` out holds zeros already (fresh pages of zeros are
// then touched only where coefficients land). Throws Interrupted,
// OutOfMemory.
void sstransform(const Signals &x, const VoiceGrid &g, const SqueezeRule &rule, cfloat *out,
                 Parallel &par, bool zeroed = false);

// The instantaneous frequency omega(j, k) in bins of every coefficient
// (float32, same layout as sstransform's result; NaN where |S| is below the
// threshold or 0): what sstransform sorts the coefficients by.
void instantaneous_frequency(const Signals &x, const VoiceGrid &g, const SqueezeRule &rule,
                             float *out, Parallel &par);

}  // namespace orbelix::tools
