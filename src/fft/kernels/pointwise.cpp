#include "fft/kernels/pointwise.hpp"

#include "core/simd/isa.hpp"

namespace orbelix::fftpack {

// Each path's copy (pointwise_sse2.cpp, pointwise_avx2.cpp, pointwise_avx512.cpp).
#define ORBELIX_POINTWISE(path)                                                                  \
    namespace path {                                                                             \
    void multiply_arrays(Product kind, const cfloat *a, const cfloat *b, cfloat *out, int count); \
    }
ORBELIX_POINTWISE(sse2)
ORBELIX_POINTWISE(avx2)
ORBELIX_POINTWISE(avx512)
#undef ORBELIX_POINTWISE

void multiply(Product kind, const cfloat *a, const cfloat *b, cfloat *out, int count) {
    switch (simd::active()) {
    case simd::Isa::avx512: avx512::multiply_arrays(kind, a, b, out, count); break;
    case simd::Isa::avx2: avx2::multiply_arrays(kind, a, b, out, count); break;
    default: sse2::multiply_arrays(kind, a, b, out, count); break;
    }
}

}  // namespace orbelix::fftpack
