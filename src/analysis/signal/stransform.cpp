#include "analysis/signal/stransform.hpp"

#include <memory>
#include <vector>

#include "analysis/signal/batch_plan.hpp"
#include "analysis/signal/rows.hpp"
#include "core/per_worker.hpp"
#include "analysis/signal/voices.hpp"

namespace orbelix::tools {

namespace {

struct Scratch {
    explicit Scratch(const VoiceGrid &g, Output output)
        : voices(g), a(new cfloat[g.n]),
          v(output == Output::complex && g.stored() == g.times() ? 0 : g.times()) {}
    VoiceWorker voices;
    // Analytic spectrum of the worker's signal; left uninitialised, so the
    // pages of a buffer that stays unused are never touched.
    std::unique_ptr<cfloat[]> a;
    cfloat mean{};
    std::vector<cfloat> v;  // a voice on its way to a real-valued output
};

}  // namespace

void stransform(const Signals &x, const VoiceGrid &g, Output output, void *out, Parallel &par) {
    const int batch = x.count();
    const std::size_t nt = g.stored();
    const bool partial = nt < static_cast<std::size_t>(g.times());
    WindowTable table;
    share_windows(batch, g, par, table);

    PerWorker scratch(par.workers(), [&] { return std::make_unique<Scratch>(g, output); });
    // Voice i of signal b from the analytic spectrum a, written to its row.
    auto emit = [&](Scratch &s, const cfloat *a, cfloat mean, int b, int i) {
        const std::size_t row = (static_cast<std::size_t>(b) * g.count + i) * nt;
        if (output == Output::complex && !partial) {
            s.voices.voice(a, mean, i, &table, static_cast<cfloat *>(out) + row);
            return;
        }
        s.voices.voice(a, mean, i, &table, s.v.data());
        if (output == Output::complex) {
            std::copy(s.v.begin(), s.v.begin() + nt, static_cast<cfloat *>(out) + row);
            return;
        }
        float *dst = static_cast<float *>(out) + row;
        if (output == Output::power)
            rows::power(s.v.data(), nt, dst);
        else
            rows::magnitude(s.v.data(), nt, dst);
    };

    if (split_by_signal(batch, par)) {
        par.run(batch, [&](int w, int b) {
            Scratch &s = scratch(w);
            analytic_spectrum(s.voices.signal_plan(), x, b, s.a.get(), s.mean, &par);
            for (int i = 0; i < g.count && !par.stopping(); ++i) emit(s, s.a.get(), s.mean, b, i);
        });
        return;
    }
    // The caller forms each spectrum in worker 0's scratch between runs; the
    // other workers' spectrum buffers stay unused (and untouched).
    Scratch &first = scratch(0);
    for (int b = 0; b < batch; ++b) {
        analytic_spectrum(first.voices.signal_plan(), x, b, first.a.get(), first.mean);
        par.run(g.count, [&](int w, int i) { emit(scratch(w), first.a.get(), first.mean, b, i); });
    }
}

}  // namespace orbelix::tools
