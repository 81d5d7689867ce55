// The filtering loop on 256-bit vectors (compiled with -mavx2 only).
#include "analysis/image/local_measures_kernel.hpp"

namespace orbelix::analysis::kernel {

int block_avx2() { return Shape<8, 2>::block; }

void filter_row_avx2(const float *strip, std::ptrdiff_t stride, const MeasureKernels &k,
                     std::ptrdiff_t width, const RowSums &out) {
    filter_row<8, 2>(strip, stride, k, width, out);
}

}  // namespace orbelix::analysis::kernel
