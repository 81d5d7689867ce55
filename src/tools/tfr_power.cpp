#include "tools/tfr_power.hpp"

#include <cmath>
#include <memory>
#include <vector>

#include "tools/batch_plan.hpp"
#include "tools/voices.hpp"

namespace orbelix::tools {

namespace {

struct Scratch {
    explicit Scratch(const VoiceGrid &g)
        : voices(g), v(g.times()), power(g.times()), unit_re(g.times()), unit_im(g.times()) {}
    VoiceWorker voices;
    std::vector<cfloat> v;
    std::vector<double> power, unit_re, unit_im;
};

// The analytic spectra and means of one channel's epochs.
struct Epochs {
    Epochs(int epochs, int n) : a(static_cast<std::size_t>(epochs) * n), mean(epochs) {}
    std::vector<cfloat> a;
    std::vector<cfloat> mean;
};

}  // namespace

void tfr_power(const Signals &x, const VoiceGrid &g, float *power, float *itc, Parallel &par) {
    const int epochs = x.outer, channels = x.inner;
    const std::size_t n = g.n, nt = g.times();
    WindowTable table;
    share_windows(epochs * channels, g, par, table);
    std::vector<std::unique_ptr<Scratch>> slots(par.workers());
    auto scratch = [&](int w) -> Scratch & {
        if (!slots[w]) slots[w] = std::make_unique<Scratch>(g);
        return *slots[w];
    };
    auto signal = [&](int e, int c) { return e * channels + c; };

    auto average_voice = [&](Scratch &s, const Epochs &sp, int c, int i) {
        std::fill(s.power.begin(), s.power.end(), 0.0);
        std::fill(s.unit_re.begin(), s.unit_re.end(), 0.0);
        std::fill(s.unit_im.begin(), s.unit_im.end(), 0.0);
        for (int e = 0; e < epochs; ++e) {
            s.voices.voice(sp.a.data() + e * n, sp.mean[e], i, &table, s.v.data());
            // Branch-free, so that it runs in SIMD registers: a zero
            // coefficient divides by 1 instead of 0 and adds nothing.
            for (std::size_t t = 0; t < nt; ++t) {
                const double re = s.v[t].re, im = s.v[t].im;
                const double p = re * re + im * im;
                const double inv = 1.0 / std::sqrt(p + static_cast<double>(p == 0.0));
                s.power[t] += p;
                s.unit_re[t] += re * inv;
                s.unit_im[t] += im * inv;
            }
        }
        const std::size_t row = (static_cast<std::size_t>(c) * g.count + i) * nt;
        for (std::size_t t = 0; t < nt; ++t) {
            power[row + t] = static_cast<float>(s.power[t] / epochs);
            itc[row + t] = static_cast<float>(
                std::sqrt(s.unit_re[t] * s.unit_re[t] + s.unit_im[t] * s.unit_im[t]) / epochs);
        }
    };

    if (split_by_signal(channels, par)) {
        std::vector<std::unique_ptr<Epochs>> spectra(par.workers());
        par.run(channels, [&](int w, int c) {
            Scratch &s = scratch(w);
            if (!spectra[w]) spectra[w] = std::make_unique<Epochs>(epochs, g.n);
            Epochs &sp = *spectra[w];
            for (int e = 0; e < epochs; ++e)
                analytic_spectrum(s.voices.signal_plan(), x, signal(e, c), sp.a.data() + e * n, sp.mean[e]);
            for (int i = 0; i < g.count && !par.stopping(); ++i) average_voice(s, sp, c, i);
        });
        return;
    }
    Epochs sp(epochs, g.n);
    for (int c = 0; c < channels; ++c) {
        par.run(epochs, [&](int w, int e) {
            analytic_spectrum(scratch(w).voices.signal_plan(), x, signal(e, c), sp.a.data() + e * n,
                              sp.mean[e]);
        });
        par.run(g.count, [&](int w, int i) { average_voice(scratch(w), sp, c, i); });
    }
}

}  // namespace orbelix::tools
