#include "fft/plans/fftpack.hpp"

#include <algorithm>
#include <climits>
#include <vector>

#include "core/errors.hpp"
#include "fft/checks/checks.hpp"
#include "fft/kernels/passes.hpp"
#include "fft/plans/factor.hpp"

namespace orbelix::fftpack {

bool forward_direction(const char *dir) {
    if (dir[0] != 'f' && dir[0] != 'b') refuse("FFT direction is neither \"f\" nor \"b\"");
    return dir[0] == 'f';
}

namespace {

template <class T>
void copy_view(View1<T> from, View1<T> to) {
    for (int i = 0; i < from.n; ++i) to[i] = from[i];
}

}  // namespace

Cfft1Plan::Cfft1Plan(int n) : n_(std::max(n, 0)) {
    if (n_ == 0) return;
    wsave_.reset(new float[table_floats(n_)]);
    fill_table(n_, wsave_.get());
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
    if (n_ < kTablesFrom) return;
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

void Cfft1Plan::transform_padded(const char *dir, cfloat *buf, unsigned zero_segments) {
    const bool forward = forward_direction(dir);
    // The layout belongs to the path the plan was prepared on.
    if (padded_input().segments == 0) refuse("FFT plan has no padded input layout");
    run(forward, buf, sweep(padded_.gap, zero_segments));
}

FirstSweep Cfft1Plan::sweep(std::ptrdiff_t gap, unsigned zero_segments) const {
    return {fused_table_.empty() ? nullptr : fused_table_.data(),
            single_table_.empty() ? nullptr : single_table_.data(), gap, zero_segments};
}

void Cfft1Plan::run(bool forward, cfloat *c, const FirstSweep &sweep) {
    reserve_work(2LL * n_);
    Contiguous data{c}, scratch{reinterpret_cast<cfloat *>(work_.get())};
    if (forward)
        drive<true, false>(1, n_, data, scratch, wsave_.get(), true, sweep);
    else
        drive<false, false>(1, n_, data, scratch, wsave_.get(), true, sweep);
}

void Cfft1Plan::transform(const char *dir, View1<cfloat> c) {
    if (n_ == 0) return;
    const bool forward = forward_direction(dir);
    if (n_ == 1) return;
    if (c.contiguous()) {
        // Straight to the passes, with the block tables where there are.
        run(forward, c.data, sweep(0, 0));
        return;
    }
    // A strided view goes through a contiguous copy kept after the scratch,
    // transformed as cfft1f and cfft1b transform one sequence.
    reserve_work(4LL * n_);
    cfloat *data = reinterpret_cast<cfloat *>(work_.get() + 2LL * n_);
    copy_view(c, View1<cfloat>{data, n_, 1});
    run(forward, data, FirstSweep{});
    copy_view(View1<cfloat>{data, n_, 1}, c);
}

void cfft1_(const char *dir, View1<cfloat> c) { Cfft1Plan(c.n).transform(dir, c); }

}  // namespace orbelix::fftpack
