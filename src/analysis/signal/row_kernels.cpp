// The per-sample loops of the voices at the vector width of one SIMD path;
// compiled once per instruction set.
#include "analysis/signal/row_kernel.hpp"

namespace orbelix::tools::row_paths::ORBELIX_KERNEL_ISA {

using Rows = kernel::Rows<ORBELIX_KERNEL_FLOATS>;

void power(const cfloat *v, std::size_t n, float *dst) { Rows::power(v, n, dst); }

void magnitude(const cfloat *v, std::size_t n, float *dst) { Rows::magnitude(v, n, dst); }

void epoch_sums(bool first, const cfloat *v, std::size_t n, double *sum_p, double *sum_re,
                double *sum_im) {
    if (first)
        Rows::epoch_sums<true>(v, n, sum_p, sum_re, sum_im);
    else
        Rows::epoch_sums<false>(v, n, sum_p, sum_re, sum_im);
}

bool unit_sums(bool first, const cfloat *v, std::size_t n, double *sum_p, double *sum_re,
               double *sum_im) {
    return first ? Rows::unit_sums<true>(v, n, sum_p, sum_re, sum_im)
                 : Rows::unit_sums<false>(v, n, sum_p, sum_re, sum_im);
}

void epoch_means(const double *sum_p, const double *sum_re, const double *sum_im, std::size_t n,
                 int epochs, float *pw, float *coh) {
    Rows::epoch_means(sum_p, sum_re, sum_im, n, epochs, pw, coh);
}

bool single_epoch(const cfloat *v, std::size_t n, float *pw, float *coh) {
    return Rows::single_epoch(v, n, pw, coh);
}

void fold(bool backward, cfloat *out, const cfloat *in, const float *w, int run) {
    if (backward)
        Rows::fold<true>(out, in, w, run);
    else
        Rows::fold<false>(out, in, w, run);
}

void window_product(bool backward, cfloat *out, const cfloat *in, const float *w, int run) {
    if (backward)
        Rows::window_product<true>(out, in, w, run);
    else
        Rows::window_product<false>(out, in, w, run);
}

void window_quotients(float c, float kk, long long m0, int len, float *q) {
    Rows::window_quotients(c, kk, m0, len, q);
}

}  // namespace orbelix::tools::row_paths::ORBELIX_KERNEL_ISA
