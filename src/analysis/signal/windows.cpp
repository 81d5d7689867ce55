#include "analysis/signal/windows.hpp"

#include <algorithm>

#include "analysis/signal/voices.hpp"

namespace orbelix::tools {

void VoiceWorker::shaped_voice(const cfloat *a, int i, cfloat *v) {
    const ShapedWindows &s = *g_.shaped;
    const int k = g_.bin(i);
    const int n = g_.n;
    const int nt = g_.times();
    // The analytic spectrum is non-zero at bins 0 .. n/2 only.
    const int dlo = std::max(-k, s.lo[i]);
    const int dhi = std::min(n / 2 - k, s.hi[i]);
    const cfloat *w = s.weights(i);
    const cfloat zero = {0.0f, 0.0f};

    if (g_.folded()) {
        // As for the Gaussian: the spectrum folded modulo n/decim, offsets
        // summed in increasing order.
        std::fill(v, v + nt, zero);
        const int base = g_.absolute ? k : 0;
        // In runs that do not wrap around the folded length, so that the
        // products vectorise.
        int r = dlo <= dhi ? ((base + dlo) % nt + nt) % nt : 0;
        for (int d = dlo; d <= dhi; r = 0) {
            const int run = std::min(dhi - d + 1, nt - r);
            cfloat *__restrict out = v + r;
            const cfloat *__restrict in = a + k + d;
            const cfloat *__restrict wd = w + d;
            for (int j = 0; j < run; ++j) {
                const cfloat p = times_weight(in[j], wd[j]);
                out[j].re += p.re;
                out[j].im += p.im;
            }
            d += run;
        }
        fold_->transform("b", {v, nt, 1});
        return;
    }

    cfloat *col = g_.decim == 1 ? v : col_.data();
    fftpack::TransformPlan &plan = signal_plan();
    std::fill(col, col + n, zero);
    for (int d = dlo; d <= dhi; ++d) {
        const int bin = g_.absolute ? k + d : (d < 0 ? d + n : d);
        col[bin] = times_weight(a[k + d], w[d]);
    }
    plan.transform("b", {col, n, 1});
    if (g_.decim > 1)
        for (int j = 0; j < nt; ++j) v[j] = col[static_cast<std::size_t>(j) * g_.decim];
}

}  // namespace orbelix::tools
