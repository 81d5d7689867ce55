// Local Hilbert measures (ratio, orientation, phase, energy) at every pixel
// of a batch of images, each pixel's sums formed exactly as rht14f forms
// them for one pixel.
#pragma once

#include <cstddef>
#include <vector>

#include "core/simd/isa.hpp"
#include "analysis/signal/parallel.hpp"

namespace orbelix::analysis {

// How the window of a pixel near an edge is completed.
enum class Border {
    reflect,   // mirrored about the edge, edge pixel repeated: d c b a | a b c d | d c b a
    wrap,      // periodic: a b c d | a b c d | a b c d
    constant,  // zeros (what rht14f does by leaving such pixels out)
    valid,     // no completion: only pixels whose window lies inside
};

// A batch of real images, read in place: element (b, p, q) at
// data + b*s0 + p*s1 + q*s2 (strides in elements), float32 or float64.
struct ImageBatch {
    const void *data = nullptr;
    bool is_double = false;
    int batch = 0;
    int rows = 0;
    int cols = 0;
    std::ptrdiff_t s0 = 0, s1 = 0, s2 = 0;
};

// The four results, each batch x out_rows x out_cols in C order.
struct MeasureMaps {
    float *ratio = nullptr;
    float *orientation = nullptr;
    float *phase = nullptr;
    float *energy = nullptr;
};

// The weights of the window offsets visited, in rht14f's order: column
// offset i = -kc .. kc (outer), row offset j = -kr .. kr (inner); five
// floats per offset: the even weight fine F_fine - coarse F_coarse, the
// common odd factor F_fine - F_coarse, and p1, p2, p3.
struct MeasureKernels {
    MeasureKernels(float coarse, float fine, int kr, int kc);
    int kr, kc;
    std::vector<float> weights;
};
constexpr int kWeightsPerOffset = 5;

// Output extent along an axis of n pixels (0 when no valid window fits).
inline int measured_extent(int n, int kernel_size, Border border) {
    if (border != Border::valid) return n;
    const long long left = n - 2LL * kernel_size;
    return left > 0 ? static_cast<int>(left) : 0;
}

// Fills maps for every image of x. kernel_size >= 0; for `valid` each side
// must be at least 2 kernel_size + 1, for `reflect` and `wrap` above
// kernel_size (the caller checks). Throws Interrupted when par is stopped,
// std::bad_alloc when scratch cannot be had.
void local_measures(const ImageBatch &x, float coarse, float fine, int kernel_size, Border border,
                    const MeasureMaps &maps, tools::Parallel &par);

// The four sums of `width` pixels of one output row, from a strip of rows
// (row r at strip + r*stride) holding the pixel's window rows 0 .. 2 kr
// and columns 0 .. width - 1 + 2 kc, where width is a multiple of
// filter_block(isa). Per ISA: *_sse2 in local_measures.cpp, *_avx2 and
// *_avx512 in their own files. One call keeps one isa throughout, so that
// its widths and its loop agree even if the active path changes meanwhile.
struct RowSums {
    float *e, *o1, *o2, *q;
};
int filter_block(simd::Isa isa);
void filter_row(simd::Isa isa, const float *strip, std::ptrdiff_t stride, const MeasureKernels &k,
                std::ptrdiff_t width, const RowSums &out);

}  // namespace orbelix::analysis
