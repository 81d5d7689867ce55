#include "analysis/signal/voices.hpp"

#include <algorithm>
#include <optional>

#include "st1/cht1.hpp"
#include "analysis/signal/rows.hpp"

namespace orbelix::tools {

void analytic_spectrum(fftpack::TransformPlan &plan, const Signals &x, int i, cfloat *a,
                       cfloat &mean, Parallel *par) {
    const int n = plan.size();
    {
        std::optional<Parallel::Reading> reading;
        if (par != nullptr) reading.emplace(*par);
        x.load(i, a);
    }
    float sr = 0.0f, si = 0.0f;
    for (int t = 0; t < n; ++t) {
        sr += a[t].re;
        si += a[t].im;
    }
    mean = {sr / static_cast<float>(n), si / static_cast<float>(n)};
    plan.transform("f", {a, n, 1});
    hilbrt::cht1f({a, n, 1});
}

VoiceWorker::VoiceWorker(const VoiceGrid &g) : g_(g) {
    if (g.folded()) {
        fold_ = std::make_unique<fftpack::TransformPlan>(g.times());
    } else if (g.decim > 1) {
        col_.resize(g.n);
    }
}

fftpack::TransformPlan &VoiceWorker::signal_plan() {
    if (!full_) {
        // Folded voices leave it the analytic spectra alone: perhaps one.
        full_ = std::make_unique<fftpack::TransformPlan>(g_.n, fftpack::TransformPlan::Tables::when_reused);
        band_voices_ = VoiceChirp::pays(*full_);
    }
    return *full_;
}

void VoiceWorker::voice(const cfloat *a, cfloat mean, int i, const WindowTable *table, cfloat *v) {
    const int k = g_.bin(i);
    const int nt = g_.times();
    if (k == 0) {
        std::fill(v, v + nt, mean);
        return;
    }
    if (g_.shaped != nullptr) {
        shaped_voice(a, i, v);
        return;
    }
    const float *w;
    int wlen = table != nullptr && !table->empty() ? table->length(i) : -1;
    if (wlen >= 0) {
        w = table->window(i);
    } else {
        // A folded voice reads offsets -k .. n/2-k only: its window is
        // evaluated no further than the larger of the two.
        const int limit = g_.folded() ? std::min(window_limit(g_.n), std::max(k, g_.n / 2 - k) + 1)
                                      : window_limit(g_.n);
        w_.resize(window_limit(g_.n));
        wlen = trimmed_half_window(k, g_.constant(i), limit, w_.data());
        w = w_.data();
    }
    // The windowed spectrum A[k+d] w(|d|) is non-zero only for offsets d
    // where both the analytic spectrum (bins 0 .. n/2) and the window are.
    const int n = g_.n;
    const int dlo = -std::min(k, wlen - 1);
    const int dhi = std::min(n / 2 - k, wlen - 1);
    const cfloat zero = {0.0f, 0.0f};

    if (g_.folded()) {
        // Sampling a length-n inverse FFT at every decim-th point is the
        // length-n/decim inverse FFT of the spectrum folded modulo n/decim.
        // Local phase puts offset d in bin d, absolute phase in bin k+d.
        const int len = nt;
        std::fill(v, v + len, zero);
        const int base = g_.absolute ? k : 0;
        // Offsets d0 .. d1 of one sign, in increasing d, in runs that do not
        // wrap around the folded length.
        auto accumulate = [&](int d0, int d1) {
            int r = ((base + d0) % len + len) % len;
            for (int d = d0; d <= d1; r = 0) {
                const int run = std::min(d1 - d + 1, len - r);
                // w(|d+j|) is w[d+j] for d >= 0, else read backwards from w[-d].
                rows::fold(d < 0, v + r, a + k + d, w + (d < 0 ? -d : d), run);
                d += run;
            }
        };
        if (dlo < 0) accumulate(dlo, -1);
        accumulate(0, dhi);
        fold_->transform("b", {v, len, 1});
        return;
    }

    cfloat *col = g_.decim == 1 ? v : col_.data();
    fftpack::TransformPlan &plan = signal_plan();
    if (band_voices_) {
        if (!chirp_) chirp_ = std::make_unique<VoiceChirp>(n);
        chirp_->voice(a, k, w, wlen, g_.absolute, col);
    } else {
        // Offsets dlo .. -1 (window read backwards from w[-dlo]) land in
        // bins k+dlo .. k-1 (absolute phase) or n+dlo .. n-1 (local), offsets
        // 0 .. dhi in bins k .. k+dhi or 0 .. dhi; every other bin is 0.
        const int neg = g_.absolute ? k + dlo : n + dlo;
        const int pos = g_.absolute ? k : 0;
        rows::window_product(true, col + neg, a + k + dlo, w - dlo, -dlo);
        rows::window_product(false, col + pos, a + k, w, dhi + 1);
        if (g_.absolute) {
            std::fill(col, col + neg, zero);
            std::fill(col + k + dhi + 1, col + n, zero);
        } else {
            std::fill(col + dhi + 1, col + neg, zero);
        }
        plan.transform("b", {col, n, 1});
    }
    if (g_.decim > 1)
        for (int j = 0; j < nt; ++j) v[j] = col[static_cast<std::size_t>(j) * g_.decim];
}

}  // namespace orbelix::tools
