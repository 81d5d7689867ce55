// The filtering loop of local_measures at the vector width of one SIMD
// path; compiled once per instruction set.
#include "analysis/image/local_measures_kernel.hpp"
#include "core/simd/paths.hpp"

namespace orbelix::analysis::measures_paths::ORBELIX_KERNEL_ISA {

int block() { return kernel::Shape<ORBELIX_KERNEL_FLOATS, 2>::block; }

void filter_row(const float *strip, std::ptrdiff_t stride, const MeasureKernels &k, std::ptrdiff_t width,
                const RowSums &out) {
    kernel::filter_row<ORBELIX_KERNEL_FLOATS, 2>(strip, stride, k, width, out);
}

}  // namespace orbelix::analysis::measures_paths::ORBELIX_KERNEL_ISA
