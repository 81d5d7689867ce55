#include "st1/column_sums.hpp"

#include "st1/column_sums_kernel.hpp"

namespace orbelix {

namespace column_sum_paths {
void add_columns_sse2(const cfloat *const *col, int ncol, int count, cfloat *acc) {
    ColumnSums<4>::add_columns(col, ncol, count, acc);
}
}  // namespace column_sum_paths

void add_columns(simd::Isa isa, const cfloat *const *col, int ncol, int count, cfloat *acc) {
    switch (isa) {
    case simd::Isa::avx512: column_sum_paths::add_columns_avx512(col, ncol, count, acc); break;
    case simd::Isa::avx2: column_sum_paths::add_columns_avx2(col, ncol, count, acc); break;
    default: column_sum_paths::add_columns_sse2(col, ncol, count, acc); break;
    }
}

void add_columns(const cfloat *const *col, int ncol, int count, cfloat *acc) {
    add_columns(simd::active(), col, ncol, count, acc);
}

}  // namespace orbelix
