#include "orbelix/cfst1b.hpp"

#include "orbelix/fatal_stop.hpp"

#include <cstdlib>

#include "fftpack/transform_plan.hpp"
#include "hilbrt/cht1.hpp"

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

    for (int i = 0; i < ncol; ++i) h[i] = {0.0f, 0.0f};
    // Row sums, each accumulated in increasing t; columns outer so that a
    // column-major s is read in storage order.
    for (int t = 0; t < ncol; ++t) {
        for (int k = 0; k < nrow; ++k) {
            const cfloat v = s(k, t);
            h[k].re += v.re;
            h[k].im += v.im;
        }
    }
    hilbrt::cht1b(h);

    fftpack::TransformPlan plan(ncol);
    if (plan.init_error() != 0 || plan.transform("b", h) != 0) fatal_stop();

    const float scale = static_cast<float>(ncol);
    for (int i = 0; i < ncol; ++i) h[i] = {h[i].re / scale, h[i].im / scale};
}

}  // namespace orbelix
