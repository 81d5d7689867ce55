#include "st1/cfst1b.hpp"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "fft/plans/transform_plan.hpp"
#include "st1/cht1.hpp"
#include "st1/column_sums.hpp"

namespace orbelix {

std::vector<cfloat> cfst1b(View2<const cfloat> s) {
    std::vector<cfloat> h(s.n2 > 0 ? s.n2 : 0);
    cfst1b(s, {h.data(), static_cast<int>(h.size()), 1});
    return h;
}

void cfst1b(View2<const cfloat> s, View1<cfloat> h) {
    const int nrow = s.n1;
    const int ncol = s.n2;
    if (ncol <= 0) return;

    // Row sums, each accumulated in increasing t. Columns outer, so that a
    // column-major s streams through once while the sums stay in cache.
    std::vector<cfloat> sums(ncol, {0.0f, 0.0f});
    if (s.s1 == 1) {
        for (int t = 0; t < ncol; t += kSumColumns) {
            const int nc = std::min(kSumColumns, ncol - t);
            const cfloat *cols[kSumColumns];
            for (int c = 0; c < nc; ++c) cols[c] = &s(0, t + c);
            add_columns(cols, nc, nrow, sums.data());
        }
    } else
        for (int t = 0; t < ncol; ++t)
            for (int k = 0; k < nrow; ++k) {
                const cfloat v = s(k, t);
                sums[k].re += v.re;
                sums[k].im += v.im;
            }
    for (int i = 0; i < ncol; ++i) h[i] = sums[i];
    hilbrt::cht1b(h);

    fftpack::TransformPlan plan(ncol, fftpack::TransformPlan::Tables::when_reused);
    plan.transform("b", h);

    const float scale = static_cast<float>(ncol);
    for (int i = 0; i < ncol; ++i) h[i] = {h[i].re / scale, h[i].im / scale};
}

}  // namespace orbelix
