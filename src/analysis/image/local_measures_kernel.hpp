// The filtering loop of local_measures, written once for any vector width
// and compiled per instruction set (local_measures_kernels.cpp). Every lane is one output pixel and runs rht14f's
// operations in rht14f's order, so each path gives rht14f's bits.
#pragma once

#include <cstddef>
#include <cstring>
#include <utility>

#include "analysis/image/local_measures.hpp"
#include "core/simd/paths.hpp"
#include "core/simd/vectors.hpp"

namespace orbelix::analysis::kernel {

// Vectors of W floats, U of them side by side per step: enough independent
// sums in flight to hide the adds' latency behind the multiplies.
template <int W, int U>
struct Shape {
    using Vec = simd::floats<W>;
    static constexpr int lanes = W;
    static constexpr int block = W * U;
};

// {s, s, ..., s}: one broadcast instruction.
template <class Vec, int... L>
inline Vec splat(float s, std::integer_sequence<int, L...>) {
    return Vec{(static_cast<void>(L), s)...};
}

template <int W, int U>
inline void filter_row(const float *strip, std::ptrdiff_t stride, const MeasureKernels &k,
                       std::ptrdiff_t width, const RowSums &out) {
    using Vec = typename Shape<W, U>::Vec;
    constexpr int block = Shape<W, U>::block;
    const long long side_i = 2LL * k.kc + 1, side_j = 2LL * k.kr + 1;
    auto load = [](const float *p) {
        Vec v;
        std::memcpy(&v, p, sizeof v);
        return v;
    };
    auto store = [](float *p, Vec v) { std::memcpy(p, &v, sizeof v); };
    auto broadcast = [](float s) { return splat<Vec>(s, std::make_integer_sequence<int, W>{}); };
    for (std::ptrdiff_t y = 0; y < width; y += block) {
        Vec e[U], o1[U], o2[U], q[U];
        for (int u = 0; u < U; ++u) e[u] = o1[u] = o2[u] = q[u] = Vec{};
        const float *w = k.weights.data();
        for (long long i = 0; i < side_i; ++i) {          // column offset i - kc
            const float *column = strip + y + i;
            for (long long j = 0; j < side_j; ++j) {      // row offset j - kr
                const float *p = column + j * stride;
                const Vec even = broadcast(w[0]), odd = broadcast(w[1]);
                const Vec p1 = broadcast(w[2]), p2 = broadcast(w[3]), p3 = broadcast(w[4]);
                w += kWeightsPerOffset;
                for (int u = 0; u < U; ++u) {
                    const Vec v = load(p + u * W);
                    e[u] = e[u] + even * v;
                    const Vec d = v * odd;
                    o1[u] = o1[u] + p1 * d;
                    o2[u] = o2[u] + p2 * d;
                    q[u] = q[u] + p3 * d;
                }
            }
        }
        for (int u = 0; u < U; ++u) {
            store(out.e + y + u * W, e[u]);
            store(out.o1 + y + u * W, o1[u]);
            store(out.o2 + y + u * W, o2[u]);
            store(out.q + y + u * W, q[u]);
        }
    }
}

}  // namespace orbelix::analysis::kernel

// Per instruction set: the loop above at its width (local_measures_kernels.cpp).
namespace orbelix::analysis::measures_paths {
ORBELIX_DECLARE_PATHS(int block();
                      void filter_row(const float *, std::ptrdiff_t, const MeasureKernels &,
                                      std::ptrdiff_t, const RowSums &))
}  // namespace orbelix::analysis::measures_paths
