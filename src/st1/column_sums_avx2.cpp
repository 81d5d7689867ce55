// The column sums, 8 floats per register.
#include "st1/column_sums.hpp"
#include "st1/column_sums_kernel.hpp"

namespace orbelix::column_sum_paths {

void add_columns_avx2(const cfloat *const *col, int ncol, int count, cfloat *acc) {
    ColumnSums<8>::add_columns(col, ncol, count, acc);
}

}  // namespace orbelix::column_sum_paths
