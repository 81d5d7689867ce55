// The column sums, 16 floats per register.
#include "st1/column_sums.hpp"
#include "st1/column_sums_kernel.hpp"

namespace orbelix::column_sum_paths {

void add_columns_avx512(const cfloat *const *col, int ncol, int count, cfloat *acc) {
    ColumnSums<16>::add_columns(col, ncol, count, acc);
}

}  // namespace orbelix::column_sum_paths
