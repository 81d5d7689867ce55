// Running sums over the columns of a column-major block, the additions of
// every sum in column order, so that any width of vector gives the same bits.
#pragma once

#include "core/simd/isa.hpp"
#include "core/simd/paths.hpp"
#include "core/view.hpp"

namespace orbelix {

// Columns a call adds at most: the sums are loaded and stored once per this
// many columns.
constexpr int kSumColumns = 8;

// acc[k] += col[0][k]; acc[k] += col[1][k]; ... for k < count, with
// 1 <= ncol <= kSumColumns, on the given path (tests) or the active one.
void add_columns(simd::Isa isa, const cfloat *const *col, int ncol, int count, cfloat *acc);
void add_columns(const cfloat *const *col, int ncol, int count, cfloat *acc);

// Each path's copy (column_sums_kernels.cpp).
namespace column_sum_paths {
ORBELIX_DECLARE_PATHS(void add_columns(const cfloat *const *col, int ncol, int count, cfloat *acc))
}  // namespace column_sum_paths

}  // namespace orbelix
