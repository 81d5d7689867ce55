// Chirp-z (Bluestein) transform of one length n: the n-point DFT as a cyclic
// convolution of length M (2,3,5-smooth, M >= 2n-2, see inner_length) with the chirp
// w_j = exp(-i pi j^2 / n), so any length costs O(n log n):
//
//   X_k = w_k * sum_j (x_j w_j) conj(w_{k-j}).
//
// The kernel's offsets -(n-1) .. n-1 need 2n-1 slots, but the chirp is even,
// so the two ends may share one: M = 2n-2 already holds the convolution
// (4097 convolves at 8192 instead of 8640).
//
// The chirp is formed in double precision from j^2 mod 2n (exact integers,
// so the angle stays accurate for any n) and rounded; the spectrum of the
// convolution kernel is computed once, here.
#pragma once

#include <memory>

#include "fft/plans/fftpack.hpp"
#include "fft/kernels/pointwise.hpp"

namespace orbelix::fftpack {

// The angle of w_j = exp(-i pi j^2 / n), as pi (j^2 mod 2n) / n in double
// precision: exact integers, so it stays accurate for any n.
double chirp_angle(int n, long long j);

// w_j = exp(-i pi j^2 / n) / divisor for j < n, formed in double precision
// and rounded to float.
void chirp_values(int n, double divisor, cfloat *w);

// Values 0 .. m-1 into out in the padded layout pad: the first count are
// the products of a and b, the rest 0.
void multiply_padded(Product product, const cfloat *a, const cfloat *b, int count, int m,
                     const PaddedInput &pad, cfloat *out);

class ChirpZ {
public:
    // n >= 2 with 2n - 2 within smooth_length's range. Throws std::bad_alloc.
    explicit ChirpZ(int n);

    int size() const { return n_; }
    int inner_size() const { return m_; }
    // Forward scaled by 1/n or backward unscaled, in place.
    void transform(bool forward, View1<cfloat> c);

    // Smallest 2^a 3^b 5^c >= target (target >= 1), or 0 above 2^30.
    static int smooth_length(long long target);
    // The convolution length for target = 2n - 2 slots: the smallest
    // 2,3,5-smooth multiple of 64 at or above it, or 0 above 2^30. The
    // passes run slower per point the fewer factors of 2 a length has
    // (3 * 5^4 is much slower than 2^7 * 3 * 5 or 2^11), so a few slots
    // more are worth six factors of 2: the smallest smooth length is often
    // far slower than this choice, which stays close to the fastest smooth
    // length nearby (benchmarks/cpp/inner_lengths.cpp compares them).
    static int inner_length(long long target);

private:
    int n_;
    int m_;
    Cfft1Plan inner_;
    std::unique_ptr<cfloat[]> chirp_;         // w_j, j < n
    std::unique_ptr<cfloat[]> chirp_scaled_;  // w_j / n, the forward output factor
    std::unique_ptr<cfloat[]> kernel_;        // unscaled M-point DFT of conj(w) on -(n-1) .. n-1
    std::unique_ptr<cfloat[]> work_;          // M values (and the inner plan's padded layout)
    std::unique_ptr<cfloat[]> padded_;        // the padded layout, where the inner plan takes one
};

}  // namespace orbelix::fftpack
