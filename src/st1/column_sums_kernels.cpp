// The column sums of one SIMD path, a register of floats at a time;
// compiled once per instruction set.
#include "core/simd/paths.hpp"
#include "st1/column_sums.hpp"
#include "st1/column_sums_kernel.hpp"

namespace orbelix::column_sum_paths::ORBELIX_KERNEL_ISA {

void add_columns(const cfloat *const *col, int ncol, int count, cfloat *acc) {
    ColumnSums<ORBELIX_KERNEL_FLOATS>::add_columns(col, ncol, count, acc);
}

}  // namespace orbelix::column_sum_paths::ORBELIX_KERNEL_ISA
