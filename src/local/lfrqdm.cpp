#include "local/lfrqdm.hpp"

#include <cmath>
#include <cstddef>

namespace orbelix {

int lfrqdm_bands(int l) {
    int top = -1;  // position of the highest set bit
    for (unsigned v = l > 0 ? static_cast<unsigned>(l) : 0u; v != 0; v >>= 1) ++top;
    return top < 0 ? -1 : top - 1;
}

std::vector<long> lfrqdm_offsets(int l, int x) {
    const int M = lfrqdm_bands(l);
    if (M < 0) return {};
    std::vector<long> offset(M + 1);
    const float weight = 1.0f - static_cast<float>(x) / static_cast<float>(l);
    float beta_prev = 0.0f;  // beta_(b-1)
    for (int b = 0; b <= M; ++b) {
        const float beta = b == 0 ? 0.0f : std::ldexp(1.0f, b - 1);
        const float nu = beta + beta_prev;
        const float product = weight * beta;
        offset[b] = std::lround(nu - product);
        beta_prev = beta;
    }
    return offset;
}

std::vector<cfloat> lfrqdm(View2<const cfloat> s, int x, int y) {
    const int l = s.n1;
    const int M = lfrqdm_bands(l);
    if (M < 0) return {};
    const std::vector<long> I = lfrqdm_offsets(l, x);
    const std::vector<long> J = lfrqdm_offsets(l, y);
    const long c0 = l / 2 - 1;
    const std::ptrdiff_t side = 2 * M + 1;
    std::vector<cfloat> h(static_cast<std::size_t>(side * side));

    // s(c0 + di, c0 + dj); an element outside the matrix reads as zero.
    auto pick = [&](long di, long dj) -> cfloat {
        const long p = c0 + di, q = c0 + dj;
        if (p < 0 || p >= s.n1 || q < 0 || q >= s.n2) return {0.0f, 0.0f};
        return s(p, q);
    };
    auto H = [&](int i, int j) -> cfloat & { return h[(i + M) + (j + M) * side]; };

    for (int i = 0; i <= M; ++i) {
        for (int j = 0; j <= M; ++j) {
            H(i, j) = pick(I[i], J[j]);
            H(i, -j) = pick(I[i], -J[j]);
            H(-i, j) = pick(-I[i], J[j]);
            H(-i, -j) = pick(-I[i], -J[j]);
        }
    }
    return h;
}

}  // namespace orbelix
