#include "st1/column_sums.hpp"

namespace orbelix {

void add_columns(simd::Isa isa, const cfloat *const *col, int ncol, int count, cfloat *acc) {
    using namespace column_sum_paths;
    ORBELIX_ON_PATH(isa, add_columns(col, ncol, count, acc));
}

void add_columns(const cfloat *const *col, int ncol, int count, cfloat *acc) {
    add_columns(simd::active(), col, ncol, count, acc);
}

}  // namespace orbelix
