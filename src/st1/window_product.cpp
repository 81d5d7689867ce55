#include "st1/window_product.hpp"

#include "core/simd/isa.hpp"
#include "core/simd/paths.hpp"

namespace orbelix {

namespace window_products {
// Each path's copy (window_product_kernels.cpp).
ORBELIX_DECLARE_PATHS(unsigned window_product_lanes(const cfloat *a, const float *w, int n,
                                                    int segments, int gap, int zeros_from,
                                                    int zeros_to, bool leave_whole, cfloat *col);
                      void centred_window_product(const cfloat *a, const cfloat *c,
                                                  const float *w, int k, int count, cfloat phase,
                                                  cfloat *out))
}  // namespace window_products

unsigned window_product(const cfloat *a, const float *w, int n, int segments, int gap,
                        cfloat *col, KnownZeros zeros) {
    const int z0 = zeros.from, z1 = zeros.to;
    const bool leave = zeros.leave_whole_segments && segments <= 32;
    using namespace window_products;
    return ORBELIX_ON_PATH(simd::active(),
                           window_product_lanes(a, w, n, segments, gap, z0, z1, leave, col));
}

void window_product(const cfloat *a, const float *w, int n, cfloat *col, KnownZeros zeros) {
    window_product(a, w, n, 1, 0, col, zeros);
}

void centred_window_product(const cfloat *a, const cfloat *c, const float *w, int k, int count,
                            cfloat phase, cfloat *out) {
    using namespace window_products;
    ORBELIX_ON_PATH(simd::active(), centred_window_product(a, c, w, k, count, phase, out));
}

}  // namespace orbelix
