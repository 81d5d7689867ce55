// Double-precision DFT used as the oracle of the FFT tests.
#pragma once

#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <vector>

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

}  // namespace orbelix::testing
