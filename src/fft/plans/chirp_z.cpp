#include "fft/plans/chirp_z.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/complex.hpp"
#include "fft/kernels/pointwise.hpp"

namespace orbelix::fftpack {
void multiply_padded(Product product, const cfloat *a, const cfloat *b, int count, int m,
                     const PaddedInput &pad, cfloat *out) {
    const int seg = m / pad.segments;
    for (int s = 0; s < pad.segments; ++s) {
        const int t0 = s * seg, t1 = std::min(count, t0 + seg);
        cfloat *dst = out + static_cast<std::ptrdiff_t>(s) * (seg + pad.gap);
        if (t1 > t0) multiply(product, a + t0, b + t0, dst, t1 - t0);
        set_zero(dst + std::max(0, t1 - t0), seg - std::max(0, t1 - t0));
    }
}

double chirp_angle(int n, long long j) {
    const double pi = 3.14159265358979323846;
    // exp(-i pi j^2 / n) has period 2n in j^2.
    return pi * static_cast<double>((j * j) % (2LL * n)) / n;
}

void chirp_values(int n, double divisor, cfloat *w) {
    for (int j = 0; j < n; ++j) {
        const double angle = chirp_angle(n, j);
        w[j] = {static_cast<float>(std::cos(angle) / divisor), static_cast<float>(-std::sin(angle) / divisor)};
    }
}

int ChirpZ::smooth_length(long long target) {
    constexpr long long kLimit = 1LL << 30;
    long long best = 0;
    for (long long p5 = 1; p5 <= kLimit; p5 *= 5)
        for (long long p35 = p5; p35 <= kLimit; p35 *= 3) {
            long long v = p35;
            while (v < target) v *= 2;
            if (v <= kLimit && (best == 0 || v < best)) best = v;
        }
    return static_cast<int>(best);
}

int ChirpZ::inner_length(long long target) {
    constexpr long long kMultiple = 64;
    const long long m = kMultiple * smooth_length((target + kMultiple - 1) / kMultiple);
    return m <= (1LL << 30) ? static_cast<int>(m) : 0;
}

ChirpZ::ChirpZ(int n)
    : n_(n),
      m_(inner_length(2LL * n - 2)),
      inner_(m_),
      chirp_(new cfloat[n]),
      chirp_scaled_(new cfloat[n]),
      kernel_(new cfloat[m_]),
      work_(new cfloat[m_]) {
    chirp_values(n, 1.0, chirp_.get());
    chirp_values(n, n, chirp_scaled_.get());
    // conj(w) at offsets -(n-1) .. n-1, wrapped onto 0 .. M-1 (at M = 2n-2
    // both ends land on slot n-1, with the same value). The sequence is
    // even, so its forward and backward DFTs agree.
    for (int i = 0; i < m_; ++i) kernel_[i] = {0.0f, 0.0f};
    for (int j = 0; j < n; ++j) kernel_[j] = conj(chirp_[j]);
    for (int j = 1; j < n; ++j) kernel_[m_ - j] = kernel_[j];
    inner_.transform("b", {kernel_.get(), m_, 1});
    inner_.prepare_first_sweep();
    const PaddedInput pad = inner_.padded_input();
    if (pad.segments > 0) {
        work_.reset(new cfloat[pad.extent(m_)]);
        padded_.reset(new cfloat[pad.extent(m_)]);
    }
}

void ChirpZ::transform(bool forward, View1<cfloat> c) {
    // Backward is the conjugate of the unscaled forward of the conjugate.
    cfloat *a = work_.get();
    // Cyclic convolution with the kernel: the forward pass scales by 1/M and
    // the kernel's spectrum is unscaled, so the backward pass ends unscaled.
    // Where the inner plan takes a padded input, both products are written
    // in its layout (the values and operations are the same), the first
    // from a strided input staged in padded_, which is free until the second.
    const PaddedInput pad = inner_.padded_input();
    const bool padded = pad.segments > 0 && padded_;
    const bool contiguous = c.contiguous();
    cfloat *staged = padded ? padded_.get() : a;
    if (!contiguous)
        for (int j = 0; j < n_; ++j) staged[j] = c[j];
    const cfloat *in = contiguous ? c.data : staged;
    const Product first = forward ? Product::plain : Product::conj_first;
    if (padded) {
        multiply_padded(first, in, chirp_.get(), n_, m_, pad, a);
        inner_.transform_padded("f", a);
        multiply_padded(Product::plain, a, kernel_.get(), m_, m_, pad, padded_.get());
        inner_.transform_padded("b", padded_.get());
        a = padded_.get();
    } else {
        multiply(first, in, chirp_.get(), a, n_);
        set_zero(a + n_, m_ - n_);
        inner_.transform("f", {a, m_, 1});
        multiply(Product::plain, a, kernel_.get(), a, m_);
        inner_.transform("b", {a, m_, 1});
    }
    cfloat *out = contiguous ? c.data : a;
    if (forward)
        multiply(Product::plain, a, chirp_scaled_.get(), out, n_);
    else
        multiply(Product::conj_result, a, chirp_.get(), out, n_);
    if (!contiguous)
        for (int k = 0; k < n_; ++k) c[k] = a[k];
}

}  // namespace orbelix::fftpack
