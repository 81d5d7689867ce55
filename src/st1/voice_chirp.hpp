// The voices of the fast S-transform at lengths on the chirp-z path.
//
// Voice k is the inverse DFT of the shifted, windowed analytic spectrum,
//   V_k[j] = sum_t A[(k+t) mod n] G_k(t) e^{2 pi i t j / n},
// and A is zero above n/2. With m = k + t the sum runs over the band
// m = 0 .. n/2 only:
//   V_k[j] = e^{-2 pi i k j / n} sum_{m <= n/2} A[m] G_k(|m-k|) e^{2 pi i m j / n}.
// Through the chirp w_x = exp(-i pi x^2 / n) (2mj = m^2 + j^2 - (j-m)^2),
//   V_k[j] = conj(w_|j-k|) w_k sum_m (A[m] conj(w_m) G_k(|m-k|)) w_{j-m},
// a linear convolution of n/2 + 1 inputs against the chirp on offsets
// -(n/2) .. n-1, which fits a cyclic one of 1.5 n points where the whole
// n-point transform needs 2n: 4099 convolves at 6400 instead of 8640,
// 8191 at 12288 instead of 16384.
#pragma once

#include <vector>

#include "fft/plans/fftpack.hpp"
#include "fft/plans/transform_plan.hpp"

namespace orbelix {

class VoiceChirp {
public:
    // Tables for length n >= 2. Throws std::bad_alloc.
    explicit VoiceChirp(int n);

    int inner_size() const { return m_; }

    // Voice k (1 <= k <= n/2) of the analytic spectrum a (n values, zero
    // above n/2) into out[0 .. n). The window is w[d] = G_k(d) for d < wlen
    // (wlen >= 1) and zero from there on. With `absolute` phase the factor
    // e^{-2 pi i k j / n} is left out.
    void voice(const cfloat *a, int k, const float *w, int wlen, bool absolute, cfloat *out);

    // The cyclic convolution length for n: the smallest 2,3,5-smooth
    // multiple of 64 holding n + n/2 slots.
    static int inner_length(int n);

    // Whether the voices of the plan's length go through the band
    // convolution: wherever the plan takes the chirp-z path, and where the
    // largest prime factor lies above TransformPlan::kRadixPrimeUpTo (so
    // that the numbers of cfft1_ are not called for) and the convolution at
    // 1.5 n is estimated faster than the radix passes.
    static bool pays(const fftpack::TransformPlan &plan);

    // Inner lengths whose kernel spectrum is formed in double precision
    // (64 bytes a point while it is built); longer ones in single.
    static constexpr int kDoubleKernelUpTo = 1 << 20;

private:
    int n_, count_, m_;  // n, the n/2 + 1 band values, the inner length
    fftpack::Cfft1Plan inner_;
    std::vector<cfloat> chirp_;    // w_j, j < n
    std::vector<cfloat> unchirp_;  // conj(w_|d|) at d + n - 1, |d| < n
    std::vector<cfloat> kernel_;   // unscaled forward DFT of the chirp on the offsets
    std::vector<cfloat> work_;     // m_ values, or the inner plan's padded input
    std::vector<cfloat> second_;   // the padded input of the backward transform
};

}  // namespace orbelix
