#include "analysis/signal/window_weights.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <stdexcept>

namespace orbelix::tools {

namespace {

void check(int ier) {
    if (ier != 0) throw std::runtime_error("FFT of a window's samples failed");
}

// q mod n in 0 .. n-1 for any sign of q.
long long wrap(long long q, long long n) {
    const long long r = q % n;
    return r < 0 ? r + n : r;
}

}  // namespace

std::vector<cfloat> unit_roots(int n) {
    // q = a B + b: e^(-2 pi i q/n) = e^(-2 pi i a B/n) e^(-2 pi i b/n).
    const double step = -2.0 * 3.14159265358979323846 / n;
    const int block = std::max(1, static_cast<int>(std::ceil(std::sqrt(static_cast<double>(n)))));
    std::vector<std::complex<double>> fine(block), coarse(n / block + 1);
    for (int b = 0; b < block; ++b) fine[b] = std::polar(1.0, step * b);
    for (std::size_t a = 0; a < coarse.size(); ++a)
        coarse[a] = std::polar(1.0, step * static_cast<double>(wrap(static_cast<long long>(a) * block, n)));
    std::vector<cfloat> roots(n);
    for (int q = 0; q < n; ++q) {
        const std::complex<double> z = coarse[q / block] * fine[q % block];
        roots[q] = {static_cast<float>(z.real()), static_cast<float>(z.imag())};
    }
    return roots;
}

WeightBuilder::WeightBuilder(int n, const std::vector<cfloat> &roots) : n_(n), roots_(roots) {
    for (int d = 1; static_cast<long long>(d) * d <= n; ++d) {
        if (n % d != 0) continue;
        for (int m : {d, n / d})
            if (fftpack::TransformPlan::largest_prime_factor(m) <= fftpack::TransformPlan::kRadixPrimeUpTo)
                lengths_.push_back(m);
    }
    std::sort(lengths_.begin(), lengths_.end());
    lengths_.erase(std::unique(lengths_.begin(), lengths_.end()), lengths_.end());
}

int WeightBuilder::transform_length(int count) const {
    const long long want = 2LL * count;
    const auto it = std::lower_bound(lengths_.begin(), lengths_.end(), want);
    return it == lengths_.end() ? n_ : *it;
}

fftpack::TransformPlan &WeightBuilder::plan(int m) {
    auto &p = plans_[m];
    if (!p) {
        // The whole circle serves one transform a voice: its block tables pay
        // only across many voices.
        p = std::make_unique<fftpack::TransformPlan>(
            m, m == n_ ? fftpack::TransformPlan::Tables::when_reused : fftpack::TransformPlan::Tables::now);
        check(p->init_error());
    }
    return *p;
}

void WeightBuilder::build(const ShapeRun &s, VoiceWeights &out) {
    const int n = n_, k = s.bin;
    if (k < 1 || k > n / 2 || s.count < 1 || s.count > n || s.first < -(n / 2) ||
        static_cast<long long>(s.first) + s.count > n - n / 2)
        throw std::invalid_argument("a window's samples must lie on the circle of the signal");
    const bool real = s.im == nullptr;
    // The weight at offset 0, in double.
    double sum_re = 0.0, sum_im = 0.0;
    bool finite = true;
    for (int t = 0; t < s.count; ++t) {
        sum_re += s.re[t];
        finite = finite && std::isfinite(s.re[t]);
        if (!real) {
            sum_im += s.im[t];
            finite = finite && std::isfinite(s.im[t]);
        }
    }
    const double norm = sum_re * sum_re + sum_im * sum_im;
    if (!finite || !(norm > 0.0) || !std::isfinite(norm))
        throw std::domain_error("a window's samples must be finite and sum to a finite non-zero value");

    re_.resize(s.count);
    for (int t = 0; t < s.count; ++t) re_[t] = static_cast<float>(s.re[t]);
    if (!real) {
        im_.resize(s.count);
        for (int t = 0; t < s.count; ++t) im_[t] = static_cast<float>(s.im[t]);
    }

    const int m = transform_length(s.count);
    const int r = n / m;
    fftpack::TransformPlan &fft = plan(m);
    buf_.resize(m);
    // The forward transform is scaled by 1/m: W = m F / W0.
    const double c_re = m * sum_re / norm, c_im = -m * sum_im / norm;

    const int dlo = -k, dhi = n / 2 - k;
    half_.resize(static_cast<std::size_t>(dhi - dlo + 1));
    // Offset d0 in 0 .. n-1 of the circle, stored as d0 or d0 - n if the
    // voice reads it.
    auto put = [&](long long d0, cfloat w) {
        if (d0 <= dhi) half_[d0 - dlo] = w;
        else if (d0 - n >= dlo) half_[d0 - n - dlo] = w;
    };

    const int last = real ? r / 2 : r - 1;
    const long long first = wrap(s.first, n);
    const cfloat zero = {0.0f, 0.0f};
    for (int p = 0; p <= last; ++p) {
        std::fill(buf_.begin(), buf_.end(), zero);
        long long q = wrap(first * p, n);
        int i = static_cast<int>(wrap(s.first, m));
        for (int t = 0; t < s.count; ++t) {
            const cfloat z = roots_[q];
            if (real) {
                buf_[i] = {re_[t] * z.re, re_[t] * z.im};
            } else {
                buf_[i] = {re_[t] * z.re - im_[t] * z.im, re_[t] * z.im + im_[t] * z.re};
            }
            q += p;
            if (q >= n) q -= n;
            if (++i == m) i = 0;
        }
        check(fft.transform("f", {buf_.data(), m, 1}));
        // Residues 0 and r/2 are their own mirror images.
        const bool mirror = real && p != 0 && 2 * p != r;
        long long d0 = p;
        for (int j = 0; j < m; ++j, d0 += r) {
            const double fr = buf_[j].re, fi = buf_[j].im;
            const cfloat w = {static_cast<float>(fr * c_re - fi * c_im),
                              static_cast<float>(fr * c_im + fi * c_re)};
            put(d0, w);
            if (mirror) put(n - d0, {w.re, -w.im});
        }
    }

    float peak = 0.0f;
    for (const cfloat &w : half_) peak = std::max(peak, w.re * w.re + w.im * w.im);
    const float floor = peak * (kWeightTrim * kWeightTrim);
    auto kept = [&](const cfloat &w) { return w.re * w.re + w.im * w.im >= floor; };
    const auto a = std::find_if(half_.begin(), half_.end(), kept);
    const auto b = std::find_if(half_.rbegin(), half_.rend(), kept).base();
    out.lo = dlo + static_cast<int>(a - half_.begin());
    out.hi = dlo + static_cast<int>(b - half_.begin()) - 1;
    out.values.assign(a, b);
}

}  // namespace orbelix::tools
