// window_product written once over cvec<W> and compiled once per
// instruction set.

#include <algorithm>
#include <cstddef>
#include <utility>

#include "fft/kernels/complex_product.hpp"
#include "fft/kernels/pointwise.hpp"
#include "core/complex.hpp"

namespace orbelix::window_products::ORBELIX_KERNEL_ISA {
using namespace ::orbelix::fftpack;
namespace {

// The W floats at p in reverse order, each in both lanes of its value:
// (p[W-1], p[W-1], ..., p[0], p[0]).
template <int W, std::size_t... L>
ORBELIX_INLINE inline typename cvec<W>::floats spread_reversed(const float *p,
                                                              std::index_sequence<L...>) {
    simd::floats<W> h;
    std::memcpy(&h, p, sizeof h);
    return __builtin_shufflevector(h, h, int(W - 1 - L / 2)...);
}

// z * (r, 0) as times_real forms it: re*r - im*0 and im*r + re*0, one
// subtraction and one addition per value, the lanes picked from each.
template <int W>
ORBELIX_INLINE inline cvec<W> times_real(cvec<W> z, typename cvec<W>::floats r) {
    struct Pick {
        static constexpr int lane(int l) { return l % 2 ? 2 * W + l : l; }
    };
    const auto t1 = z.v * r;
    const auto t2 = lanes::swap_parts<W>(z.v) * typename cvec<W>::floats{};
    return {lanes::shuffle<W, Pick>(t1 - t2, t1 + t2)};
}

// col[t] for t0 <= t < t1.
void window_product_range(const cfloat *a, const float *w, int n, int t0, int t1, cfloat *col) {
    constexpr int W = kWidest;
    using V = cvec<W>;
    const int rising_end = std::min(t1, n / 2 + 1);
    int t = t0;
    for (; t + W <= rising_end; t += W) times_real(V::load(a + t), spread<W>(w + t)).store(col + t);
    for (; t < rising_end; ++t) col[t] = orbelix::times_real(a[t], w[t]);
    // t > n/2 reads w[n-t], n-t falling: W factors ending at w[n-t].
    for (; t + W <= t1; t += W)
        times_real(V::load(a + t), spread_reversed<W>(w + (n - t - W + 1),
                                                     std::make_index_sequence<2 * W>()))
            .store(col + t);
    for (; t < t1; ++t) col[t] = orbelix::times_real(a[t], w[n - t]);
}

}  // namespace

// The products in `segments` equal runs, each followed by `gap` values
// left alone: run s starts at col + s*(n/segments + gap). For t in
// [zeros_from, zeros_to) a[t] is +0, and so is its product with any finite
// w >= 0 (0*w - 0*0 and 0*w + 0*0): those are stored as +0 unread, or, for
// whole runs when leave_whole (segments <= 32), not stored at all: bit s of
// the result marks run s left so.
unsigned window_product_lanes(const cfloat *a, const float *w, int n, int segments, int gap,
                              int zeros_from, int zeros_to, bool leave_whole, cfloat *col) {
    const int seg = n / segments;
    unsigned left = 0;
    for (int s = 0; s < segments; ++s) {
        const int t0 = s * seg, t1 = t0 + seg;
        cfloat *run = col + static_cast<std::ptrdiff_t>(s) * gap;
        const int z0 = std::clamp(zeros_from, t0, t1), z1 = std::clamp(zeros_to, z0, t1);
        if (leave_whole && z0 == t0 && z1 == t1) {
            left |= 1u << s;
            continue;
        }
        window_product_range(a, w, n, t0, z0, run);
        set_zero(run + z0, z1 - z0);
        window_product_range(a, w, n, z1, t1, run);
    }
    return left;
}

// out[m] = (a[m] * c[m]) * (phase * w[|m - k|]) for m < count: a window
// centred on k, read backwards below it. Each factor is (phase.re g,
// phase.im g), and each product the one of complex_product.hpp.
void centred_window_product(const cfloat *a, const cfloat *c, const float *w, int k, int count,
                            cfloat phase, cfloat *out) {
    constexpr int W = kWidest;
    using V = cvec<W>;
    cfloat phases[W];
    for (auto &p : phases) p = phase;
    const auto ph = V::load(phases).v;
    const auto one = [&](int m, float g) {
        return product(product(a[m], c[m]), cfloat{phase.re * g, phase.im * g});
    };
    const auto block = [&](int m, typename V::floats g) {
        return product(product(V::load(a + m), V::load(c + m)), V{g * ph});
    };
    const int below = std::min(k, count);
    int m = 0;
    // m < k reads w[k - m], falling: W factors ending at w[k - m].
    for (; m + W <= below; m += W)
        block(m, spread_reversed<W>(w + (k - m - W + 1), std::make_index_sequence<2 * W>()))
            .store(out + m);
    for (; m < below; ++m) out[m] = one(m, w[k - m]);
    for (; m + W <= count; m += W) block(m, spread<W>(w + (m - k))).store(out + m);
    for (; m < count; ++m) out[m] = one(m, w[m - k]);
}

}  // namespace orbelix::window_products::ORBELIX_KERNEL_ISA
