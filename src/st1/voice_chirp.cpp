#include "st1/voice_chirp.hpp"

#include <algorithm>
#include <complex>

#include "fft/plans/chirp_z.hpp"
#include "fft/plans/dft_double.hpp"
#include "fft/kernels/pointwise.hpp"
#include "st1/window_product.hpp"

namespace orbelix {

int VoiceChirp::inner_length(int n) { return fftpack::ChirpZ::inner_length(n + n / 2); }

bool VoiceChirp::pays(const fftpack::TransformPlan &plan) {
    using fftpack::TransformPlan;
    const int n = plan.size();
    if (plan.uses_chirp()) return true;
    if (n > (1 << 28)) return false;  // 1.5 n beyond the inner lengths' range
    if (n < 2 || TransformPlan::largest_prime_factor(n) <= TransformPlan::kRadixPrimeUpTo) return false;
    return TransformPlan::convolution_cost(inner_length(n)) < TransformPlan::radix_cost(n);
}

VoiceChirp::VoiceChirp(int n)
    : n_(n), count_(n / 2 + 1), m_(inner_length(n)), inner_(m_), chirp_(n),
      unchirp_(2 * static_cast<std::size_t>(n) - 1), kernel_(m_), work_(m_) {
    fftpack::chirp_values(n, 1.0, chirp_.data());
    for (int d = 0; d < n; ++d)
        unchirp_[n - 1 + d] = unchirp_[n - 1 - d] = {chirp_[d].re, -chirp_[d].im};
    // The chirp at offsets d = -(n/2) .. n-1 lies at d mod M; the forward
    // DFT of that, unscaled, is the backward DFT of its mirror image, which
    // holds w_r at r <= n/2 and at M - r for r < n. Formed in double up to
    // kDoubleKernelUpTo points: fst at n = 4099 then errs by 7.0e-7 rms
    // against a float64 transform instead of 9.9e-7.
    if (m_ <= kDoubleKernelUpTo) {
        std::vector<std::complex<double>> mirror(m_);
        const auto w = [n](int r) { return std::polar(1.0, -fftpack::chirp_angle(n, r)); };
        for (int r = 0; r < count_; ++r) mirror[r] = w(r);
        for (int r = 1; r < n; ++r) mirror[m_ - r] = w(r);
        fftpack::dft_double(mirror, +1);
        for (int q = 0; q < m_; ++q)
            kernel_[q] = {static_cast<float>(mirror[q].real()),
                          static_cast<float>(mirror[q].imag())};
    } else {
        fftpack::set_zero(kernel_.data(), m_);
        for (int r = 0; r < count_; ++r) kernel_[r] = chirp_[r];
        for (int r = 1; r < n; ++r) kernel_[m_ - r] = chirp_[r];
        inner_.transform("b", {kernel_.data(), m_, 1});
    }
    inner_.prepare_first_sweep();
    const fftpack::PaddedInput pad = inner_.padded_input();
    if (pad.segments > 0) {
        work_.resize(pad.extent(m_));
        second_.resize(pad.extent(m_));
    }
}

void VoiceChirp::voice(const cfloat *a, int k, const float *w, int wlen, bool absolute,
                       cfloat *out) {
    // The band where both the spectrum and the window are non-zero.
    const int lo = std::max(0, k - (wlen - 1)), hi = std::min(count_ - 1, k + (wlen - 1));
    const cfloat phase = absolute ? cfloat{1.0f, 0.0f} : chirp_[k];
    const cfloat *conj_chirp = unchirp_.data() + (n_ - 1);
    cfloat *y = work_.data();
    // Forward scaled by 1/M, times the kernel's unscaled spectrum, backward
    // unscaled: the cyclic convolution itself. Where the inner plan takes a
    // padded input, both transforms get theirs (the same values).
    const fftpack::PaddedInput pad = inner_.padded_input();
    const bool padded = pad.segments > 0;
    const int segments = padded ? pad.segments : 1;
    const int seg = m_ / segments;
    // Segments of a padded input outside the band are +0 throughout: the
    // first sweep takes them so without their being written or read.
    unsigned unwritten = 0;
    for (int s = 0; s < segments; ++s) {
        const int t0 = s * seg, t1 = t0 + seg;
        const int b0 = std::clamp(lo, t0, t1), b1 = std::clamp(hi + 1, b0, t1);
        if (padded && b0 == b1 && segments <= 32) {
            unwritten |= 1u << s;
            continue;
        }
        cfloat *run = y + static_cast<std::ptrdiff_t>(s) * pad.gap;
        fftpack::set_zero(run + t0, b0 - t0);
        centred_window_product(a + b0, conj_chirp + b0, w, k - b0, b1 - b0, phase, run + b0);
        fftpack::set_zero(run + b1, t1 - b1);
    }
    if (padded)
        inner_.transform_padded("f", y, unwritten);
    else
        inner_.transform("f", {y, m_, 1});
    if (padded) {
        fftpack::multiply_padded(fftpack::Product::plain, y, kernel_.data(), m_, m_, pad,
                                 second_.data());
        y = second_.data();
        inner_.transform_padded("b", y);
    } else {
        fftpack::multiply(fftpack::Product::plain, y, kernel_.data(), y, m_);
        inner_.transform("b", {y, m_, 1});
    }
    const cfloat *post = unchirp_.data() + (n_ - 1 - (absolute ? 0 : k));
    fftpack::multiply(fftpack::Product::plain, y, post, out, n_);
}

}  // namespace orbelix
