#include "orbelix/cfst1f.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "fftpack/transform_plan.hpp"
#include "hilbrt/cht1.hpp"
#include "orbelix/fatal_stop.hpp"
#include "orbelix/gauss_window.hpp"
#include "orbelix/times_real.hpp"
#include "orbelix/vexp.hpp"

namespace orbelix {

namespace {

constexpr float kWindowConstant = 19.73921f;

// Voices go in blocks of kBatch: the block's buffer stays small, and storing
// it into the column-major result writes kBatch neighbouring rows per time
// sample. The buffer's columns are kPad samples longer than n, so that
// reading across them does not hit one cache set when n is a power of two.
constexpr int kBatch = 16;
constexpr int kPad = 8;

// The windowed, shifted spectrum of a voice: col[t] = A[k + t] * w(min(t, n-t)).
void window_spectrum(const cfloat *ak, const float *w, int n, cfloat *col) {
    const int half = n / 2;
    for (int t = 0; t <= half; ++t) col[t] = times_real(ak[t], w[t]);
    for (int t = half + 1; t < n; ++t) col[t] = times_real(ak[t], w[n - t]);
}

// Row block k0 .. k0+nb-1 of s from the batch buffer (voice b, time t at
// buf[b*ld + t]). Nb > 0 fixes the count at compile time for full blocks
// and a column-major s, so the inner loop is straight-line code.
template <int Nb>
void store_voices(const cfloat *buf, std::size_t ld, int n, int nb, View2<cfloat> s, int k0) {
    if constexpr (Nb > 0) {
        for (int t = 0; t < n; ++t) {
            cfloat *dst = &s(k0, t);
            for (int b = 0; b < Nb; ++b) dst[b] = buf[b * ld + t];
        }
    } else {
        for (int t = 0; t < n; ++t)
            for (int b = 0; b < nb; ++b) s(k0 + b, t) = buf[b * ld + t];
    }
}

// The half windows of one block of voices, kept while the blocks that reuse
// them are computed.
struct WindowBlock {
    std::vector<float> w;          // kBatch windows of `stride` floats
    std::vector<int> zero_from;    // per window: entries from here on are 0
};

// The voices 1 .. n/2 in blocks j = voices jB .. jB+B-1 (B = kBatch). Voice
// K = 2k reuses voice k's window (gauss(2k, 2m) == gauss(k, m) exactly), and
// voice k lies in block j/2 when K lies in block j. So the blocks go in the
// preorder of that binary tree, block 0 (which feeds itself) first, and
// only the windows of the blocks on the path from the root are kept: one
// block per level.
class VoiceLoop {
public:
    VoiceLoop(const std::vector<cfloat> &a2, int n, fftpack::TransformPlan &plan, View2<cfloat> s)
        : a2_(a2), n_(n), voices_(n / 2), count_(n / 2 + 1), plan_(plan), s_(s),
          ld_(static_cast<std::size_t>(n) + kPad),
          buf_(ld_ * std::min(kBatch, voices_)),
          scratch_(count_ / 2 + 16) {}

    void run() {
        visit(0, 0);
    }

private:
    const std::vector<cfloat> &a2_;  // A twice over, so that A[(k+t) mod n] is a2[k+t]
    int n_, voices_, count_;
    fftpack::TransformPlan &plan_;
    View2<cfloat> s_;
    std::size_t ld_;
    std::vector<cfloat> buf_;
    std::vector<float> scratch_;
    std::vector<WindowBlock> levels_;

    WindowBlock &level(int depth) {
        while (static_cast<int>(levels_.size()) <= depth) {
            levels_.push_back({std::vector<float>(static_cast<std::size_t>(kBatch) * count_, 0.0f),
                               std::vector<int>(kBatch, 0)});
        }
        return levels_[depth];
    }

    float *window(WindowBlock &wb, int slot) { return wb.w.data() + static_cast<std::size_t>(slot) * count_; }

    void visit(int j, int depth) {
        if (static_cast<long long>(j) * kBatch > voices_) return;
        block(j, depth);
        if (j == 0) {
            visit(1, 1);
        } else {
            visit(2 * j, depth + 1);
            visit(2 * j + 1, depth + 1);
        }
    }

    void block(int j, int depth) {
        WindowBlock &own = level(depth);
        WindowBlock &parent = level(j == 0 ? 0 : depth - 1);
        const int first = std::max(1, j * kBatch);
        const int last = std::min(voices_, j * kBatch + kBatch - 1);
        for (int k = first; k <= last; ++k) {
            const int slot = k - j * kBatch;
            float *w = window(own, slot);
            int &zero_from = own.zero_from[slot];
            if (k % 2 == 0) {
                const int hs = k / 2 - (j / 2) * kBatch;
                zero_from = gauss_half_window_doubled(k / 2, kWindowConstant, window(parent, hs),
                                                      parent.zero_from[hs], count_, w, zero_from,
                                                      scratch_.data());
            } else {
                zero_from = gauss_half_window(k, kWindowConstant, count_, w, zero_from);
            }
            cfloat *col = buf_.data() + (k - first) * ld_;
            window_spectrum(a2_.data() + k, w, n_, col);
            if (plan_.transform("b", {col, n_, 1}) != 0) fatal_stop();
        }
        const int nb = last - first + 1;
        if (nb == kBatch && s_.s1 == 1)
            store_voices<kBatch>(buf_.data(), ld_, n_, nb, s_, first);
        else
            store_voices<0>(buf_.data(), ld_, n_, nb, s_, first);
    }
};

}  // namespace

float gauss(int k, int m) {
    const float mm = static_cast<float>(static_cast<std::int64_t>(m) * m);
    const float kk = static_cast<float>(static_cast<std::int64_t>(k) * k);
    return vexp(-((kWindowConstant * mm) / kk));
}

std::vector<cfloat> cfst1f(View1<const cfloat> h) {
    const int n = h.n;
    const int rows = n / 2 + 1;
    std::vector<cfloat> s(static_cast<std::size_t>(rows) * n);
    cfst1f(h, column_major(s.data(), rows, n));
    return s;
}

void cfst1f(View1<const cfloat> h, View2<cfloat> s) {
    const int n = h.n;
    if (n <= 0) return;

    fftpack::TransformPlan plan(n);
    if (plan.init_error() != 0) fatal_stop();

    // Analytic spectrum A of h.
    std::vector<cfloat> a(n);
    for (int t = 0; t < n; ++t) a[t] = h[t];
    if (plan.transform("f", {a.data(), n, 1}) != 0) fatal_stop();
    hilbrt::cht1f({a.data(), n, 1});

    // Voice 0: the mean of h, two accumulators in increasing t.
    float sr = 0.0f, si = 0.0f;
    for (int t = 0; t < n; ++t) {
        sr += h[t].re;
        si += h[t].im;
    }
    const cfloat mean = {sr / static_cast<float>(n), si / static_cast<float>(n)};
    for (int t = 0; t < n; ++t) s(0, t) = mean;

    if (n / 2 == 0) return;
    a.resize(2 * static_cast<std::size_t>(n));
    std::copy(a.begin(), a.begin() + n, a.begin() + n);
    VoiceLoop(a, n, plan, s).run();
}

}  // namespace orbelix
