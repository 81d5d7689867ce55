#include "orbelix/cfst1f.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "fftpack/fftpack.hpp"
#include "hilbrt/cht1.hpp"

namespace orbelix {

namespace {

// Voices transformed together: the batch buffer (n * kBatch samples) stays
// small, and scattering it into the column-major result writes whole cache
// lines per time sample.
constexpr int kBatch = 8;

// z * (r, 0) as the full complex product (signed zeros and infinities as a
// complex multiply gives them).
inline cfloat times_real(cfloat z, float r) {
    return {z.re * r - z.im * 0.0f, z.im * r + z.re * 0.0f};
}

// Window of voice k into g[0..n-1], g[m] = gauss(k, min(m, n-m)). The window
// falls with the offset and expf underflows to exactly 0 below about -104,
// so evaluation stops at the first 0; entries beyond it are zeroed only up
// to `extent`, the end of the previous voice's non-zero run (g starts all 0,
// and the run only grows with k).
void fill_window(int k, std::vector<float> &g, int &extent) {
    const int n = static_cast<int>(g.size());
    const int half = n / 2;
    g[0] = gauss(k, 0);
    int written = half + 1;  // offsets 0 .. written-1 hold evaluated values
    for (int j = 1; j <= half; ++j) {
        const float v = gauss(k, j);
        g[j] = v;
        g[n - j] = v;
        if (v == 0.0f) {
            written = j + 1;
            break;
        }
    }
    for (int j = written; j < extent; ++j) {
        g[j] = 0.0f;
        g[n - j] = 0.0f;
    }
    extent = std::max(extent, written);
}

[[noreturn]] void fft_failed() { std::exit(1); }

}  // namespace

float gauss(int k, int m) {
    const std::int64_t mm = static_cast<std::int64_t>(m) * m;
    const std::int64_t kk = static_cast<std::int64_t>(k) * k;
    const float num = 19.73921f * static_cast<float>(mm);
    return std::exp(-(num / static_cast<float>(kk)));
}

std::vector<cfloat> cfst1f(View1<const cfloat> h) {
    const int n = h.n;
    const int rows = n / 2 + 1;
    std::vector<cfloat> s(static_cast<std::size_t>(rows) * n);
    cfst1f(h, column_major(s.data(), rows, n));
    return s;
}

void cfst1f(View1<const cfloat> h, View2<cfloat> s) {
    const int n = h.n;
    if (n <= 0) return;

    fftpack::Cfft1Plan plan(n);
    if (plan.init_error() != 0) fft_failed();

    // Analytic spectrum A of h.
    std::vector<cfloat> a(n);
    for (int t = 0; t < n; ++t) a[t] = h[t];
    if (plan.transform("f", {a.data(), n, 1}) != 0) fft_failed();
    hilbrt::cht1f({a.data(), n, 1});

    // Voice 0: the mean of h, two accumulators in increasing t.
    float sr = 0.0f, si = 0.0f;
    for (int t = 0; t < n; ++t) {
        sr += h[t].re;
        si += h[t].im;
    }
    const cfloat mean = {sr / static_cast<float>(n), si / static_cast<float>(n)};
    for (int t = 0; t < n; ++t) s(0, t) = mean;

    // Voices 1 .. n/2 in batches: batch voice b, offset t at buf[t*nb + b].
    const int voices = n / 2;
    std::vector<float> g(n, 0.0f);
    int extent = 1;
    std::vector<cfloat> buf(static_cast<std::size_t>(n) * std::min(kBatch, std::max(voices, 1)));
    for (int k0 = 1; k0 <= voices; k0 += kBatch) {
        const int nb = std::min(kBatch, voices - k0 + 1);
        for (int b = 0; b < nb; ++b) {
            const int k = k0 + b;
            fill_window(k, g, extent);
            // buf(b, t) = A[(k+t) mod n] * g[t]
            cfloat *col = buf.data() + b;
            for (int t = 0; t < n - k; ++t) col[t * nb] = times_real(a[k + t], g[t]);
            for (int t = n - k; t < n; ++t) col[t * nb] = times_real(a[k + t - n], g[t]);
        }
        if (plan.transform_rows("b", {buf.data(), nb, n, 1, nb}) != 0) fft_failed();
        for (int t = 0; t < n; ++t) {
            const cfloat *src = buf.data() + static_cast<std::size_t>(t) * nb;
            for (int b = 0; b < nb; ++b) s(k0 + b, t) = src[b];
        }
    }
}

}  // namespace orbelix
