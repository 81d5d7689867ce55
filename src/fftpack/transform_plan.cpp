#include "fftpack/transform_plan.hpp"

#include <algorithm>

#include "fftpack/passes.hpp"

namespace orbelix::fftpack {

int TransformPlan::largest_prime_factor(int n) {
    int largest = 1;
    for (int p = 2; static_cast<long long>(p) * p <= n; p += (p == 2 ? 1 : 2))
        while (n % p == 0) {
            largest = p;
            n /= p;
        }
    return std::max(largest, n);
}

bool TransformPlan::chirp_length(int n) {
    // Inner lengths stay within the engine's 32-bit sizes.
    return n > 1 && n <= (1 << 28) && largest_prime_factor(n) > kChirpPrimeAbove;
}

namespace {

// Values after each segment of a padded input: one cache line.
constexpr int kInputGap = 8;

// Where the block tables and the padded input pay (fst and the transform
// alone, AMD Zen 4): from n = 1024 the tables gain 1-6% in the transform;
// below, where wsave's rows do not share cache sets, they gained nothing.
// The padded input gains 3-9% in fst from n = 4096, where the first
// sweep's input streams lie a multiple of 4 KB apart, and nothing below.
constexpr int kTablesFrom = 1024;
constexpr int kPaddedFrom = 4096;

}  // namespace

TransformPlan::TransformPlan(int n)
    : n_(std::max(n, 0)), direct_(chirp_length(n) ? 0 : n_) {
    if (chirp_length(n)) {
        chirp_ = std::make_unique<ChirpZ>(n);
        return;
    }
    if (n_ < kTablesFrom || direct_.init_error() != 0) return;
    fused_table_ = fused_sweep_table(n_, direct_.table());
    single_table_ = single_sweep_table(n_, direct_.table());
    if (n_ >= kPaddedFrom) {
        const int segments = padded_segments(n_, direct_.table(), kInputGap);
        if (segments > 0) padded_ = {segments, kInputGap};
    }
}

FirstSweep TransformPlan::sweep(int gap) const {
    return {fused_table_.empty() ? nullptr : fused_table_.data(),
            single_table_.empty() ? nullptr : single_table_.data(), gap};
}

TransformPlan::PaddedInput TransformPlan::padded_input() const {
    return simd::active() == isa_ ? padded_ : PaddedInput{};
}

int TransformPlan::transform_padded(const char *dir, cfloat *buf) {
    if (dir[0] != 'f' && dir[0] != 'b') return 1;
    // The layout belongs to the path the plan was made on.
    if (padded_.segments == 0 || simd::active() != isa_) return 2;
    direct_.transform_contiguous(dir[0] == 'f', buf, sweep(padded_.gap));
    return 0;
}

int TransformPlan::transform(const char *dir, View1<cfloat> c) {
    if (!chirp_) {
        // Contiguous views go straight to the passes, with the block tables.
        if (n_ < 2 || direct_.init_error() != 0 || !c.contiguous() || c.n != n_ ||
            (dir[0] != 'f' && dir[0] != 'b'))
            return direct_.transform(dir, c);
        direct_.transform_contiguous(dir[0] == 'f', c.data, sweep(0));
        return 0;
    }
    if (chirp_->init_error() != 0) return chirp_->init_error();
    if (dir[0] != 'f' && dir[0] != 'b') return 1;
    return chirp_->transform(dir[0] == 'f', c);
}

}  // namespace orbelix::fftpack
