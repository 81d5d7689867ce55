#include "analysis/signal/window_weights.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <stdexcept>

namespace orbelix::tools {

namespace {

// q mod n in 0 .. n-1 for any sign of q.
long long wrap(long long q, long long n) {
    const long long r = q % n;
    return r < 0 ? r + n : r;
}

}  // namespace

WeightBuilder::WeightBuilder(int n) : n_(n) {
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
    const long long want = 4LL * count;
    const auto it = std::lower_bound(lengths_.begin(), lengths_.end(), want);
    return it == lengths_.end() ? n_ : *it;
}

fftpack::TransformPlan &WeightBuilder::plan(int m) {
    auto &p = plans_[m];
    if (!p) {
        // A voice may take a length for a few transforms only (the low voices
        // of a long signal): block tables once it is reused.
        p = std::make_unique<fftpack::TransformPlan>(m, fftpack::TransformPlan::Tables::when_reused);
    }
    return *p;
}

void WeightBuilder::build(const ShapeRun &s, cfloat *w, int &lo, int &hi) {
    const int n = n_, k = s.bin;
    if (k < 1 || k > n / 2 || s.count < 1 || s.count > n || s.first < -(n / 2) ||
        static_cast<long long>(s.first) + s.count > n - n / 2)
        throw std::invalid_argument("a window's samples must lie on the circle of the signal");
    const bool real = s.im == nullptr;
    // The weight at offset 0, in double.
    std::complex<double> sum = 0.0;
    bool finite = true;
    for (int t = 0; t < s.count; ++t) {
        const std::complex<double> v(s.re[t], real ? 0.0 : s.im[t]);
        finite = finite && std::isfinite(v.real()) && std::isfinite(v.imag());
        sum += v;
    }
    if (!finite || !(std::norm(sum) > 0.0) || !std::isfinite(std::norm(sum)))
        throw std::domain_error("a window's samples must be finite and sum to a finite non-zero value");

    const int m = transform_length(s.count);
    const int r = n / m;
    fftpack::TransformPlan &fft = plan(m);
    // The forward transform is scaled by 1/m: the samples are multiplied by
    // m / sum first, so that its outputs are the weights.
    const std::complex<double> scale = static_cast<double>(m) / sum;
    const double angle = -2.0 * 3.14159265358979323846 / n;
    // Per sample, in separate arrays (so that the products vectorise): the
    // sample times m / sum, the step e^(-2 pi i j / n), and the modulation
    // e^(-2 pi i j p / n) of the residue p at hand.
    const std::size_t count = static_cast<std::size_t>(s.count);
    columns_.resize(6 * count);
    double *xr = columns_.data(), *xi = xr + count, *sr = xi + count, *si = sr + count,
           *ur = si + count, *ui = ur + count;
    for (std::size_t t = 0; t < count; ++t) {
        const double vr = s.re[t], vi = real ? 0.0 : s.im[t];
        xr[t] = vr * scale.real() - vi * scale.imag();
        xi[t] = vr * scale.imag() + vi * scale.real();
        const std::complex<double> z = std::polar(1.0, angle * static_cast<double>(wrap(s.first + t, n)));
        sr[t] = z.real();
        si[t] = z.imag();
        ur[t] = 1.0;
        ui[t] = 0.0;
    }
    // The run of samples from j mod m on, wrapping once at most (m >= 4 count
    // unless m = n >= count).
    auto modulate = [&](std::size_t t0, std::size_t t1, cfloat *__restrict out) {
        const double *__restrict pxr = xr, *__restrict pxi = xi, *__restrict psr = sr,
                                 *__restrict psi = si;
        double *__restrict pur = ur, *__restrict pui = ui;
        for (std::size_t t = t0; t < t1; ++t) {
            const double a = pur[t], b = pui[t];
            out[t - t0] = {static_cast<float>(pxr[t] * a - pxi[t] * b),
                           static_cast<float>(pxr[t] * b + pxi[t] * a)};
            pur[t] = a * psr[t] - b * psi[t];
            pui[t] = a * psi[t] + b * psr[t];
        }
    };

    const int dhi = n / 2 - k;
    const int last = real ? r / 2 : r - 1;
    const int start = static_cast<int>(wrap(s.first, m));
    const cfloat zero = {0.0f, 0.0f};
    buf_.resize(m);
    // The outputs j of residue p are the offsets d0 = p + r j of the circle,
    // stored as d0 (d0 <= dhi) or d0 - n (d0 >= n - k); a real shape's also
    // as -d0 (d0 <= k) and n - d0 (d0 >= n - dhi), conjugated.
    auto below = [&](long long limit, int p) {  // outputs with d0 <= limit
        return limit < p ? 0 : static_cast<int>(std::min<long long>(m, (limit - p) / r + 1));
    };
    auto from = [&](long long limit, int p) {  // first output with d0 >= limit
        return limit <= p ? 0 : static_cast<int>(std::min<long long>(m, (limit - p + r - 1) / r));
    };
    for (int p = 0; p <= last; ++p) {
        std::fill(buf_.begin(), buf_.end(), zero);
        const std::size_t head = std::min<std::size_t>(count, static_cast<std::size_t>(m - start));
        modulate(0, head, buf_.data() + start);
        modulate(head, count, buf_.data());
        fft.transform("f", {buf_.data(), m, 1});
        const cfloat *f = buf_.data();
        const long long step = r;
        for (int j = 0, e = below(dhi, p); j < e; ++j) w[p + step * j + k] = f[j];
        for (int j = from(static_cast<long long>(n) - k, p); j < m; ++j) w[p + step * j - n + k] = f[j];
        // Residues 0 and r/2 are their own mirror images.
        if (!real || p == 0 || 2 * p == r) continue;
        for (int j = 0, e = below(k, p); j < e; ++j) w[k - p - step * j] = {f[j].re, -f[j].im};
        for (int j = from(static_cast<long long>(n) - dhi, p); j < m; ++j)
            w[n - p - step * j + k] = {f[j].re, -f[j].im};
    }

    // Trimmed against the weight at offset 0, which is 1.
    constexpr float floor = kWeightTrim * kWeightTrim;
    auto small = [&](int t) { return w[t].re * w[t].re + w[t].im * w[t].im < floor; };
    int a = 0, b = n / 2;
    while (a < k && small(a)) ++a;
    while (b > k && small(b)) --b;
    lo = a - k;
    hi = b - k;
}

}  // namespace orbelix::tools
