// The column sums of the inverse S-transform add every sum in column order
// on every SIMD path: the same bits as one scalar addition after another.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "st1/column_sums.hpp"
#include "core/simd/isa.hpp"
#include "test_support.hpp"

using orbelix::cfloat;
using orbelix::kSumColumns;
using orbelix::simd::Isa;

namespace {

// Magnitudes spread over twelve decades, so that adding in any other order
// would round differently.
std::vector<cfloat> spread_values(std::size_t count, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> exponent(-6.0f, 6.0f), sign(-1.0f, 1.0f);
    std::vector<cfloat> v(count);
    for (auto &x : v)
        x = {std::copysign(std::pow(10.0f, exponent(gen)), sign(gen)),
             std::copysign(std::pow(10.0f, exponent(gen)), sign(gen))};
    return v;
}

}  // namespace

TEST(ColumnSums, EveryPathAddsInColumnOrder) {
    const std::vector<Isa> paths = orbelix::testing::supported_paths();
    for (int count : {1, 2, 3, 7, 8, 9, 31, 1025}) {
        const auto columns = spread_values(static_cast<std::size_t>(kSumColumns) * count, count);
        const auto start = spread_values(count, 1000 + count);
        for (int ncol = 1; ncol <= kSumColumns; ++ncol) {
            const cfloat *col[kSumColumns];
            for (int c = 0; c < ncol; ++c) col[c] = columns.data() + c * count;
            std::vector<cfloat> expected = start;
            for (int c = 0; c < ncol; ++c)
                for (int k = 0; k < count; ++k) {
                    expected[k].re += col[c][k].re;
                    expected[k].im += col[c][k].im;
                }
            for (Isa isa : paths) {
                std::vector<cfloat> acc = start;
                orbelix::add_columns(isa, col, ncol, count, acc.data());
                EXPECT_EQ(std::memcmp(acc.data(), expected.data(), count * sizeof(cfloat)), 0)
                    << "path " << static_cast<int>(isa) << ", " << ncol << " columns of " << count;
            }
        }
    }
}
