#include "orbelix/voice_chirp.hpp"

#include <algorithm>
#include <complex>

#include "fftpack/chirp_z.hpp"
#include "fftpack/dft_double.hpp"
#include "fftpack/pointwise.hpp"
#include "orbelix/window_product.hpp"

namespace orbelix {

int VoiceChirp::inner_length(int n) { return fftpack::ChirpZ::inner_length(n + n / 2); }

VoiceChirp::VoiceChirp(int n)
    : n_(n), count_(n / 2 + 1), m_(inner_length(n)), inner_(m_), chirp_(n),
      unchirp_(2 * static_cast<std::size_t>(n) - 1), kernel_(m_), work_(m_) {
    fftpack::chirp_values(n, 1.0, chirp_.data());
    for (int d = 0; d < n; ++d) unchirp_[n - 1 + d] = unchirp_[n - 1 - d] = {chirp_[d].re, -chirp_[d].im};
    if (inner_.init_error() != 0) return;
    // The chirp at offsets d = -(n/2) .. n-1 lies at d mod M; the forward
    // DFT of that, unscaled, is the backward DFT of its mirror image, which
    // holds w_r at r <= n/2 and at M - r for r < n. Formed in double up to
    // kDoubleKernelUpTo points: the voices then err about 0.6e-6 rms against
    // a float64 transform instead of 1e-6 (n = 4099).
    if (m_ <= kDoubleKernelUpTo) {
        std::vector<std::complex<double>> mirror(m_);
        const auto w = [n](int r) { return std::polar(1.0, -fftpack::chirp_angle(n, r)); };
        for (int r = 0; r < count_; ++r) mirror[r] = w(r);
        for (int r = 1; r < n; ++r) mirror[m_ - r] = w(r);
        fftpack::dft_double(mirror, +1);
        for (int q = 0; q < m_; ++q)
            kernel_[q] = {static_cast<float>(mirror[q].real()), static_cast<float>(mirror[q].imag())};
    } else {
        fftpack::set_zero(kernel_.data(), m_);
        for (int r = 0; r < count_; ++r) kernel_[r] = chirp_[r];
        for (int r = 1; r < n; ++r) kernel_[m_ - r] = chirp_[r];
        inner_.transform("b", {kernel_.data(), m_, 1});
    }
    inner_.prepare_first_sweep();
    pad_ = inner_.padded_input();
    if (pad_.segments > 0) {
        work_.resize(pad_.extent(m_));
        second_.resize(pad_.extent(m_));
    }
}

int VoiceChirp::voice(const cfloat *a, int k, const float *w, int wlen, bool absolute, cfloat *out) {
    if (inner_.init_error() != 0) return inner_.init_error();
    // The band where both the spectrum and the window are non-zero.
    const int lo = std::max(0, k - (wlen - 1)), hi = std::min(count_ - 1, k + (wlen - 1));
    const cfloat phase = absolute ? cfloat{1.0f, 0.0f} : chirp_[k];
    const cfloat *conj_chirp = unchirp_.data() + (n_ - 1);
    cfloat *y = work_.data();
    // Forward scaled by 1/M, times the kernel's unscaled spectrum, backward
    // unscaled: the cyclic convolution itself. Where the inner plan takes a
    // padded input, both transforms get theirs (the same values).
    const int segments = std::max(pad_.segments, 1);
    const int seg = m_ / segments;
    for (int s = 0; s < segments; ++s) {
        const int t0 = s * seg, b0 = std::clamp(lo, t0, t0 + seg), b1 = std::clamp(hi + 1, b0, t0 + seg);
        cfloat *run = y + static_cast<std::ptrdiff_t>(s) * pad_.gap;
        fftpack::set_zero(run + t0, b0 - t0);
        centred_window_product(a + b0, conj_chirp + b0, w, k - b0, b1 - b0, phase, run + b0);
        fftpack::set_zero(run + b1, t0 + seg - b1);
    }
    int ier = pad_.segments > 0 ? inner_.transform_padded("f", y) : inner_.transform("f", {y, m_, 1});
    if (ier != 0) return ier;
    if (pad_.segments > 0) {
        fftpack::multiply_padded(fftpack::Product::plain, y, kernel_.data(), m_, m_, pad_, second_.data());
        y = second_.data();
        ier = inner_.transform_padded("b", y);
    } else {
        fftpack::multiply(fftpack::Product::plain, y, kernel_.data(), y, m_);
        ier = inner_.transform("b", {y, m_, 1});
    }
    if (ier != 0) return ier;
    fftpack::multiply(fftpack::Product::plain, y, unchirp_.data() + (n_ - 1 - (absolute ? 0 : k)), out, n_);
    return 0;
}

}  // namespace orbelix
