#include "fft/kernels/pointwise.hpp"

#include "core/simd/isa.hpp"
#include "core/simd/paths.hpp"

namespace orbelix::fftpack {

// Each path's copy (pointwise_kernels.cpp).
ORBELIX_DECLARE_PATHS(void multiply_arrays(Product kind, const cfloat *a, const cfloat *b,
                                           cfloat *out, int count))

void multiply(Product kind, const cfloat *a, const cfloat *b, cfloat *out, int count) {
    ORBELIX_ON_PATH(simd::active(), multiply_arrays(kind, a, b, out, count));
}

}  // namespace orbelix::fftpack
