#include "st1/cfst1f.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "fft/plans/transform_plan.hpp"
#include "st1/cht1.hpp"
#include "st1/gauss_window.hpp"
#include "core/huge_buffer.hpp"
#include "core/interrupt.hpp"
#include "st1/vexp.hpp"
#include "st1/voice_chirp.hpp"
#include "st1/voice_store.hpp"
#include "st1/window_product.hpp"

namespace orbelix {

namespace {

// Voices go in blocks: storing a block into the column-major result writes
// that many neighbouring rows (up to eight cache lines) per time sample, so
// few lines are shared with the next block; beyond 64 voices little is
// left to gain while the buffer keeps growing. Large n take fewer voices a
// block, so that the buffer stays within a budget of the last-level cache,
// but never fewer than 32: below that, the lines each block shares with its
// neighbours in every column (written in part, with streaming stores) cost
// more than reading the block back from memory. The buffer's columns are
// kPad samples longer than n (and than the padded input of the voice
// transforms), so that reading across them does not hit one cache set when
// n is a power of two.
constexpr int kMaxBatch = 64;
constexpr int kBatchStep = 8;  // voices per cache line of a column
constexpr std::size_t kBlockBytes = std::size_t(9) << 19;  // 4.5 MB
constexpr int kPad = 8;

int batch_for(std::size_t ld) {
    const std::size_t fit = kBlockBytes / (ld * sizeof(cfloat));
    const int b = static_cast<int>(std::min<std::size_t>(fit, kMaxBatch)) / kBatchStep * kBatchStep;
    return std::max(b, 4 * kBatchStep);
}

// The first halves of the windows of one block of voices (what their
// doubles read), kept while the blocks that reuse them are computed.
struct WindowBlock {
    int capacity = 0;              // floats per window
    std::vector<float> w;          // one block's windows of `capacity` floats
    std::vector<int> zero_from;    // per window: entries from here on are 0
};

// The voices 0 .. n/2 in blocks j = voices jB .. jB+B-1 (B = batch_). Voice
// K = 2k reuses voice k's window (gauss(2k, 2m) == gauss(k, m) exactly), and
// voice k lies in block j/2 when K lies in block j. So the blocks go in the
// preorder of that binary tree, block 0 (which feeds itself) first, and
// only the windows of the blocks on the path from the root are kept: one
// block per level, each window only as far as its double reads it and no
// further than it can be non-zero.
class VoiceLoop {
public:
    VoiceLoop(const std::vector<cfloat> &a2, cfloat mean, int n, fftpack::TransformPlan &plan,
              View2<cfloat> s, int batch)
        : a2_(a2), mean_(mean), n_(n), voices_(n / 2), count_(n / 2 + 1), plan_(plan), s_(s),
          padded_(plan.padded_input()),
          ld_(static_cast<std::size_t>(padded_.extent(n)) + kPad),
          batch_(batch > 0 ? batch : batch_for(ld_)),
          buf_(ld_ * std::min(batch_, count_)),
          work_(count_, 0.0f),
          scratch_(count_ / 2 + 16) {
        // On the chirp-z path, and where it is faster than the radix
        // passes, each voice convolves only the band where the analytic
        // spectrum is non-zero.
        if (VoiceChirp::pays(plan)) chirp_ = std::make_unique<VoiceChirp>(n);
    }

    void run() { visit(0, 0); }

private:
    const std::vector<cfloat> &a2_;  // A twice over, so that A[(k+t) mod n] is a2[k+t]
    cfloat mean_;                    // voice 0
    int n_, voices_, count_;
    fftpack::TransformPlan &plan_;
    View2<cfloat> s_;
    // Each voice's windowed spectrum goes into its column laid out as the
    // plan's padded input where it takes one (its first sweep then reads
    // streams in different cache sets), and comes back contiguous.
    fftpack::PaddedInput padded_;
    std::size_t ld_;
    int batch_;
    HugeBuffer buf_;  // batch_ columns of ld_ values
    std::vector<float> work_;  // the window of the voice in hand
    int work_zero_from_ = 0;
    std::vector<float> scratch_;
    std::vector<WindowBlock> levels_;
    std::unique_ptr<VoiceChirp> chirp_;

    // Level `depth` holds blocks below voice 2^depth * B; a window of voice
    // k is 0 beyond offset 2.2954 k (exp below -104).
    WindowBlock &level(int depth) {
        while (static_cast<int>(levels_.size()) <= depth) {
            const double top = batch_ * std::ldexp(1.0, static_cast<int>(levels_.size()));
            const int capacity =
                static_cast<int>(std::min<double>((count_ + 1) / 2, 2.3 * top + 8.0));
            levels_.push_back({capacity, std::vector<float>(static_cast<std::size_t>(batch_) * capacity),
                               std::vector<int>(batch_, 0)});
        }
        return levels_[depth];
    }

    float *slot(WindowBlock &wb, int i) { return wb.w.data() + static_cast<std::size_t>(i) * wb.capacity; }

    void visit(int j, int depth) {
        if (static_cast<long long>(j) * batch_ > voices_) return;
        block(j, depth);
        if (j == 0) {
            visit(1, 1);
        } else {
            visit(2 * j, depth + 1);
            visit(2 * j + 1, depth + 1);
        }
    }

    void block(int j, int depth) {
        poll_interrupt();
        WindowBlock &own = level(depth);
        WindowBlock &parent = level(j == 0 ? 0 : depth - 1);
        const int first = j * batch_;
        const int last = std::min(voices_, first + batch_ - 1);
        // Voice 0 goes out with block 0, so that its row is not written on its own.
        if (j == 0) std::fill(buf_.data(), buf_.data() + n_, mean_);
        for (int k = std::max(1, first); k <= last; ++k) {
            // The analytic spectrum is +0 above n/2, so voice k's windowed
            // spectrum is +0 at offsets n/2+1-k .. n-1-k, and the rest reads
            // the window only up to offset max(k, n/2 - k). Voice 2k, whose
            // window is built from this one, reads it only up to
            // max(k, n/4 - k).
            const int reach = std::min(count_, std::max(k, n_ / 2 - k) + 1);
            const KnownZeros zeros{n_ / 2 + 1 - k, n_ - k};
            if (k % 2 == 0) {
                const int hs = k / 2 - (j / 2) * batch_;
                work_zero_from_ = gauss_half_window_doubled(
                    k / 2, kWindowConstant, slot(parent, hs), parent.zero_from[hs], reach,
                    work_.data(), work_zero_from_, scratch_.data());
            } else {
                work_zero_from_ = gauss_half_window(k, kWindowConstant, reach, work_.data(),
                                                    work_zero_from_);
            }
            // Only voices with a double among the voices keep their window.
            if (2 * k <= voices_) keep_window(own, k - first);
            cfloat *col = buf_.data() + (k - first) * ld_;
            if (chirp_) {
                chirp_->voice(a2_.data(), k, work_.data(), work_zero_from_, false, col);
            } else if (padded_.segments > 0) {
                // The runs that are +0 throughout are neither written nor read.
                const unsigned unwritten =
                    window_product(a2_.data() + k, work_.data(), n_, padded_.segments,
                                   padded_.gap, col, {zeros.from, zeros.to, true});
                plan_.transform_padded("b", col, unwritten);
            } else {
                window_product(a2_.data() + k, work_.data(), n_, col, zeros);
                plan_.transform("b", {col, n_, 1});
            }
        }
        store_voices(buf_.data(), ld_, n_, last - first + 1, s_, first);
    }

    // The part of the working window that the double of this voice reads.
    void keep_window(WindowBlock &wb, int i) {
        const int kept = std::min(work_zero_from_, wb.capacity);
        std::copy(work_.begin(), work_.begin() + kept, slot(wb, i));
        wb.zero_from[i] = kept < wb.capacity ? kept : work_zero_from_;
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

void cfst1f(View1<const cfloat> h, View2<cfloat> s) { cfst1f_in_blocks(h, s, 0); }

void cfst1f_in_blocks(View1<const cfloat> h, View2<cfloat> s, int voices_per_block) {
    const int n = h.n;
    if (n <= 0) return;

    fftpack::TransformPlan plan(n);

    // Analytic spectrum A of h.
    std::vector<cfloat> a(n);
    for (int t = 0; t < n; ++t) a[t] = h[t];
    plan.transform("f", {a.data(), n, 1});
    hilbrt::cht1f({a.data(), n, 1});

    // Voice 0: the mean of h, two accumulators in increasing t.
    float sr = 0.0f, si = 0.0f;
    for (int t = 0; t < n; ++t) {
        sr += h[t].re;
        si += h[t].im;
    }
    const cfloat mean = {sr / static_cast<float>(n), si / static_cast<float>(n)};

    a.resize(2 * static_cast<std::size_t>(n));
    std::copy(a.begin(), a.begin() + n, a.begin() + n);
    VoiceLoop(a, mean, n, plan, s, voices_per_block).run();
}

}  // namespace orbelix
