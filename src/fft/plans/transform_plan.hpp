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

#include "fft/plans/chirp_z.hpp"
#include "fft/plans/fftpack.hpp"

namespace orbelix::fftpack {

class TransformPlan {
public:
    // Which path a length takes, by its largest prime factor p: the radix
    // passes up to kRadixPrimeUpTo (exactly cfft1_'s numbers there), the
    // chirp-z path above kChirpPrimeAbove, and in between the one an
    // estimate of their times calls faster. A general pass costs about p^2
    // per group of p values, the chirp-z path a fixed few transforms of a
    // smooth length, so the chirp-z path wins for large p, and sooner when
    // other odd factors stand beside p; between the two bounds neither path
    // always wins, and the estimate follows the faster one closely
    // (benchmarks/cpp/transform_plan_timing.cpp and
    // transform_path_choice.cpp measure both). The two paths are equally
    // accurate there.
    static constexpr int kRadixPrimeUpTo = 41;
    static constexpr int kChirpPrimeAbove = 113;

    // When the radix path builds the first sweep's block tables (the same
    // numbers either way). They take about 3.4 n floats, and building them
    // costs as much as they save over about kTablesAtTransform transforms,
    // so a plan that may transform only once or twice (the whole signal of
    // an analysis, the sums of an inverse) builds them at that transform,
    // or goes on without them if there is no memory for them then.
    enum class Tables { now, when_reused };
    static constexpr int kTablesAtTransform = 12;

    // Throws std::bad_alloc when the tables cannot be allocated.
    explicit TransformPlan(int n, Tables tables = Tables::now);

    int size() const { return n_; }
    // Whether this length is transformed through the chirp-z path.
    bool uses_chirp() const { return chirp_ != nullptr; }
    // Transforms c (extent size()) in place, "f" scaled by 1/n and "b"
    // unscaled, as cfft1_ (Refused for any other direction).
    void transform(const char *dir, View1<cfloat> c);

    // The padded input layout transform_padded() takes (Cfft1Plan); none
    // on the chirp-z path, nor before the block tables are built.
    PaddedInput padded_input() const { return chirp_ ? PaddedInput{} : direct_.padded_input(); }
    // Transforms the input laid out in buf as padded_input() says; the
    // result is left in buf[0 .. size()), contiguous, with the numbers of
    // transform(). Segments marked in zero_segments are taken as +0 unread
    // (Cfft1Plan). Throws Refused when there is no such layout.
    void transform_padded(const char *dir, cfloat *buf, unsigned zero_segments = 0) {
        direct_.transform_padded(dir, buf, zero_segments);
    }

    // Whether a length n takes the chirp-z path.
    static bool chirp_length(int n);
    // Largest prime factor of n >= 1 (1 for n = 1).
    static int largest_prime_factor(int n);

    // Estimated times, in one unit (see transform_plan.cpp): one transform
    // of n points through the radix passes, and one chirp-z convolution at
    // inner length m (two transforms of m points and the products).
    static long long radix_cost(int n);
    static long long convolution_cost(int m);

private:
    int n_;
    int transforms_before_tables_ = 0;  // counts down to the one that builds them
    Cfft1Plan direct_;
    std::unique_ptr<ChirpZ> chirp_;
};

}  // namespace orbelix::fftpack
