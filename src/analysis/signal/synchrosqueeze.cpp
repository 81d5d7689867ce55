#include "analysis/signal/synchrosqueeze.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/signal/batch_plan.hpp"
#include "analysis/signal/half_window.hpp"
#include "analysis/signal/voices.hpp"
#include "analysis/signal/windows.hpp"
#include "core/complex.hpp"
#include "fft/plans/transform_plan.hpp"

namespace orbelix::tools {

namespace {

void check(int ier) {
    if (ier != 0) throw std::runtime_error("FFT of a voice failed");
}

// The voice of the window weighted by its bin offset, d W_k(d), with the
// phase convention and times of the grid; the plain voice comes from the
// worker's VoiceWorker, whose length-n plan it shares.
class OffsetVoice {
public:
    explicit OffsetVoice(const VoiceGrid &g) : g_(g) {
        if (g.folded()) {
            fold_ = std::make_unique<fftpack::TransformPlan>(g.times());
            check(fold_->init_error());
        } else if (g.decim > 1) {
            col_.resize(g.n);
        }
    }

    void voice(VoiceWorker &worker, const cfloat *a, int i, const WindowTable *table, cfloat *v) {
        const int k = g_.bin(i);
        const int n = g_.n, nt = g_.times();
        const cfloat zero = {0.0f, 0.0f};
        if (k == 0) {  // the mean does not move
            std::fill(v, v + nt, zero);
            return;
        }
        int dlo, dhi;
        // The weight of offset d, d W_k(d), for dlo <= d <= dhi.
        const cfloat *shaped = nullptr;
        const float *w = nullptr;
        if (g_.shaped != nullptr) {
            const ShapedWindows &s = *g_.shaped;
            dlo = std::max(-k, s.lo[i]);
            dhi = std::min(n / 2 - k, s.hi[i]);
            shaped = s.weights(i);
        } else {
            int wlen = table != nullptr && !table->empty() ? table->length(i) : -1;
            if (wlen >= 0) {
                w = table->window(i);
            } else {
                w_.resize(window_limit(n));
                wlen = trimmed_half_window(k, g_.constant(i), window_limit(n), w_.data());
                w = w_.data();
            }
            dlo = -std::min(k, wlen - 1);
            dhi = std::min(n / 2 - k, wlen - 1);
        }
        auto term = [&](int d) -> cfloat {
            const float fd = static_cast<float>(d);
            if (shaped != nullptr) {
                const cfloat wd = {fd * shaped[d].re, fd * shaped[d].im};
                return times_weight(a[k + d], wd);
            }
            return times_real(a[k + d], fd * w[d < 0 ? -d : d]);
        };

        if (g_.folded()) {
            // Sampling at every decim-th time is the inverse FFT of the
            // spectrum folded modulo n/decim; offsets summed in increasing d.
            std::fill(v, v + nt, zero);
            const int base = g_.absolute ? k : 0;
            int r = dlo <= dhi ? ((base + dlo) % nt + nt) % nt : 0;
            for (int d = dlo; d <= dhi; ++d) {
                const cfloat p = term(d);
                v[r].re += p.re;
                v[r].im += p.im;
                if (++r == nt) r = 0;
            }
            check(fold_->transform("b", {v, nt, 1}));
            return;
        }
        cfloat *col = g_.decim == 1 ? v : col_.data();
        std::fill(col, col + n, zero);
        for (int d = dlo; d <= dhi; ++d) {
            const int bin = g_.absolute ? k + d : (d < 0 ? d + n : d);
            col[bin] = term(d);
        }
        check(worker.signal_plan().transform("b", {col, n, 1}));
        if (g_.decim > 1)
            for (int j = 0; j < nt; ++j) v[j] = col[static_cast<std::size_t>(j) * g_.decim];
    }

private:
    VoiceGrid g_;
    std::unique_ptr<fftpack::TransformPlan> fold_;
    std::vector<cfloat> col_;
    std::vector<float> w_;
};

// The voice nearest a frequency in bins: -1 off the grid (more than half a
// spacing beyond its first or last voice).
class Nearest {
public:
    explicit Nearest(const VoiceGrid &g) : g_(g) {
        if (g.bins == nullptr || g.count < 2) return;
        mids_.resize(g.count - 1);
        for (int i = 0; i + 1 < g.count; ++i) mids_[i] = 0.5 * (g.bins[i] + static_cast<double>(g.bins[i + 1]));
        lo_ = g.bins[0] - (mids_[0] - g.bins[0]);
        hi_ = g.bins[g.count - 1] + (g.bins[g.count - 1] - mids_.back());
    }

    int operator()(double omega) const {
        if (mids_.empty()) {
            const double u = std::floor((omega - g_.bin(0)) / g_.step + 0.5);
            return u >= 0.0 && u < g_.count ? static_cast<int>(u) : -1;
        }
        if (!(omega >= lo_ && omega < hi_)) return -1;
        return static_cast<int>(std::upper_bound(mids_.begin(), mids_.end(), omega) - mids_.begin());
    }

private:
    VoiceGrid g_;
    std::vector<double> mids_;
    double lo_ = 0.0, hi_ = 0.0;
};

// |S|^2 below which a signal's coefficients are left out.
double threshold_squared(const SqueezeRule &rule, const cfloat *a, int n) {
    double t = rule.gamma;
    if (rule.relative) {
        double sum = 0.0;
        for (int p = 0; p <= n / 2; ++p) sum += std::hypot(static_cast<double>(a[p].re), static_cast<double>(a[p].im));
        t *= sum;
    }
    return t * t;
}

// The voice a coefficient goes to (-1: left out), from the voice s and the
// offset-weighted voice d at one time.
inline int destination(const Nearest &nearest, int k, int i, cfloat s, cfloat d, double floor2) {
    const double re = s.re, im = s.im;
    const double mag2 = re * re + im * im;
    if (!(mag2 > 0.0) || mag2 < floor2) return -1;
    if (k == 0) return i;
    return nearest(k + (d.re * re + d.im * im) / mag2);
}

inline void add_weighted(cfloat &to, cfloat s, cfloat w) {
    const cfloat p = times_weight(s, w);
    to.re += p.re;
    to.im += p.im;
}

struct Scratch {
    explicit Scratch(const VoiceGrid &g)
        : voices(g), offsets(g), a(new cfloat[g.n]), s(g.times()), d(g.times()) {}
    VoiceWorker voices;
    OffsetVoice offsets;
    std::unique_ptr<cfloat[]> a;  // analytic spectrum, left uninitialised
    cfloat mean{};
    std::vector<cfloat> s, d;
};

// The per-worker scratch, made on first use.
class Workers {
public:
    Workers(const VoiceGrid &g, int count) : g_(g), slots_(count) {}
    Scratch &operator()(int w) {
        if (!slots_[w]) slots_[w] = std::make_unique<Scratch>(g_);
        return *slots_[w];
    }

private:
    VoiceGrid g_;
    std::vector<std::unique_ptr<Scratch>> slots_;
};

// Both voices of voice i into the worker's s and d.
void both_voices(Scratch &w, const cfloat *a, cfloat mean, int i, const WindowTable &table) {
    w.voices.voice(a, mean, i, &table, w.s.data());
    w.offsets.voice(w.voices, a, i, &table, w.d.data());
}

void check_grid(const VoiceGrid &g) {
    if (!g.absolute) throw std::invalid_argument("synchrosqueezing needs voices of absolute phase");
}

}  // namespace

void sstransform(const Signals &x, const VoiceGrid &g, const SqueezeRule &rule, cfloat *out,
                 Parallel &par) {
    check_grid(g);
    const int batch = x.count();
    const int nt = g.stored();
    const std::size_t plane = static_cast<std::size_t>(g.count) * nt;
    const Nearest nearest(g);
    WindowTable table;
    share_windows(batch, g, par, table);
    Workers scratch(g, par.workers());

    if (split_by_signal(batch, par)) {
        par.run(batch, [&](int wk, int b) {
            Scratch &w = scratch(wk);
            analytic_spectrum(w.voices.signal_plan(), x, b, w.a.get(), w.mean, &par);
            const double floor2 = threshold_squared(rule, w.a.get(), g.n);
            cfloat *t = out + b * plane;
            std::fill(t, t + plane, cfloat{0.0f, 0.0f});
            for (int i = 0; i < g.count && !par.stopping(); ++i) {
                both_voices(w, w.a.get(), w.mean, i, table);
                const int k = g.bin(i);
                const cfloat weight = rule.weight[i];
                for (int j = 0; j < nt; ++j) {
                    const int l = destination(nearest, k, i, w.s[j], w.d[j], floor2);
                    if (l >= 0) add_weighted(t[static_cast<std::size_t>(l) * nt + j], w.s[j], weight);
                }
            }
        });
        return;
    }

    // Few signals: blocks of voices are computed in parallel into a buffer,
    // then added to the result by workers that each take a range of times,
    // going through the block's voices in increasing order.
    constexpr std::size_t kBlockBytes = 32u << 20;
    const std::size_t per_voice = static_cast<std::size_t>(nt) * (sizeof(cfloat) + sizeof(int));
    const int block = static_cast<int>(std::min<std::size_t>(
        g.count, std::max<std::size_t>(2 * par.workers(), kBlockBytes / per_voice)));
    std::vector<cfloat> values;
    std::vector<int> dest;
    allocate_named("the voices of a block of " + std::to_string(block) + " voices",
                   block * per_voice, [&] {
                       values.resize(static_cast<std::size_t>(block) * nt);
                       dest.resize(static_cast<std::size_t>(block) * nt);
                       return 0;
                   });
    constexpr int kTimesPerTask = 512;
    const int time_tasks = (nt + kTimesPerTask - 1) / kTimesPerTask;
    Scratch &first = scratch(0);
    for (int b = 0; b < batch; ++b) {
        analytic_spectrum(first.voices.signal_plan(), x, b, first.a.get(), first.mean);
        const double floor2 = threshold_squared(rule, first.a.get(), g.n);
        cfloat *t = out + b * plane;
        std::fill(t, t + plane, cfloat{0.0f, 0.0f});
        for (int i0 = 0; i0 < g.count; i0 += block) {
            const int len = std::min(block, g.count - i0);
            par.run(len, [&](int wk, int r) {
                Scratch &w = scratch(wk);
                const int i = i0 + r;
                both_voices(w, first.a.get(), first.mean, i, table);
                const int k = g.bin(i);
                cfloat *sv = values.data() + static_cast<std::size_t>(r) * nt;
                int *dv = dest.data() + static_cast<std::size_t>(r) * nt;
                for (int j = 0; j < nt; ++j) {
                    sv[j] = w.s[j];
                    dv[j] = destination(nearest, k, i, w.s[j], w.d[j], floor2);
                }
            });
            par.run(time_tasks, [&](int, int task) {
                const int j0 = task * kTimesPerTask, j1 = std::min(nt, j0 + kTimesPerTask);
                for (int r = 0; r < len; ++r) {
                    const cfloat weight = rule.weight[i0 + r];
                    const cfloat *sv = values.data() + static_cast<std::size_t>(r) * nt;
                    const int *dv = dest.data() + static_cast<std::size_t>(r) * nt;
                    for (int j = j0; j < j1; ++j)
                        if (dv[j] >= 0) add_weighted(t[static_cast<std::size_t>(dv[j]) * nt + j], sv[j], weight);
                }
            });
        }
    }
}

void instantaneous_frequency(const Signals &x, const VoiceGrid &g, const SqueezeRule &rule,
                             float *out, Parallel &par) {
    check_grid(g);
    const int batch = x.count();
    const int nt = g.stored();
    const std::size_t plane = static_cast<std::size_t>(g.count) * nt;
    WindowTable table;
    share_windows(batch, g, par, table);
    Workers scratch(g, par.workers());
    const float nan = std::numeric_limits<float>::quiet_NaN();
    auto emit = [&](Scratch &w, const cfloat *a, cfloat mean, double floor2, int b, int i) {
        both_voices(w, a, mean, i, table);
        const int k = g.bin(i);
        float *row = out + b * plane + static_cast<std::size_t>(i) * nt;
        for (int j = 0; j < nt; ++j) {
            const double re = w.s[j].re, im = w.s[j].im;
            const double mag2 = re * re + im * im;
            row[j] = k == 0 ? 0.0f
                     : (!(mag2 > 0.0) || mag2 < floor2)
                         ? nan
                         : static_cast<float>(k + (w.d[j].re * re + w.d[j].im * im) / mag2);
        }
    };
    if (split_by_signal(batch, par)) {
        par.run(batch, [&](int wk, int b) {
            Scratch &w = scratch(wk);
            analytic_spectrum(w.voices.signal_plan(), x, b, w.a.get(), w.mean, &par);
            const double floor2 = threshold_squared(rule, w.a.get(), g.n);
            for (int i = 0; i < g.count && !par.stopping(); ++i) emit(w, w.a.get(), w.mean, floor2, b, i);
        });
        return;
    }
    Scratch &first = scratch(0);
    for (int b = 0; b < batch; ++b) {
        analytic_spectrum(first.voices.signal_plan(), x, b, first.a.get(), first.mean);
        const double floor2 = threshold_squared(rule, first.a.get(), g.n);
        par.run(g.count, [&](int wk, int i) { emit(scratch(wk), first.a.get(), first.mean, floor2, b, i); });
    }
}

}  // namespace orbelix::tools
