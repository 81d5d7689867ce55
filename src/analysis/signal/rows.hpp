// The per-sample work on voices, on the SIMD path in use (or a given one,
// for tests): every path gives the same bits.
#pragma once

#include <cstddef>

#include "core/simd/isa.hpp"
#include "core/view.hpp"

namespace orbelix::tools::rows {

// dst[t] = |v[t]|^2 in single precision.
void power(const cfloat *v, std::size_t n, float *dst);
// dst[t] = |v[t]| from the squares in double precision, rounded once.
void magnitude(const cfloat *v, std::size_t n, float *dst);
// The terms of one epoch added to the double sums of |S|^2 and S/|S| (S = 0
// adds 0), or stored when `first`.
void epoch_sums(bool first, const cfloat *v, std::size_t n, double *sum_p, double *sum_re,
                double *sum_im);
// The same with S/|S| formed in single precision (1/sqrtf(|S|^2) times S,
// each rounded once) and added to the double sums, when every |S|^2 of the
// row lies between 2^-100 and 2^126 as a float (or S is 0); else false and
// nothing done.
bool unit_sums(bool first, const cfloat *v, std::size_t n, double *sum_p, double *sum_re,
               double *sum_im);
// pw = sum_p / epochs, coh = |(sum_re, sum_im)| / epochs, rounded once.
void epoch_means(const double *sum_p, const double *sum_re, const double *sum_im, std::size_t n,
                 int epochs, float *pw, float *coh);
// A single epoch's power and coherence (1, or 0 where S = 0); true when some
// power is not finite, which then needs the general sums.
bool single_epoch(const cfloat *v, std::size_t n, float *pw, float *coh);
// out[j] += in[j] * w[j] for j < run, or in[j] * w[-j] when `backward`.
void fold(bool backward, cfloat *out, const cfloat *in, const float *w, int run);
// out[j] = times_real(in[j], w[j]) for j < run, or w[-j] when `backward`.
void window_product(bool backward, cfloat *out, const cfloat *in, const float *w, int run);
// q[i] = max(-((c * float(m*m)) / kk), -128), m = m0 + i, the square in double.
void window_quotients(float c, float kk, long long m0, int len, float *q);

// The same on a given path.
void power(simd::Isa isa, const cfloat *v, std::size_t n, float *dst);
void magnitude(simd::Isa isa, const cfloat *v, std::size_t n, float *dst);
void epoch_sums(simd::Isa isa, bool first, const cfloat *v, std::size_t n, double *sum_p,
                double *sum_re, double *sum_im);
bool unit_sums(simd::Isa isa, bool first, const cfloat *v, std::size_t n, double *sum_p,
               double *sum_re, double *sum_im);
void epoch_means(simd::Isa isa, const double *sum_p, const double *sum_re, const double *sum_im,
                 std::size_t n, int epochs, float *pw, float *coh);
bool single_epoch(simd::Isa isa, const cfloat *v, std::size_t n, float *pw, float *coh);
void fold(simd::Isa isa, bool backward, cfloat *out, const cfloat *in, const float *w, int run);
void window_product(simd::Isa isa, bool backward, cfloat *out, const cfloat *in, const float *w,
                    int run);
void window_quotients(simd::Isa isa, float c, float kk, long long m0, int len, float *q);

}  // namespace orbelix::tools::rows
