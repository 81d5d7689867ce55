#include "fft/plans/fftpack.hpp"

#include <algorithm>
#include <climits>
#include <vector>

#include "fft/checks/checks.hpp"
#include "fft/kernels/passes.hpp"
#include "orbelix.h"

namespace orbelix::fftpack {
namespace {

bool is_direction(const char *dir) { return dir[0] == 'f' || dir[0] == 'b'; }

template <class T>
void copy_view(View1<T> from, View1<T> to) {
    for (int i = 0; i < from.n; ++i) to[i] = from[i];
}

}  // namespace

Cfft1Plan::Cfft1Plan(int n) : n_(std::max(n, 0)), lensav_(0) {
    if (n_ == 0) return;
    lensav_ = static_cast<int>(table_floats(n_));
    wsave_.reset(new float[lensav_]);
    cfft1i(&n_, wsave_.get(), &lensav_, &init_ier_);
}

void Cfft1Plan::reserve_work(long long floats) {
    if (floats <= work_len_) return;
    work_.reset(new float[floats]);
    work_len_ = static_cast<int>(floats);
}

namespace {

// Values after each segment of a padded input: one cache line.
constexpr int kInputGap = 8;

// Where the block tables and the padded input pay. The tables help once
// wsave's rows share cache sets; below that length they gain nothing. The
// padded input helps once the first sweep's input streams lie a multiple of
// 4 KB apart, which makes them compete for the same cache sets.
constexpr int kTablesFrom = 1024;
constexpr int kPaddedFrom = 4096;

}  // namespace

void Cfft1Plan::prepare_first_sweep() {
    if (n_ < kTablesFrom || init_ier_ != 0) return;
    fused_table_ = fused_sweep_table(n_, wsave_.get());
    single_table_ = single_sweep_table(n_, wsave_.get());
    padded_isa_ = simd::active();
    if (n_ >= kPaddedFrom) {
        const int segments = padded_segments(n_, wsave_.get(), kInputGap);
        if (segments > 0) padded_ = {segments, kInputGap};
    }
}

PaddedInput Cfft1Plan::padded_input() const {
    return simd::active() == padded_isa_ ? padded_ : PaddedInput{};
}

int Cfft1Plan::transform_padded(const char *dir, cfloat *buf, unsigned zero_segments) {
    if (!is_direction(dir)) return 1;
    // The layout belongs to the path the plan was prepared on.
    if (padded_input().segments == 0) return 2;
    run(dir[0] == 'f', buf, padded_.gap, zero_segments);
    return 0;
}

void Cfft1Plan::run(bool forward, cfloat *c, std::ptrdiff_t gap, unsigned zero_segments) {
    reserve_work(2LL * n_);
    const FirstSweep sweep{fused_table_.empty() ? nullptr : fused_table_.data(),
                           single_table_.empty() ? nullptr : single_table_.data(), gap,
                           zero_segments};
    Contiguous data{c}, scratch{reinterpret_cast<cfloat *>(work_.get())};
    if (forward)
        drive<true, false>(1, n_, data, scratch, wsave_.get(), true, sweep);
    else
        drive<false, false>(1, n_, data, scratch, wsave_.get(), true, sweep);
}

int Cfft1Plan::transform(const char *dir, View1<cfloat> c) {
    if (n_ == 0) return 0;
    if (init_ier_ != 0) return init_ier_;
    if (!is_direction(dir)) return 1;
    if (n_ >= 2 && c.contiguous() && !single_table_.empty()) {
        // Straight to the passes, with the block tables.
        run(dir[0] == 'f', c.data, 0);
        return 0;
    }
    const bool strided = !c.contiguous();
    reserve_work(strided ? 4LL * n_ : 2LL * n_);
    // A strided view goes through a contiguous copy kept after the scratch.
    float *work = work_.get();
    cfloat *data = c.data;
    if (strided) {
        data = reinterpret_cast<cfloat *>(work + 2LL * n_);
        copy_view(c, View1<cfloat>{data, n_, 1});
    }
    const int inc = 1, lenwrk = 2 * n_;
    int ier = 0;
    auto run = dir[0] == 'b' ? cfft1b : cfft1f;
    run(&n_, &inc, reinterpret_cast<float *>(data), &n_, wsave_.get(), &lensav_, work, &lenwrk,
        &ier);
    if (strided && ier == 0) copy_view(View1<cfloat>{data, n_, 1}, c);
    return ier;
}

void cfft1_(const char *dir, View1<cfloat> c, int &ier) {
    Cfft1Plan plan(c.n);
    ier = plan.init_error();
    if (ier == 0) ier = plan.transform(dir, c);
}

}  // namespace orbelix::fftpack
