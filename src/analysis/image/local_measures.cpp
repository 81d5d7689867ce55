#include "analysis/image/local_measures.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>

#include "analysis/image/local_measures_kernel.hpp"
#include "core/per_worker.hpp"
#include "core/simd/isa.hpp"
#include "local/rht14f.hpp"

namespace orbelix::analysis {

MeasureKernels::MeasureKernels(float coarse, float fine, int kr_, int kc_) : kr(kr_), kc(kc_) {
    weights.resize((2 * static_cast<std::size_t>(kr) + 1) * (2 * static_cast<std::size_t>(kc) + 1) *
                   kWeightsPerOffset);
    float *w = weights.data();
    for (long long i = -kc; i <= kc; ++i) {
        for (long long j = -kr; j <= kr; ++j, w += kWeightsPerOffset) {
            const local::OffsetWeights o = local::offset_weights(i, j, coarse, fine);
            w[0] = o.even;
            w[1] = o.odd;
            w[2] = o.p1;
            w[3] = o.p2;
            w[4] = o.p3;
        }
    }
}

int filter_block(simd::Isa isa) {
    using namespace measures_paths;
    return ORBELIX_ON_PATH(isa, block());
}

void filter_row(simd::Isa isa, const float *strip, std::ptrdiff_t stride, const MeasureKernels &k,
                std::ptrdiff_t width, const RowSums &out) {
    using namespace measures_paths;
    ORBELIX_ON_PATH(isa, filter_row(strip, stride, k, width, out));
}

namespace {

// The image index whose value completes index q of an axis of n pixels;
// -1 for a zero.
long long source_index(long long q, long long n, Border border) {
    switch (border) {
    case Border::reflect: {
        const long long m = ((q % (2 * n)) + 2 * n) % (2 * n);
        return m < n ? m : 2 * n - 1 - m;
    }
    case Border::wrap: return ((q % n) + n) % n;
    case Border::constant: return q >= 0 && q < n ? q : -1;
    default: return q;
    }
}

// One worker's scratch: the rows of a band's windows, completed at the
// borders and padded with zeros to whole vector blocks, and one row of sums.
struct Scratch {
    Scratch(std::size_t strip_size, std::size_t row)
        : strip(new float[strip_size]), sums(new float[4 * row]), row_size(row) {}
    std::unique_ptr<float[]> strip;
    std::unique_ptr<float[]> sums;
    std::size_t row_size;
    RowSums row() const {
        float *s = sums.get();
        return {s, s + row_size, s + 2 * row_size, s + 3 * row_size};
    }
};

template <class T>
void fill_strip(const T *image, std::ptrdiff_t s1, std::ptrdiff_t s2, const std::vector<long long> &cols,
                long long first_row, long long strip_rows, int rows, Border border, float *strip) {
    const std::size_t stride = cols.size();
    for (long long r = 0; r < strip_rows; ++r) {
        float *dst = strip + r * stride;
        const long long p = source_index(first_row + r, rows, border);
        if (p < 0) {
            std::fill(dst, dst + stride, 0.0f);
            continue;
        }
        const T *src = image + p * s1;
        for (std::size_t t = 0; t < stride; ++t)
            dst[t] = cols[t] < 0 ? 0.0f : static_cast<float>(src[cols[t] * s2]);
    }
}

}  // namespace

void local_measures(const ImageBatch &x, float coarse, float fine, int kernel_size, Border border,
                    const MeasureMaps &maps, tools::Parallel &par) {
    const int out_rows = measured_extent(x.rows, kernel_size, border);
    const int out_cols = measured_extent(x.cols, kernel_size, border);
    if (x.batch <= 0 || out_rows <= 0 || out_cols <= 0) return;
    // With zeros around the image, offsets that reach only zeros add a
    // signed zero to each sum, which leaves it as it was: they are left out.
    int kr = kernel_size, kc = kernel_size;
    if (border == Border::constant) {
        kr = std::min(kr, x.rows - 1);
        kc = std::min(kc, x.cols - 1);
    }
    const MeasureKernels k(coarse, fine, kr, kc);
    const int centre = border == Border::valid ? kernel_size : 0;
    const simd::Isa isa = simd::active();
    const int block = filter_block(isa);
    const long long width = (static_cast<long long>(out_cols) + block - 1) / block * block;

    // Strip column t holds image column centre - kc + t; columns past the
    // last window are zeros that only fill the last vector block.
    std::vector<long long> cols(static_cast<std::size_t>(width + 2LL * kc));
    for (std::size_t t = 0; t < cols.size(); ++t) {
        const long long c = centre - kc + static_cast<long long>(t);
        cols[t] = t < static_cast<std::size_t>(out_cols + 2LL * kc) ? source_index(c, x.cols, border) : -1;
    }
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(cols.size());

    // Bands of output rows: several per worker when there are several, so
    // that uneven work evens out. Every pixel is computed alike whatever the
    // band, so the numbers do not depend on it.
    int band = std::min(out_rows, 32);
    if (par.workers() > 1)
        band = std::max(1, std::min(band, out_rows / (4 * par.workers())));
    auto bands_of = [&](long long rows) { return (out_rows + rows - 1) / rows; };
    // Task numbers are ints: taller bands for a stack too large for them.
    while (bands_of(band) * x.batch > INT_MAX) band = static_cast<int>(std::min<long long>(out_rows, 2LL * band));
    const long long bands = bands_of(band);
    const long long tasks = bands * x.batch;
    const std::size_t strip_size = static_cast<std::size_t>(band + 2LL * kr) * stride;

    PerWorker scratch(par.workers(), [&] {
        return std::make_unique<Scratch>(strip_size, static_cast<std::size_t>(width));
    });
    const std::size_t plane = static_cast<std::size_t>(out_rows) * out_cols;
    par.run(static_cast<int>(tasks), [&](int w, int task) {
        Scratch &s = scratch(w);
        const int b = static_cast<int>(task / bands);
        const int r0 = static_cast<int>(task % bands) * band;
        const int r1 = std::min(out_rows, r0 + band);
        const long long first_row = static_cast<long long>(r0) + centre - kr;
        {
            const tools::Parallel::Reading reading(par);
            if (x.is_double)
                fill_strip(static_cast<const double *>(x.data) + b * x.s0, x.s1, x.s2, cols, first_row,
                           r1 - r0 + 2LL * kr, x.rows, border, s.strip.get());
            else
                fill_strip(static_cast<const float *>(x.data) + b * x.s0, x.s1, x.s2, cols, first_row,
                           r1 - r0 + 2LL * kr, x.rows, border, s.strip.get());
        }
        const RowSums sums = s.row();
        for (int r = r0; r < r1 && !par.stopping(); ++r) {
            filter_row(isa, s.strip.get() + static_cast<std::ptrdiff_t>(r - r0) * stride, stride, k,
                       width, sums);
            const std::size_t at = b * plane + static_cast<std::size_t>(r) * out_cols;
            for (int y = 0; y < out_cols; ++y) {
                float h[4];
                local::measures_from_sums(sums.e[y], sums.o1[y], sums.o2[y], sums.q[y], h);
                maps.ratio[at + y] = h[0];
                maps.orientation[at + y] = h[1];
                maps.phase[at + y] = h[2];
                maps.energy[at + y] = h[3];
            }
        }
    });
}

}  // namespace orbelix::analysis
