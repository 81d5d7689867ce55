#include "analysis/signal/tfr_power.hpp"

#include <memory>
#include <string>
#include <vector>

#include "analysis/signal/batch_plan.hpp"
#include "analysis/signal/rows.hpp"
#include "core/per_worker.hpp"
#include "analysis/signal/voices.hpp"

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

    static std::unique_ptr<Epochs> make(int epochs, int n) {
        return allocate_named("the spectra of one channel's " + std::to_string(epochs) +
                                  " epochs of " + std::to_string(n) + " samples",
                              sizeof(cfloat) * static_cast<std::size_t>(epochs) * (n + 1),
                              [&] { return std::make_unique<Epochs>(epochs, n); });
    }
};

}  // namespace

void tfr_power(const Signals &x, const VoiceGrid &g, float *power, float *itc, Parallel &par) {
    const int epochs = x.outer, channels = x.inner;
    const std::size_t n = g.n, nt = g.stored();
    WindowTable table;
    share_windows(epochs * channels, g, par, table);
    PerWorker scratch(par.workers(), [&] { return std::make_unique<Scratch>(g); });
    auto signal = [&](int e, int c) { return e * channels + c; };

    // The sums of every epoch, then the means (rows.hpp). Epoch 0 stores
    // what the others add: 0 + x is x for every x the sums can meet (a -0
    // only loses its sign, which the squares of the coherence drop).
    auto general_voice = [&](Scratch &s, const Epochs &sp, float *pw, float *coh, int i) {
        for (int e = 0; e < epochs; ++e) {
            s.voices.voice(sp.a.data() + e * n, sp.mean[e], i, &table, s.v.data());
            // S/|S| in single precision where the row allows it.
            if (!rows::unit_sums(e == 0, s.v.data(), nt, s.power.data(), s.unit_re.data(),
                                 s.unit_im.data()))
                rows::epoch_sums(e == 0, s.v.data(), nt, s.power.data(), s.unit_re.data(),
                                 s.unit_im.data());
        }
        rows::epoch_means(s.power.data(), s.unit_re.data(), s.unit_im.data(), nt, epochs, pw, coh);
    };
    // One epoch: the mean of |S|^2 is |S|^2 itself (a division by 1), and
    // |S/|S|| formed in double precision lies within a few double ulps of 1,
    // so it rounds to exactly 1 in single precision: the general formulas
    // give these bits without their square roots and divisions. Squares of
    // floats are exact in double and cannot overflow, so only a non-finite
    // coefficient (inf or NaN) needs the general path (a finite power above
    // the float range gives inf in both, and coherence 1).
    auto single_epoch_voice = [&](Scratch &s, const Epochs &sp, float *pw, float *coh, int i) {
        s.voices.voice(sp.a.data(), sp.mean[0], i, &table, s.v.data());
        if (rows::single_epoch(s.v.data(), nt, pw, coh)) general_voice(s, sp, pw, coh, i);
    };
    auto average_voice = [&](Scratch &s, const Epochs &sp, int c, int i) {
        const std::size_t row = (static_cast<std::size_t>(c) * g.count + i) * nt;
        if (epochs == 1)
            single_epoch_voice(s, sp, power + row, itc + row, i);
        else
            general_voice(s, sp, power + row, itc + row, i);
    };

    if (split_by_signal(channels, par)) {
        std::vector<std::unique_ptr<Epochs>> spectra(par.workers());
        par.run(channels, [&](int w, int c) {
            Scratch &s = scratch(w);
            if (!spectra[w]) spectra[w] = Epochs::make(epochs, g.n);
            Epochs &sp = *spectra[w];
            // Many long epochs take seconds: a stop is honoured between them
            // too (once stopping, no voice is formed from the spectra left).
            for (int e = 0; e < epochs && !par.stopping(); ++e)
                analytic_spectrum(s.voices.signal_plan(), x, signal(e, c), sp.a.data() + e * n,
                                  sp.mean[e], &par);
            for (int i = 0; i < g.count && !par.stopping(); ++i) average_voice(s, sp, c, i);
        });
        return;
    }
    const std::unique_ptr<Epochs> shared = Epochs::make(epochs, g.n);
    Epochs &sp = *shared;
    for (int c = 0; c < channels; ++c) {
        par.run(epochs, [&](int w, int e) {
            analytic_spectrum(scratch(w).voices.signal_plan(), x, signal(e, c), sp.a.data() + e * n,
                              sp.mean[e], &par);
        });
        par.run(g.count, [&](int w, int i) { average_voice(scratch(w), sp, c, i); });
    }
}

}  // namespace orbelix::tools
