#include "orbelix/cdst2f.hpp"

#include <vector>

#include "fftpack/fftpack.hpp"
#include "orbelix/dst2_bands.hpp"
#include "orbelix/fatal_stop.hpp"
#include "orbelix/shifft.hpp"
#include "orbelix/symmetry.hpp"
#include "orbelix/times_real.hpp"

namespace orbelix {

using namespace dst2_bands;

void cdst2f(View2<cfloat> a) {
    require_valid_side(a);
    const int n = a.n1;
    if (n == 0) return;

    // Transforming a before the copy gives the same X and keeps the FFT's
    // own n x n scratch from coexisting with the work copy.
    int ier = 0;
    fftpack::cfft2_("f", a, ier);
    if (ier != 0) fatal_stop();
    std::vector<cfloat> work_store(static_cast<std::size_t>(n) * n);
    const View2<cfloat> X = column_major(work_store.data(), n, n);
    for (int c = 0; c < n; ++c)
        for (int r = 0; r < n; ++r) X(r, c) = a(r, c);

    diagi(X, a);

    const int mid = n / 2;
    const int levels = exact_log2(n);
    // The transformed band or rectangle, at most n/4 x n/4, reused throughout.
    std::vector<cfloat> band_store(static_cast<std::size_t>(n / 4) * (n / 4));

    for (int p = 1; p < levels; ++p) {
        const int x = 1 << (p - 1);
        const int sx = recentre_shift(x);
        const float fx = gain(x);
        const int neg = n - 2 * x + 1;  // first position of M_x

        Shifft1 step(x);
        const View1<cfloat> t = column_major_vector(band_store.data(), x);
        auto edge = [&](View1<cfloat> v, View1<cfloat> dest) {
            step(t, v, sx);
            for (int k = 0; k < x; ++k) dest[k] = times_real(t[k], fx);
        };
        edge(row_run(X, 0, x, x), row_run(a, 0, x, x));
        edge(col_run(X, x, 0, x), col_run(a, x, 0, x));
        edge(col_run(X, neg, 0, x), col_run_up(a, n - x, 0, x));
        edge(row_run(X, mid, x, x), row_run(a, mid, x, x));
        edge(col_run(X, x, mid, x), col_run(a, x, mid, x));
        edge(col_run(X, neg, mid, x), col_run_up(a, n - x, mid, x));

        for (int q = 1; q < levels; ++q) {
            const int y = 1 << (q - 1);
            const int sy = recentre_shift(y);
            const float fxy = gain(x, y);
            Shifft2 block_step(x, y);
            const View2<cfloat> T = column_major(band_store.data(), x, y);
            auto rectangle = [&](View2<cfloat> V, View2<cfloat> dest) {
                block_step(T, V, sx, sy);
                for (int l = 0; l < y; ++l)
                    for (int k = 0; k < x; ++k) dest(k, l) = times_real(T(k, l), fxy);
            };
            rectangle(block(X, x, y, x, y), block(a, x, y, x, y));
            rectangle(block(X, neg, y, x, y), block_up(a, n - x, y, x, y));
        }
    }

    work_store = std::vector<cfloat>();
    hsymm2(a);
}

}  // namespace orbelix
