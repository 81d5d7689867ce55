#include "fft/plans/dft_double.hpp"

#include <cstddef>

namespace orbelix::fftpack {
namespace {

using cd = std::complex<double>;

int smallest_prime_factor(int n) {
    for (int p = 2; static_cast<long long>(p) * p <= n; ++p)
        if (n % p == 0) return p;
    return n;
}

// The DFT of the n values in[0], in[stride], ... into out[0 .. n), whose
// root of unity is roots[root_stride] (roots holds the N-th roots, N the
// top length). scratch has room for n values.
void transform(const cd *in, std::ptrdiff_t stride, int n, cd *out, const std::vector<cd> &roots,
               long long root_stride, cd *scratch) {
    if (n == 1) {
        out[0] = in[0];
        return;
    }
    const int p = smallest_prime_factor(n);
    const int m = n / p;
    for (int r = 0; r < p; ++r)
        transform(in + r * stride, stride * p, m, out + static_cast<std::ptrdiff_t>(r) * m, roots,
                  root_stride * p, scratch);
    // X[k + m s] = sum_r w^(r (k + m s)) Y_r[k], w = exp(sign 2 pi i / n).
    for (int k = 0; k < m; ++k)
        for (int s = 0; s < p; ++s) {
            const long long e = k + static_cast<long long>(m) * s;
            cd acc = out[k];
            for (int r = 1; r < p; ++r)
                acc += roots[(r * e % n) * root_stride] * out[static_cast<std::ptrdiff_t>(r) * m + k];
            scratch[e] = acc;
        }
    for (int i = 0; i < n; ++i) out[i] = scratch[i];
}

}  // namespace

void dft_double(std::vector<cd> &x, int sign) {
    const int n = static_cast<int>(x.size());
    const double pi = 3.14159265358979323846;
    std::vector<cd> roots(n), out(n), scratch(n);
    for (int j = 0; j < n; ++j) roots[j] = std::polar(1.0, sign * 2.0 * pi * j / n);
    transform(x.data(), 1, n, out.data(), roots, 1, scratch.data());
    x.swap(out);
}

}  // namespace orbelix::fftpack
