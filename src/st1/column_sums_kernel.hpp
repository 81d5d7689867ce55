// The column sums written once for W float lanes (GCC vector extensions) and
// compiled per instruction set by column_sums_kernels.cpp. Internal linkage:
// each copy stays in its own file.
#pragma once

#include "core/simd/vectors.hpp"
#include "st1/column_sums.hpp"

namespace orbelix {
namespace {

template <int W>
struct ColumnSums {
    using vf = simd::floats<W>;

    // out[i] += in[0][i] + ... in order, C columns, i < count floats.
    template <int C>
    static void add(const float *const *in, long count, float *out) {
        long i = 0;
        for (; i + W <= count; i += W) {
            vf v = simd::load<vf>(out + i);
            for (int c = 0; c < C; ++c) v += simd::load<vf>(in[c] + i);
            simd::store(out + i, v);
        }
        for (; i < count; ++i) {
            float v = out[i];
            for (int c = 0; c < C; ++c) v += in[c][i];
            out[i] = v;
        }
    }

    static void add_columns(const cfloat *const *col, int ncol, int count, cfloat *acc) {
        const float *in[kSumColumns];
        for (int c = 0; c < ncol; ++c) in[c] = &col[c][0].re;
        const long floats = 2L * count;
        float *out = &acc[0].re;
        switch (ncol) {
        case 8: add<8>(in, floats, out); break;
        case 7: add<7>(in, floats, out); break;
        case 6: add<6>(in, floats, out); break;
        case 5: add<5>(in, floats, out); break;
        case 4: add<4>(in, floats, out); break;
        case 3: add<3>(in, floats, out); break;
        case 2: add<2>(in, floats, out); break;
        default: add<1>(in, floats, out); break;
        }
    }
};

}  // namespace
}  // namespace orbelix
