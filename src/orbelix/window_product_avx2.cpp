// window_product on the avx2 path.
#include "orbelix/window_product.hpp"
#include "orbelix/window_product_kernel.hpp"

namespace orbelix::window_product_paths {

void avx2(const cfloat *a, const float *w, int n, int segments, int gap, int zeros_from,
          int zeros_to, cfloat *col) {
    fftpack::window_product_lanes(a, w, n, segments, gap, zeros_from, zeros_to, col);
}

void avx2_centred(const cfloat *a, const cfloat *c, const float *w, int k, int count, cfloat phase,
                  cfloat *out) {
    fftpack::centred_window_product(a, c, w, k, count, phase, out);
}

}  // namespace orbelix::window_product_paths
