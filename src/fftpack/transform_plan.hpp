// The transform plan of the library's own callers (the S-transforms and the
// analysis package): one length, any length, in O(n log n).
//
// Lengths whose factors the radix passes handle cheaply give exactly the
// numbers of cfft1_; lengths with a prime factor above kChirpPrimeAbove go
// through a chirp-z transform on a smooth inner length (different rounding,
// same accuracy class). The public engine routines never take this path.
//
// A plan holds scratch: use one plan per thread.
#pragma once

#include <memory>

#include "fftpack/chirp_z.hpp"
#include "fftpack/fftpack.hpp"

namespace orbelix::fftpack {

class TransformPlan {
public:
    // Above this largest prime factor the chirp-z path is faster than the
    // general odd-radix pass at every size measured (n = p * 2^a from 500 to
    // 65000, benchmarks/cpp/transform_plan_timing.cpp): chirp/radix time is
    // 0.7-0.95 at p = 43, 0.5-0.9 at 53, about 0.5 from 67 on, and 1.0-1.25
    // at p <= 29, with 31-41 in between.
    static constexpr int kChirpPrimeAbove = 41;

    // When the radix path builds the first sweep's block tables (the same
    // numbers either way). They take 3.4 n floats and as long to build as
    // 11-12 transforms save with them (n = 14400 and 921600), so a plan
    // that may transform only once or twice (the whole signal of an
    // analysis, the sums of an inverse) builds them at its 12th transform,
    // or goes on without them if there is no memory for them then.
    enum class Tables { now, when_reused };
    static constexpr int kTablesAtTransform = 12;

    // Throws std::bad_alloc when the tables cannot be allocated.
    explicit TransformPlan(int n, Tables tables = Tables::now);

    int size() const { return n_; }
    // ier of building the tables (0 on success).
    int init_error() const { return chirp_ ? chirp_->init_error() : direct_.init_error(); }
    // Whether this length is transformed through the chirp-z path.
    bool uses_chirp() const { return chirp_ != nullptr; }
    // Transforms c (extent size()) in place, "f" scaled by 1/n and "b"
    // unscaled, as cfft1_; returns ier (1 for any other direction).
    int transform(const char *dir, View1<cfloat> c);

    // The padded input layout transform_padded() takes (Cfft1Plan); none
    // on the chirp-z path, nor before the block tables are built.
    PaddedInput padded_input() const { return chirp_ ? PaddedInput{} : direct_.padded_input(); }
    // Transforms the input laid out in buf as padded_input() says; the
    // result is left in buf[0 .. size()), contiguous, with the numbers of
    // transform(). Returns ier (2: no such layout).
    int transform_padded(const char *dir, cfloat *buf) {
        return chirp_ ? 2 : direct_.transform_padded(dir, buf);
    }

    // Whether a length n takes the chirp-z path.
    static bool chirp_length(int n);
    // Largest prime factor of n >= 1 (1 for n = 1).
    static int largest_prime_factor(int n);

private:
    int n_;
    int transforms_before_tables_ = 0;  // counts down to the one that builds them
    Cfft1Plan direct_;
    std::unique_ptr<ChirpZ> chirp_;
};

}  // namespace orbelix::fftpack
