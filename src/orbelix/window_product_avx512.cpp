// window_product on the avx512 path.
#include "orbelix/window_product.hpp"
#include "orbelix/window_product_kernel.hpp"

namespace orbelix::window_product_paths {

void avx512(const cfloat *a, const float *w, int n, int segments, int gap, cfloat *col) {
    fftpack::window_product_lanes(a, w, n, segments, gap, col);
}

}  // namespace orbelix::window_product_paths
