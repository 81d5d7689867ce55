#include "analysis/signal/rows.hpp"

#include "analysis/signal/row_kernel.hpp"

namespace orbelix::tools::rows {

using namespace row_paths;

void power(simd::Isa isa, const cfloat *v, std::size_t n, float *dst) {
    ORBELIX_ON_PATH(isa, power(v, n, dst));
}

void magnitude(simd::Isa isa, const cfloat *v, std::size_t n, float *dst) {
    ORBELIX_ON_PATH(isa, magnitude(v, n, dst));
}

void epoch_sums(simd::Isa isa, bool first, const cfloat *v, std::size_t n, double *sum_p,
                double *sum_re, double *sum_im) {
    ORBELIX_ON_PATH(isa, epoch_sums(first, v, n, sum_p, sum_re, sum_im));
}

bool unit_sums(simd::Isa isa, bool first, const cfloat *v, std::size_t n, double *sum_p,
               double *sum_re, double *sum_im) {
    return ORBELIX_ON_PATH(isa, unit_sums(first, v, n, sum_p, sum_re, sum_im));
}

void epoch_means(simd::Isa isa, const double *sum_p, const double *sum_re, const double *sum_im,
                 std::size_t n, int epochs, float *pw, float *coh) {
    ORBELIX_ON_PATH(isa, epoch_means(sum_p, sum_re, sum_im, n, epochs, pw, coh));
}

bool single_epoch(simd::Isa isa, const cfloat *v, std::size_t n, float *pw, float *coh) {
    return ORBELIX_ON_PATH(isa, single_epoch(v, n, pw, coh));
}

void fold(simd::Isa isa, bool backward, cfloat *out, const cfloat *in, const float *w, int run) {
    ORBELIX_ON_PATH(isa, fold(backward, out, in, w, run));
}

void window_product(simd::Isa isa, bool backward, cfloat *out, const cfloat *in, const float *w,
                    int run) {
    ORBELIX_ON_PATH(isa, window_product(backward, out, in, w, run));
}

void window_quotients(simd::Isa isa, float c, float kk, long long m0, int len, float *q) {
    ORBELIX_ON_PATH(isa, window_quotients(c, kk, m0, len, q));
}

void power(const cfloat *v, std::size_t n, float *dst) { power(simd::active(), v, n, dst); }

void magnitude(const cfloat *v, std::size_t n, float *dst) { magnitude(simd::active(), v, n, dst); }

void epoch_sums(bool first, const cfloat *v, std::size_t n, double *sum_p, double *sum_re,
                double *sum_im) {
    epoch_sums(simd::active(), first, v, n, sum_p, sum_re, sum_im);
}

bool unit_sums(bool first, const cfloat *v, std::size_t n, double *sum_p, double *sum_re,
               double *sum_im) {
    return unit_sums(simd::active(), first, v, n, sum_p, sum_re, sum_im);
}

void epoch_means(const double *sum_p, const double *sum_re, const double *sum_im, std::size_t n,
                 int epochs, float *pw, float *coh) {
    epoch_means(simd::active(), sum_p, sum_re, sum_im, n, epochs, pw, coh);
}

bool single_epoch(const cfloat *v, std::size_t n, float *pw, float *coh) {
    return single_epoch(simd::active(), v, n, pw, coh);
}

void fold(bool backward, cfloat *out, const cfloat *in, const float *w, int run) {
    fold(simd::active(), backward, out, in, w, run);
}

void window_product(bool backward, cfloat *out, const cfloat *in, const float *w, int run) {
    window_product(simd::active(), backward, out, in, w, run);
}

void window_quotients(float c, float kk, long long m0, int len, float *q) {
    window_quotients(simd::active(), c, kk, m0, len, q);
}

}  // namespace orbelix::tools::rows
