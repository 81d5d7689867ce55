// Helpers shared by the C++ tests: a double-precision DFT as the oracle of
// the FFT tests, random signals, bit comparisons, and the SIMD paths this
// machine runs with a guard that forces one path and gives back the one in
// use before, also when a failed assertion leaves the test early.
#pragma once

#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <vector>

#include "core/simd/isa.hpp"
#include "core/view.hpp"

namespace orbelix::testing {


using cd = std::complex<double>;

// X(k) = scale * sum_j x(j) exp(sign * 2 pi i j k / n).
inline std::vector<cd> dft(const std::vector<cfloat> &x, int sign, double scale) {
    const std::size_t n = x.size();
    std::vector<cd> out(n);
    for (std::size_t k = 0; k < n; ++k) {
        cd acc = 0;
        for (std::size_t j = 0; j < n; ++j) {
            const double ang = sign * 2.0 * M_PI * double((j * k) % n) / double(n);
            acc += cd(x[j].re, x[j].im) * cd(std::cos(ang), std::sin(ang));
        }
        out[k] = acc * scale;
    }
    return out;
}

// Root-mean-square error of got relative to the rms of ref.
inline double rms_relative(const std::vector<cfloat> &got, const std::vector<cd> &ref) {
    double num = 0, den = 0;
    for (std::size_t k = 0; k < ref.size(); ++k) {
        num += std::norm(cd(got[k].re, got[k].im) - ref[k]);
        den += std::norm(ref[k]);
    }
    return den == 0 ? std::sqrt(num) : std::sqrt(num / den);
}

inline std::vector<cfloat> random_signal(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::normal_distribution<float> dist;
    std::vector<cfloat> x(n);
    for (auto &v : x) v = {dist(gen), dist(gen)};
    return x;
}

inline bool same_bits(cfloat a, cfloat b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// How many of want.size() values at got differ from want in any bit.
inline int bits_differing(const cfloat *got, const std::vector<cfloat> &want) {
    int bad = 0;
    for (std::size_t j = 0; j < want.size(); ++j) bad += !same_bits(got[j], want[j]);
    return bad;
}


inline std::vector<simd::Isa> supported_paths() {
    std::vector<simd::Isa> out;
    for (simd::Isa isa : {simd::Isa::sse2, simd::Isa::avx2, simd::Isa::avx512})
        if (simd::supported(isa)) out.push_back(isa);
    return out;
}

class ForcedPath {
public:
    explicit ForcedPath(simd::Isa isa) : before_(simd::active()), forced_(simd::force(isa)) {}
    ~ForcedPath() { simd::force(before_); }
    ForcedPath(const ForcedPath &) = delete;
    ForcedPath &operator=(const ForcedPath &) = delete;

    // Whether the path was taken (the CPU has it).
    bool forced() const { return forced_; }

private:
    simd::Isa before_;
    bool forced_;
};

}  // namespace orbelix::testing
