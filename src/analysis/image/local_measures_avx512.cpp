// The filtering loop on 512-bit vectors (compiled for AVX-512 only).
#include "analysis/image/local_measures_kernel.hpp"

namespace orbelix::analysis::kernel {

int block_avx512() { return Shape<16, 2>::block; }

void filter_row_avx512(const float *strip, std::ptrdiff_t stride, const MeasureKernels &k,
                       std::ptrdiff_t width, const RowSums &out) {
    filter_row<16, 2>(strip, stride, k, width, out);
}

}  // namespace orbelix::analysis::kernel
