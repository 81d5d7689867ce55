#include "orbelix/cfst1f.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "fftpack/fftpack.hpp"
#include "hilbrt/cht1.hpp"
#include "orbelix/fatal_stop.hpp"
#include "orbelix/times_real.hpp"

namespace orbelix {

namespace {

// Voices gathered before they are stored: the batch buffer (kBatch columns)
// stays small, and storing it into the column-major result writes whole
// cache lines per time sample. The columns are kPad samples longer than n,
// so that reading across them does not hit one cache set when n is a power
// of two.
constexpr int kBatch = 16;
constexpr int kPad = 8;

// gauss(k, m) in its three steps; the numerator does not depend on the
// voice, so the voice loop computes it once per offset.
float gauss_numerator(int m) {
    return 19.73921f * static_cast<float>(static_cast<std::int64_t>(m) * m);
}
float gauss_denominator(int k) { return static_cast<float>(static_cast<std::int64_t>(k) * k); }
float gauss_value(float numerator, float denominator) {
    return std::exp(-(numerator / denominator));
}

std::vector<float> window_numerators(int n) {
    std::vector<float> num(n / 2 + 1);
    for (int m = 0; m <= n / 2; ++m) num[m] = gauss_numerator(m);
    return num;
}

// Window of voice k into g[0..n-1], g[m] = gauss(k, min(m, n-m)), from the
// numerators of window_numerators. The window falls with the offset and expf
// underflows to exactly 0 below about -104, so evaluation stops at the first
// 0; entries beyond it are zeroed only up to `extent`, the end of the
// previous voice's non-zero run (g starts all 0, and the run only grows
// with k).
void fill_window(int k, const std::vector<float> &num, std::vector<float> &g, int &extent) {
    const int n = static_cast<int>(g.size());
    const int half = n / 2;
    const float kk = gauss_denominator(k);
    g[0] = gauss_value(num[0], kk);
    int written = half + 1;  // offsets 0 .. written-1 hold evaluated values
    for (int j = 1; j <= half; ++j) {
        const float v = gauss_value(num[j], kk);
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

// Row block k0 .. k0+nb-1 of s from the batch buffer (voice b, time t at
// buf[b*ld + t]). Nb > 0 fixes the count at compile time for full batches
// and a column-major s, so the inner loop is straight-line code.
template <int Nb>
void store_voices(const cfloat *buf, std::size_t ld, int n, int nb, View2<cfloat> s, int k0) {
    if constexpr (Nb > 0) {
        for (int t = 0; t < n; ++t) {
            cfloat *dst = &s(k0, t);
            for (int b = 0; b < Nb; ++b) dst[b] = buf[b * ld + t];
        }
    } else {
        for (int t = 0; t < n; ++t)
            for (int b = 0; b < nb; ++b) s(k0 + b, t) = buf[b * ld + t];
    }
}

}  // namespace

float gauss(int k, int m) { return gauss_value(gauss_numerator(m), gauss_denominator(k)); }

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
    if (plan.init_error() != 0) fatal_stop();

    // Analytic spectrum A of h.
    std::vector<cfloat> a(n);
    for (int t = 0; t < n; ++t) a[t] = h[t];
    if (plan.transform("f", {a.data(), n, 1}) != 0) fatal_stop();
    hilbrt::cht1f({a.data(), n, 1});

    // Voice 0: the mean of h, two accumulators in increasing t.
    float sr = 0.0f, si = 0.0f;
    for (int t = 0; t < n; ++t) {
        sr += h[t].re;
        si += h[t].im;
    }
    const cfloat mean = {sr / static_cast<float>(n), si / static_cast<float>(n)};
    for (int t = 0; t < n; ++t) s(0, t) = mean;

    // Voices 1 .. n/2, kBatch at a time: voice k0+b, offset t at buf[b*ld + t],
    // each transformed while it is still in cache. The plan's scratch was
    // sized by the forward transform, so nothing is allocated in this loop.
    const int voices = n / 2;
    if (voices == 0) return;
    const std::vector<float> num = window_numerators(n);
    std::vector<float> g(n, 0.0f);
    int extent = 1;
    // A twice over, so that A[(k+t) mod n] is a[k+t] without a wrap.
    a.resize(2 * static_cast<std::size_t>(n));
    std::copy(a.begin(), a.begin() + n, a.begin() + n);
    const std::size_t ld = static_cast<std::size_t>(n) + kPad;
    std::vector<cfloat> buf(ld * std::min(kBatch, voices));
    for (int k0 = 1; k0 <= voices; k0 += kBatch) {
        const int nb = std::min(kBatch, voices - k0 + 1);
        for (int b = 0; b < nb; ++b) {
            const int k = k0 + b;
            fill_window(k, num, g, extent);
            cfloat *col = buf.data() + b * ld;
            const cfloat *ak = a.data() + k;
            for (int t = 0; t < n; ++t) col[t] = times_real(ak[t], g[t]);
            if (plan.transform("b", {col, n, 1}) != 0) fatal_stop();
        }
        if (nb == kBatch && s.s1 == 1)
            store_voices<kBatch>(buf.data(), ld, n, nb, s, k0);
        else
            store_voices<0>(buf.data(), ld, n, nb, s, k0);
    }
}

}  // namespace orbelix
