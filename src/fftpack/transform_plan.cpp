#include "fftpack/transform_plan.hpp"

#include <algorithm>
#include <new>

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

TransformPlan::TransformPlan(int n, Tables tables)
    : n_(std::max(n, 0)), direct_(chirp_length(n) ? 0 : n_) {
    if (chirp_length(n))
        chirp_ = std::make_unique<ChirpZ>(n);
    else if (tables == Tables::now)
        direct_.prepare_first_sweep();
    else
        transforms_before_tables_ = kTablesAtTransform;
}

int TransformPlan::transform(const char *dir, View1<cfloat> c) {
    if (!chirp_) {
        if (transforms_before_tables_ > 0 && --transforms_before_tables_ == 0) {
            // The tables only make the transform faster: without memory
            // for them it runs as before, with the same numbers.
            try {
                direct_.prepare_first_sweep();
            } catch (const std::bad_alloc &) {
            }
        }
        return direct_.transform(dir, c);
    }
    if (chirp_->init_error() != 0) return chirp_->init_error();
    if (dir[0] != 'f' && dir[0] != 'b') return 1;
    return chirp_->transform(dir[0] == 'f', c);
}

}  // namespace orbelix::fftpack
