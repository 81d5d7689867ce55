#include "orbelix/cfst1b.hpp"

#include "orbelix/fatal_stop.hpp"

#include <cstdlib>
#include <vector>

#include "fftpack/transform_plan.hpp"
#include "hilbrt/cht1.hpp"

namespace orbelix {

namespace {

// acc[k] += col[t][k] for the columns t = 0 .. C-1 in turn, k < count:
// each sum still adds in increasing t, the sums are loaded and stored once
// per C columns, and the additions of neighbouring k share registers.
template <int C>
void add_columns(const cfloat *const *col, int count, cfloat *acc) {
    const float *__restrict in[C];
    for (int c = 0; c < C; ++c) in[c] = &col[c][0].re;
    float *__restrict out = &acc[0].re;
    for (int i = 0; i < 2 * count; ++i) {
        float v = out[i];
        for (int c = 0; c < C; ++c) v += in[c][i];
        out[i] = v;
    }
}

}  // namespace

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
    constexpr int kColumns = 4;
    if (s.s1 == 1) {
        int t = 0;
        for (; t + kColumns <= ncol; t += kColumns) {
            const cfloat *cols[kColumns];
            for (int c = 0; c < kColumns; ++c) cols[c] = &s(0, t + c);
            add_columns<kColumns>(cols, nrow, sums.data());
        }
        for (; t < ncol; ++t) {
            const cfloat *col = &s(0, t);
            add_columns<1>(&col, nrow, sums.data());
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

    fftpack::TransformPlan plan(ncol);
    if (plan.init_error() != 0 || plan.transform("b", h) != 0) fatal_stop();

    const float scale = static_cast<float>(ncol);
    for (int i = 0; i < ncol; ++i) h[i] = {h[i].re / scale, h[i].im / scale};
}

}  // namespace orbelix
