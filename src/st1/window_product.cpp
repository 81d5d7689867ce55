#include "st1/window_product.hpp"

#include "core/simd/isa.hpp"

namespace orbelix {

namespace fftpack {
// Each path's copy (window_product_sse2.cpp, window_product_avx2.cpp,
// window_product_avx512.cpp).
#define ORBELIX_WINDOW_PRODUCT(path)                                                          \
    namespace path {                                                                          \
    unsigned window_product_lanes(const cfloat *a, const float *w, int n, int segments,     \
                                  int gap, int zeros_from, int zeros_to, bool leave_whole,    \
                                  cfloat *col);                                               \
    void centred_window_product(const cfloat *a, const cfloat *c, const float *w, int k,     \
                                int count, cfloat phase, cfloat *out);                        \
    }
ORBELIX_WINDOW_PRODUCT(sse2)
ORBELIX_WINDOW_PRODUCT(avx2)
ORBELIX_WINDOW_PRODUCT(avx512)
#undef ORBELIX_WINDOW_PRODUCT
}  // namespace fftpack

unsigned window_product(const cfloat *a, const float *w, int n, int segments, int gap,
                        cfloat *col, KnownZeros zeros) {
    const int z0 = zeros.from, z1 = zeros.to;
    const bool leave = zeros.leave_whole_segments && segments <= 32;
    switch (simd::active()) {
    case simd::Isa::avx512:
        return fftpack::avx512::window_product_lanes(a, w, n, segments, gap, z0, z1, leave, col);
    case simd::Isa::avx2:
        return fftpack::avx2::window_product_lanes(a, w, n, segments, gap, z0, z1, leave, col);
    default:
        return fftpack::sse2::window_product_lanes(a, w, n, segments, gap, z0, z1, leave, col);
    }
}

void window_product(const cfloat *a, const float *w, int n, cfloat *col, KnownZeros zeros) {
    window_product(a, w, n, 1, 0, col, zeros);
}

void centred_window_product(const cfloat *a, const cfloat *c, const float *w, int k, int count,
                            cfloat phase, cfloat *out) {
    switch (simd::active()) {
    case simd::Isa::avx512:
        fftpack::avx512::centred_window_product(a, c, w, k, count, phase, out);
        break;
    case simd::Isa::avx2:
        fftpack::avx2::centred_window_product(a, c, w, k, count, phase, out);
        break;
    default: fftpack::sse2::centred_window_product(a, c, w, k, count, phase, out); break;
    }
}

}  // namespace orbelix
