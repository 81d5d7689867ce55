#include "orbelix/window_product.hpp"

#include "orbelix/window_product_kernel.hpp"
#include "simd/isa.hpp"

namespace orbelix {

namespace window_product_paths {
void avx2(const cfloat *a, const float *w, int n, int segments, int gap, int zeros_from,
          int zeros_to, cfloat *col);
void avx512(const cfloat *a, const float *w, int n, int segments, int gap, int zeros_from,
            int zeros_to, cfloat *col);
void avx2_centred(const cfloat *a, const cfloat *c, const float *w, int k, int count, cfloat phase,
                  cfloat *out);
void avx512_centred(const cfloat *a, const cfloat *c, const float *w, int k, int count, cfloat phase,
                    cfloat *out);
}  // namespace window_product_paths

void window_product(const cfloat *a, const float *w, int n, int segments, int gap, cfloat *col,
                    KnownZeros zeros) {
    const int z0 = zeros.from, z1 = zeros.to;
    switch (simd::active()) {
    case simd::Isa::avx512:
        window_product_paths::avx512(a, w, n, segments, gap, z0, z1, col);
        break;
    case simd::Isa::avx2: window_product_paths::avx2(a, w, n, segments, gap, z0, z1, col); break;
    default: fftpack::window_product_lanes(a, w, n, segments, gap, z0, z1, col); break;
    }
}

void window_product(const cfloat *a, const float *w, int n, cfloat *col, KnownZeros zeros) {
    window_product(a, w, n, 1, 0, col, zeros);
}

void centred_window_product(const cfloat *a, const cfloat *c, const float *w, int k, int count,
                            cfloat phase, cfloat *out) {
    switch (simd::active()) {
    case simd::Isa::avx512:
        window_product_paths::avx512_centred(a, c, w, k, count, phase, out);
        break;
    case simd::Isa::avx2: window_product_paths::avx2_centred(a, c, w, k, count, phase, out); break;
    default: fftpack::centred_window_product(a, c, w, k, count, phase, out); break;
    }
}

}  // namespace orbelix
