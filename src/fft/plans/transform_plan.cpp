#include "fft/plans/transform_plan.hpp"

#include <algorithm>
#include <new>

#include "fft/plans/factor.hpp"

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

// Estimated times of one transform of n points through the radix passes and
// through the chirp-z path, in one arbitrary unit: weights fitted by
// non-negative least squares to measured times of lengths whose largest
// prime factor lies between the two bounds of the header. A general
// pass of p points does about p^2 work per group of p values: up to 41 in
// registers, above that in sweeps over groups 4 at a time in SIMD registers
// and one at a time for the rest. Beside it the radix-2 and -4 passes weigh
// next to nothing. The chirp-z path runs two transforms of its inner length
// and three products over it.
long long TransformPlan::radix_cost(int n) {
    int ip[32];
    const int nf = factor(n, ip);
    long long cost = 0;
    for (int k = 0; k < nf; ++k) {
        const long long p = ip[k], groups = n / p;
        if (p == 3) cost += 34LL * n;
        if (p == 5) cost += 46LL * n;
        if (p > 5 && p <= 41) cost += (31 + 13 * p) * n;
        if (p > 41) cost += 380LL * n + 68 * p * p * (groups / 4 + groups % 4);
    }
    return cost;
}

long long TransformPlan::convolution_cost(int m) {
    int ip[32];
    const int nf = factor(m, ip);
    long long per_point = 0;
    for (int k = 0; k < nf; ++k) {
        const int p = ip[k];
        per_point += p == 4 ? 156 : p == 2 ? 105 : p == 3 ? 157 : 208;
    }
    return per_point * m;
}

bool TransformPlan::chirp_length(int n) {
    // Inner lengths stay within the engine's 32-bit sizes.
    if (n <= 1 || n > (1 << 28)) return false;
    const int p = largest_prime_factor(n);
    if (p <= kRadixPrimeUpTo) return false;
    return p > kChirpPrimeAbove ||
           convolution_cost(ChirpZ::inner_length(2LL * n - 2)) < radix_cost(n);
}

TransformPlan::TransformPlan(int n, Tables tables)
    : n_(std::max(n, 0)), direct_(chirp_length(n) ? 0 : n_) {
    if (chirp_length(n))
        chirp_ = std::make_unique<ChirpZ>(n);
    else if (tables == Tables::now)
        direct_.prepare_first_sweep();
    else
        transforms_before_tables_ = kTablesAtTransform;
}

void TransformPlan::transform(const char *dir, View1<cfloat> c) {
    if (!chirp_) {
        if (transforms_before_tables_ > 0 && --transforms_before_tables_ == 0) {
            // The tables only make the transform faster: without memory
            // for them it runs as before, with the same numbers.
            try {
                direct_.prepare_first_sweep();
            } catch (const std::bad_alloc &) {
            }
        }
        direct_.transform(dir, c);
        return;
    }
    chirp_->transform(forward_direction(dir), c);
}

}  // namespace orbelix::fftpack
