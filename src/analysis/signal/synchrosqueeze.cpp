#include "analysis/signal/synchrosqueeze.hpp"

#include <algorithm>
#include <climits>
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

// The voice of the window weighted by its bin offset, d W_k(d), with the
// phase convention and times of the grid; the plain voice comes from the
// worker's VoiceWorker, whose length-n plan it shares.
class OffsetVoice {
public:
    explicit OffsetVoice(const VoiceGrid &g) : g_(g) {
        if (g.folded()) {
            fold_ = std::make_unique<fftpack::TransformPlan>(g.times());
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
            if (shaped != nullptr) {
                int r = dlo <= dhi ? ((base + dlo) % nt + nt) % nt : 0;
                for (int d = dlo; d <= dhi; ++d) {
                    const cfloat p = term(d);
                    v[r].re += p.re;
                    v[r].im += p.im;
                    if (++r == nt) r = 0;
                }
            } else {
                // Offsets d0 .. d1 of one sign in runs that do not wrap
                // around the folded length, the half window read forwards
                // or backwards.
                auto accumulate = [&](int d0, int d1) {
                    int r = ((base + d0) % nt + nt) % nt;
                    for (int d = d0; d <= d1; r = 0) {
                        const int run = std::min(d1 - d + 1, nt - r);
                        cfloat *out = v + r;
                        const cfloat *in = a + k + d;
                        if (d >= 0) {
                            const float *wd = w + d;
                            for (int j = 0; j < run; ++j) {
                                const float f = static_cast<float>(d + j) * wd[j];
                                out[j].re += in[j].re * f;
                                out[j].im += in[j].im * f;
                            }
                        } else {
                            const float *wd = w - d;  // w(|d+j|) = wd[-j]
                            for (int j = 0; j < run; ++j) {
                                const float f = static_cast<float>(d + j) * wd[-j];
                                out[j].re += in[j].re * f;
                                out[j].im += in[j].im * f;
                            }
                        }
                        d += run;
                    }
                };
                if (dlo < 0) accumulate(dlo, -1);
                if (dhi >= 1) accumulate(1, dhi);  // offset 0 weighs 0
            }
            fold_->transform("b", {v, nt, 1});
            return;
        }
        cfloat *col = g_.decim == 1 ? v : col_.data();
        std::fill(col, col + n, zero);
        for (int d = dlo; d <= dhi; ++d) {
            const int bin = g_.absolute ? k + d : (d < 0 ? d + n : d);
            col[bin] = term(d);
        }
        worker.signal_plan().transform("b", {col, n, 1});
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
// spacing beyond its first or last voice). Ties go to the higher voice.
class Nearest {
public:
    explicit Nearest(const VoiceGrid &g) : g_(g), inv_step_(1.0 / g.step) {
        if (g.bins == nullptr || g.count < 2) return;
        mids_.resize(g.count - 1);
        for (int i = 0; i + 1 < g.count; ++i) mids_[i] = 0.5 * (g.bins[i] + static_cast<double>(g.bins[i + 1]));
        lo_ = g.bins[0] - (mids_[0] - g.bins[0]);
        hi_ = g.bins[g.count - 1] + (g.bins[g.count - 1] - mids_.back());
    }

    // The destinations of voice i's coefficients at times 0 .. nt-1 (-1:
    // below the threshold, |S|^2 < floor2, or off the grid), from the voice
    // s and the offset-weighted voice d. The voice at bin 0 stays in place.
    void operator()(int i, const cfloat *s, const cfloat *d, int nt, double floor2, int *dest) const {
        const int k = g_.bin(i);
        for (int j = 0; j < nt; ++j) {
            const double re = s[j].re, im = s[j].im;
            const double mag2 = re * re + im * im;
            dest[j] = mag2 > 0.0 && mag2 >= floor2 ? i : -1;
        }
        if (k == 0) return;
        if (mids_.empty()) {
            // Offsets from the first voice in steps, plus a half: whole-number
            // parts of values in 0 .. count are the destinations. Branch-free,
            // so that the loop runs in vector registers.
            const double base = static_cast<double>(k - g_.bin(0)) + 0.5 * g_.step;
            const double count = g_.count;
            for (int j = 0; j < nt; ++j) {
                const double re = s[j].re, im = s[j].im;
                const double ratio = (d[j].re * re + d[j].im * im) / (re * re + im * im);
                const double u = (base + ratio) * inv_step_;
                const bool on = u >= 0.0 && u < count;  // false for NaN
                dest[j] = dest[j] >= 0 && on ? static_cast<int>(on ? u : 0.0) : -1;
            }
            return;
        }
        for (int j = 0; j < nt; ++j) {
            if (dest[j] < 0) continue;
            const double re = s[j].re, im = s[j].im;
            const double omega = k + (d[j].re * re + d[j].im * im) / (re * re + im * im);
            dest[j] = omega >= lo_ && omega < hi_
                          ? static_cast<int>(std::upper_bound(mids_.begin(), mids_.end(), omega) - mids_.begin())
                          : -1;
        }
    }

private:
    VoiceGrid g_;
    double inv_step_;
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

struct Scratch {
    explicit Scratch(const VoiceGrid &g)
        : voices(g), offsets(g), a(new cfloat[g.n]), s(g.times()), d(g.times()), dest(g.times()) {}
    VoiceWorker voices;
    OffsetVoice offsets;
    std::unique_ptr<cfloat[]> a;  // analytic spectrum, left uninitialised
    cfloat mean{};
    std::vector<cfloat> s, d;
    std::vector<int> dest;
    // A range of a block's coefficients sorted by destination row.
    std::vector<int> row_start, times;
    std::vector<cfloat> terms;
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

namespace {

// The voices of a block and their destinations, voice-major: the block is
// added to the result a range of times at a time, so that the rows the
// coefficients land in stay in cache while every voice of the block adds to
// them.
struct Block {
    Block(int voices, int nt) : voices(voices) {
        const std::size_t size = static_cast<std::size_t>(voices) * nt;
        allocate_named("the voices of a block of " + std::to_string(voices) + " voices",
                       size * (sizeof(cfloat) + sizeof(int)), [&] {
                           values.resize(size);
                           dest.resize(size);
                           return 0;
                       });
    }
    // Voices a block holds: about kBytes of them, at least `least`.
    static int size(const VoiceGrid &g, int least) {
        constexpr std::size_t kBytes = 8u << 20;
        const std::size_t per_voice = static_cast<std::size_t>(g.stored()) * (sizeof(cfloat) + sizeof(int));
        return static_cast<int>(std::min<std::size_t>(g.count, std::max<std::size_t>(least, kBytes / per_voice)));
    }
    int voices;
    std::vector<cfloat> values;
    std::vector<int> dest;
};

constexpr int kTimesPerRange = 64;

// Voice i (row r of the block) computed and sorted by destination.
void fill_row(Scratch &w, Block &block, int r, int i, const cfloat *a, cfloat mean,
              const WindowTable &table, const Nearest &nearest, int nt, double floor2) {
    // The voice straight into its row (nt is all of its times here).
    const std::size_t at = static_cast<std::size_t>(r) * nt;
    cfloat *s = block.values.data() + at;
    w.voices.voice(a, mean, i, &table, s);
    w.offsets.voice(w.voices, a, i, &table, w.d.data());
    nearest(i, s, w.d.data(), nt, floor2, block.dest.data() + at);
}

// Rows 0 .. len-1 of the block (voices i0 ..) added to plane t at times
// j0 .. j1-1. The weighted coefficients are first sorted by destination row
// (stably: voices, then times, in increasing order), then added a row at a
// time: a direct scatter would jump between rows a power-of-two stride apart,
// which share cache sets. Each value still receives its coefficients in
// increasing voice order.
void add_block(const SqueezeRule &rule, const Block &block, int i0, int len, int j0, int j1, int nt,
               Scratch &w, cfloat *t) {
    int lo = INT_MAX, hi = -1;
    for (int r = 0; r < len; ++r) {
        const int *dest = block.dest.data() + static_cast<std::size_t>(r) * nt;
        for (int j = j0; j < j1; ++j) {
            if (dest[j] < 0) continue;
            lo = std::min(lo, dest[j]);
            hi = std::max(hi, dest[j]);
        }
    }
    if (hi < 0) return;
    const int rows = hi - lo + 1;
    std::vector<int> &start = w.row_start;
    start.assign(static_cast<std::size_t>(rows) + 1, 0);
    for (int r = 0; r < len; ++r) {
        const int *dest = block.dest.data() + static_cast<std::size_t>(r) * nt;
        for (int j = j0; j < j1; ++j)
            if (dest[j] >= 0) ++start[dest[j] - lo + 1];
    }
    for (int q = 0; q < rows; ++q) start[q + 1] += start[q];
    const int total = start[rows];
    w.times.resize(total);
    w.terms.resize(total);
    for (int r = 0; r < len; ++r) {
        const std::size_t at = static_cast<std::size_t>(r) * nt;
        const int *dest = block.dest.data() + at;
        const cfloat *s = block.values.data() + at;
        const cfloat weight = rule.weight[i0 + r];
        for (int j = j0; j < j1; ++j) {
            const int l = dest[j];
            if (l < 0) continue;
            const int p = start[l - lo]++;
            w.times[p] = j;
            w.terms[p] = times_weight(times_weight(s[j], weight), rule.scale[l]);
        }
    }
    // start[q] now ends row q; row q begins where row q-1 ends.
    for (int q = 0, p = 0; q < rows; ++q) {
        cfloat *row = t + static_cast<std::size_t>(lo + q) * nt;
        for (; p < start[q]; ++p) {
            cfloat &to = row[w.times[p]];
            to.re += w.terms[p].re;
            to.im += w.terms[p].im;
        }
    }
}

}  // namespace

void sstransform(const Signals &x, const VoiceGrid &g, const SqueezeRule &rule, cfloat *out,
                 Parallel &par, bool zeroed) {
    check_grid(g);
    const int batch = x.count();
    const int nt = g.stored();
    if (nt != g.times()) throw std::invalid_argument("the squeezed map holds every time of its voices");
    const std::size_t plane = static_cast<std::size_t>(g.count) * nt;
    const Nearest nearest(g);
    WindowTable table;
    // Both voices read each window: kept even for a single signal.
    share_windows(std::max(batch, 2), g, par, table);
    Workers scratch(g, par.workers());

    if (split_by_signal(batch, par)) {
        // Each worker takes whole signals, with a block of its own.
        const int size = Block::size(g, 1);
        std::vector<std::unique_ptr<Block>> blocks(par.workers());
        par.run(batch, [&](int wk, int b) {
            Scratch &w = scratch(wk);
            if (!blocks[wk]) blocks[wk] = std::make_unique<Block>(size, nt);
            Block &block = *blocks[wk];
            analytic_spectrum(w.voices.signal_plan(), x, b, w.a.get(), w.mean, &par);
            const double floor2 = threshold_squared(rule, w.a.get(), g.n);
            cfloat *t = out + b * plane;
            if (!zeroed) std::fill(t, t + plane, cfloat{0.0f, 0.0f});
            for (int i0 = 0; i0 < g.count && !par.stopping(); i0 += size) {
                const int len = std::min(size, g.count - i0);
                for (int r = 0; r < len; ++r)
                    fill_row(w, block, r, i0 + r, w.a.get(), w.mean, table, nearest, nt, floor2);
                for (int j0 = 0; j0 < nt; j0 += kTimesPerRange)
                    add_block(rule, block, i0, len, j0, std::min(nt, j0 + kTimesPerRange), nt, w, t);
            }
        });
        return;
    }

    // Few signals: the voices of a block are computed in parallel, then
    // added by workers that each take ranges of times.
    Block block(Block::size(g, 2 * par.workers()), nt);
    constexpr int kRangesPerTask = 4;
    const int span = kTimesPerRange * kRangesPerTask;
    const int time_tasks = (nt + span - 1) / span;
    Scratch &first = scratch(0);
    for (int b = 0; b < batch; ++b) {
        analytic_spectrum(first.voices.signal_plan(), x, b, first.a.get(), first.mean);
        const double floor2 = threshold_squared(rule, first.a.get(), g.n);
        cfloat *t = out + b * plane;
        if (!zeroed) std::fill(t, t + plane, cfloat{0.0f, 0.0f});
        for (int i0 = 0; i0 < g.count; i0 += block.voices) {
            const int len = std::min(block.voices, g.count - i0);
            par.run(len, [&](int wk, int r) {
                fill_row(scratch(wk), block, r, i0 + r, first.a.get(), first.mean, table, nearest, nt,
                         floor2);
            });
            par.run(time_tasks, [&](int wk, int task) {
                const int end = std::min(nt, (task + 1) * span);
                Scratch &w = scratch(wk);
                for (int j0 = task * span; j0 < end; j0 += kTimesPerRange)
                    add_block(rule, block, i0, len, j0, std::min(end, j0 + kTimesPerRange), nt, w, t);
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
    // Both voices read each window: kept even for a single signal.
    share_windows(std::max(batch, 2), g, par, table);
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
