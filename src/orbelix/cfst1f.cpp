#include "orbelix/cfst1f.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "fftpack/transform_plan.hpp"
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
    return std::exp(-(numerator / denominator));  // the single-precision expf
}

std::vector<float> window_numerators(int n) {
    std::vector<float> num(n / 2 + 1);
    for (int m = 0; m <= n / 2; ++m) num[m] = gauss_numerator(m);
    return num;
}

// Half window of voice k: w[m] = gauss(k, m) for the offsets m = 0 .. n/2
// (the window at offset m and at n - m is the same). The window falls with
// the offset and expf underflows to exactly 0 below about -104, so
// evaluation stops at the first 0; entries beyond it are zeroed only up to
// `extent`, the end of the previous voice's non-zero run (w starts all 0, and
// the run only grows with k). The quotients are formed a block at a time
// ahead of the exponentials: the same divisions, done side by side.
void fill_window(int k, const std::vector<float> &num, std::vector<float> &q,
                 std::vector<float> &w, int &extent) {
    constexpr int kBlock = 64;
    const int half = static_cast<int>(w.size()) - 1;
    const float kk = gauss_denominator(k);
    int written = half + 1;  // offsets 0 .. written-1 hold evaluated values
    for (int j0 = 0; j0 <= half && written == half + 1; j0 += kBlock) {
        const int end = std::min(half + 1, j0 + kBlock);
        for (int j = j0; j < end; ++j) q[j] = -(num[j] / kk);
        for (int j = j0; j < end; ++j) {
            w[j] = std::exp(q[j]);
            if (w[j] == 0.0f) {
                written = j + 1;
                break;
            }
        }
    }
    for (int j = written; j < extent; ++j) w[j] = 0.0f;
    extent = std::max(extent, written);
}

// The windowed, shifted spectrum of a voice: col[t] = A[k + t] * w(min(t, n-t)).
void window_spectrum(const cfloat *ak, const std::vector<float> &w, int n, cfloat *col) {
    const int half = n / 2;
    for (int t = 0; t <= half; ++t) col[t] = times_real(ak[t], w[t]);
    for (int t = half + 1; t < n; ++t) col[t] = times_real(ak[t], w[n - t]);
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

    fftpack::TransformPlan plan(n);
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
    std::vector<float> w(voices + 1, 0.0f), q(voices + 1);
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
            fill_window(k, num, q, w, extent);
            cfloat *col = buf.data() + b * ld;
            window_spectrum(a.data() + k, w, n, col);
            if (plan.transform("b", {col, n, 1}) != 0) fatal_stop();
        }
        if (nb == kBatch && s.s1 == 1)
            store_voices<kBatch>(buf.data(), ld, n, nb, s, k0);
        else
            store_voices<0>(buf.data(), ld, n, nb, s, k0);
    }
}

}  // namespace orbelix
