#include "analysis/signal/istransform.hpp"

#include <cmath>
#include <complex>
#include <memory>
#include <string>
#include <vector>

#include "fft/plans/transform_plan.hpp"
#include "core/per_worker.hpp"
#include "st1/cht1.hpp"
#include "analysis/signal/batch_plan.hpp"

namespace orbelix::tools {

namespace {

using cdouble = std::complex<double>;

// exp(-2 pi i j / n), j = 0 .. n-1, for undoing the absolute phase.
std::vector<cdouble> demodulation_roots(int n) {
    std::vector<cdouble> r(n);
    const double step = 2.0 * M_PI / n;
    for (int j = 0; j < n; ++j) r[j] = {std::cos(step * j), -std::sin(step * j)};
    return r;
}

// Spectrum value of voice i: its time sum over n, in double precision.
cfloat voice_bin(const cfloat *row, const VoiceGrid &g, int i, const std::vector<cdouble> &roots) {
    const int n = g.n, k = g.bin(i);
    double re = 0.0, im = 0.0;
    if (roots.empty()) {
        for (int t = 0; t < n; ++t) {
            re += row[t].re;
            im += row[t].im;
        }
    } else {
        for (int t = 0, j = 0; t < n; ++t) {
            const cdouble p = cdouble(row[t].re, row[t].im) * roots[j];
            re += p.real();
            im += p.imag();
            if ((j += k) >= n) j -= n;
        }
    }
    return {static_cast<float>(re / n), static_cast<float>(im / n)};
}

struct Scratch {
    explicit Scratch(int n) : plan(n, fftpack::TransformPlan::Tables::when_reused), h(n) {}
    fftpack::TransformPlan plan;
    std::vector<cfloat> h;
};

// Undoes the analytic weighting of h (bins outside the band already zero)
// and transforms back to the real signal.
void synthesize(Scratch &s, float *dst) {
    const int n = s.plan.size();
    hilbrt::cht1b({s.h.data(), n, 1});
    s.plan.transform("b", {s.h.data(), n, 1});
    for (int t = 0; t < n; ++t) dst[t] = s.h[t].re;
}

}  // namespace

void istransform(const cfloat *s, int batch, const VoiceGrid &g, float *out, Parallel &par) {
    const std::size_t n = g.n;
    const std::vector<cdouble> roots =
        g.absolute ? allocate_named("the demodulation roots of " + std::to_string(g.n) + " samples",
                                    sizeof(cdouble) * n, [&] { return demodulation_roots(g.n); })
                   : std::vector<cdouble>();
    auto row = [&](int b, int i) { return s + (static_cast<std::size_t>(b) * g.count + i) * n; };
    PerWorker scratch(par.workers(), [&] { return std::make_unique<Scratch>(g.n); });

    if (split_by_signal(batch, par)) {
        par.run(batch, [&](int w, int b) {
            Scratch &sc = scratch(w);
            std::fill(sc.h.begin(), sc.h.end(), cfloat{0.0f, 0.0f});
            for (int i = 0; i < g.count; ++i) {
                if (par.stopping()) return;
                const Parallel::Reading reading(par);
                sc.h[g.bin(i)] = voice_bin(row(b, i), g, i, roots);
            }
            synthesize(sc, out + b * n);
        });
        return;
    }
    Scratch &sc = scratch(0);
    for (int b = 0; b < batch; ++b) {
        std::fill(sc.h.begin(), sc.h.end(), cfloat{0.0f, 0.0f});
        par.run(g.count, [&](int, int i) {
            const Parallel::Reading reading(par);
            sc.h[g.bin(i)] = voice_bin(row(b, i), g, i, roots);
        });
        synthesize(sc, out + b * n);
    }
}

}  // namespace orbelix::tools
