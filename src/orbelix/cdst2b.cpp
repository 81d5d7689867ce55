#include "orbelix/cdst2b.hpp"

#include <vector>

#include "fftpack/fftpack.hpp"
#include "orbelix/dst2_bands.hpp"
#include "orbelix/fatal_stop.hpp"
#include "orbelix/shifft.hpp"
#include "orbelix/symmetry.hpp"

namespace orbelix {

using namespace dst2_bands;

void cdst2b(View2<cfloat> a) {
    require_valid_side(a);
    const int n = a.n1;
    if (n == 0) return;

    std::vector<cfloat> work_store(static_cast<std::size_t>(n) * n);
    const View2<cfloat> S = column_major(work_store.data(), n, n);
    for (int c = 0; c < n; ++c)
        for (int r = 0; r < n; ++r) S(r, c) = a(r, c);

    diagi(S, a);

    const int mid = n / 2;
    const int levels = exact_log2(n);
    // The unscaled band or rectangle, at most n/4 x n/4, reused throughout.
    std::vector<cfloat> band_store(static_cast<std::size_t>(n / 4) * (n / 4));

    for (int p = 1; p < levels; ++p) {
        const int x = 1 << (p - 1);
        const int tx = -recentre_shift(x);
        const float fx = gain(x);
        const int neg = n - 2 * x + 1;  // first position of M_x

        // The band's spectrum goes straight into its positions of a, always
        // in natural order.
        Shifft1 step(x);
        const View1<cfloat> w = column_major_vector(band_store.data(), x);
        auto edge = [&](View1<cfloat> u, View1<cfloat> dest) {
            for (int k = 0; k < x; ++k) w[k] = unscale(u[k], fx);
            step(dest, w, tx);
        };
        edge(row_run(S, 0, x, x), row_run(a, 0, x, x));
        edge(col_run(S, x, 0, x), col_run(a, x, 0, x));
        edge(col_run_up(S, n - x, 0, x), col_run(a, neg, 0, x));
        edge(row_run(S, mid, x, x), row_run(a, mid, x, x));
        edge(col_run(S, x, mid, x), col_run(a, x, mid, x));
        edge(col_run_up(S, n - x, mid, x), col_run(a, neg, mid, x));

        for (int q = 1; q < levels; ++q) {
            const int y = 1 << (q - 1);
            const int ty = -recentre_shift(y);
            const float fxy = gain(x, y);
            Shifft2 block_step(x, y);
            const View2<cfloat> W = column_major(band_store.data(), x, y);
            auto rectangle = [&](View2<cfloat> U, View2<cfloat> dest) {
                for (int l = 0; l < y; ++l)
                    for (int k = 0; k < x; ++k) W(k, l) = unscale(U(k, l), fxy);
                block_step(dest, W, tx, ty);
            };
            rectangle(block(S, x, y, x, y), block(a, x, y, x, y));
            rectangle(block_up(S, n - x, y, x, y), block(a, neg, y, x, y));
        }
    }

    work_store = std::vector<cfloat>();
    hsymm2(a);

    int ier = 0;
    fftpack::cfft2_("b", a, ier);
    if (ier != 0) fatal_stop();
}

}  // namespace orbelix
