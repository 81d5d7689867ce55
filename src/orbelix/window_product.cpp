#include "orbelix/window_product.hpp"

#include "orbelix/window_product_kernel.hpp"
#include "simd/isa.hpp"

namespace orbelix {

namespace window_product_paths {
void avx2(const cfloat *a, const float *w, int n, int segments, int gap, cfloat *col);
void avx512(const cfloat *a, const float *w, int n, int segments, int gap, cfloat *col);
}  // namespace window_product_paths

void window_product(const cfloat *a, const float *w, int n, int segments, int gap, cfloat *col) {
    switch (simd::active()) {
    case simd::Isa::avx512: window_product_paths::avx512(a, w, n, segments, gap, col); break;
    case simd::Isa::avx2: window_product_paths::avx2(a, w, n, segments, gap, col); break;
    default: fftpack::window_product_lanes(a, w, n, segments, gap, col); break;
    }
}

void window_product(const cfloat *a, const float *w, int n, cfloat *col) {
    window_product(a, w, n, 1, 0, col);
}

}  // namespace orbelix
