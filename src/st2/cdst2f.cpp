#include "st2/cdst2f.hpp"

#include <cstring>

#include "st2/column_tiles.hpp"
#include "core/simd/complex_pairs.hpp"
#include "st2/dst2_bands.hpp"
#include "core/errors.hpp"
#include "st2/pow2_ffts.hpp"
#include "core/complex.hpp"

namespace orbelix {

using namespace dst2_bands;

namespace {

// Every band reads the spectrum only at the positions it writes, so the
// whole transform runs in the result: the spectrum is formed there, a band
// at a time is gathered (re-centred) into a small buffer, transformed, and
// scattered back with its gain, its order and its mirror. Column units
// (column 0, column mid, each column octave P_y) are finished one after the
// other while they are still in cache: the spectrum's column transforms,
// then for each row octave its rows' transforms followed at once by its
// column transforms, on the rectangle just touched (an octave whose rows
// make a single batch has them transformed at once). A rectangle's backward 2-D transform is exactly its row
// transforms followed by its column transforms, and the shifts only move
// values, so every coefficient gets the arithmetic of the band step.

// Row transforms of column octave P_y in rows first ... first+rows-1, the
// columns re-centred on the way in.
void row_step(Pow2Ffts &ffts, View2<cfloat> a, int y, int first, int rows) {
    if (y == 1) return;
    const int turn = half_turn(y);
    ffts.in_batches(y, first, rows, [&](int r0, int m, cfloat *t) {
        for (int q = 0; q < y; ++q) copy_run(&a(r0, y + ((q + turn) & (y - 1))), m, t + q * m);
        ffts.run(false, y, t, m, 1, m);
        for (int q = 0; q < y; ++q) copy_run(t + q * m, m, &a(r0, y + q));
    });
}

// Column transforms of row octave `band` in columns c0 ... c0+cols-1: the
// rows re-centred on the way in, the coefficients times `g` stored in the
// band's order, and mirrored into the right half when Mirror.
template <bool Mirror>
void column_step(Pow2Ffts &ffts, View2<cfloat> a, RowBand band, int c0, int cols, float g) {
    const int n = a.n1, x = band.width, turn = half_turn(x);
    const std::ptrdiff_t stride = a.s2;
    ffts.in_batches(x, c0, cols, [&](int b0, int m, cfloat *t) {
        by_tiles(
            m, x,
            [&](int s0, auto w, int k) {
                const cfloat *from = &a(band.first + ((k + turn) & (x - 1)), b0 + s0);
                cfloat *to = t + s0 + k * m;
                for (int j = 0; j < w; ++j, from += stride) to[j] = *from;
            },
            [&](int s0, int k) {
                // Values k and k+1 lie in neighbouring rows (k + turn is even).
                const cfloat *from = &a(band.first + ((k + turn) & (x - 1)), b0 + s0);
                cfloat *to = t + s0 + k * m;
                for (int j = 0; j < kTileColumns; j += 2, from += 2 * stride) {
                    const pairs::pair u = pairs::load(from), v = pairs::load(from + stride);
                    pairs::store(to + j, pairs::firsts(u, v));
                    pairs::store(to + m + j, pairs::seconds(u, v));
                }
            });
        ffts.run(false, x, t, m, 1, m);
        const bool stream = Mirror && n >= kStreamSide;
        by_tiles(
            m, x,
            [&](int s0, auto w, int k) {
                const int r = band.coefficient_row(k);
                const cfloat *from = t + s0 + k * m;
                cfloat *to = &a(r, b0 + s0);
                if (Mirror && !stream) {
                    cfloat *image = &a(n - r, n - b0 - s0);
                    for (int j = 0; j < w; ++j, to += stride, image -= stride) {
                        const cfloat v = times_real(from[j], g);
                        *to = v;
                        *image = conj(v);
                    }
                } else {
                    for (int j = 0; j < w; ++j, to += stride) *to = times_real(from[j], g);
                }
            },
            [&](int s0, int k) {
                // Coefficients k and k+1 go to rows r and r+1, or r+1 and r
                // in a negative octave; their mirrors to rows n-r and n-r-1.
                const int r = band.negative ? band.first + x - 2 - k : band.first + k;
                const cfloat *from = t + s0 + k * m;
                cfloat *to = &a(r, b0 + s0);
                cfloat *image = &a(n - r - 1, n - b0 - s0);
                for (int j = 0; j < kTileColumns; j += 2) {
                    const pairs::pair u = pairs::load(from + j), v = pairs::load(from + m + j);
                    pairs::pair z0 = pairs::times_real(pairs::firsts(u, v), g);
                    pairs::pair z1 = pairs::times_real(pairs::seconds(u, v), g);
                    if (band.negative) {
                        z0 = pairs::swapped(z0);
                        z1 = pairs::swapped(z1);
                    }
                    const bool mirror = Mirror && !stream;
                    pairs::store_columns(to, mirror ? image : nullptr, stride, z0, z1);
                    to += 2 * stride;
                    if (mirror) image -= 2 * stride;
                }
            });
        if (stream) {
            // Row r of the band holds coefficient r - first, or first+x-1 - r
            // in a negative octave.
            mirror_runs(a, band.first, x, b0, m, [&](int i, int r) {
                const int k = band.negative ? band.first + x - 1 - r : r - band.first;
                return times_real(t[i + k * m], g);
            });
        }
    });
}

void forward(View2<const cfloat> image, View2<cfloat> a) {
    const int n = a.n1;
    Pow2Ffts &ffts = Pow2Ffts::of_this_thread();
    if (image.data != a.data)
        for (int c = 0; c < n; ++c) std::memcpy(&a(0, c), &image(0, c), n * sizeof(cfloat));
    ffts.rows(true, a);
    if (n <= 2) {
        // No octaves: the coefficients are the spectrum.
        ffts.columns(true, a);
        return;
    }
    // Columns mid+1 ... n-1 of the spectrum are never needed: the mirror
    // overwrites them. The gains are applied by the column steps and to the
    // rows 0 and mid of each octave.
    struct Steps {
        Pow2Ffts &ffts;
        View2<cfloat> a;
        void column_unit(int c0) { ffts.columns(true, {&a(0, c0), a.n1, 1, a.s1, a.s2}); }
        void octave(int y) { ffts.columns(true, {&a(0, y), a.n1, y, a.s1, a.s2}); }
        void rows(int y, const std::vector<RowRun> &runs) {
            row_step(ffts, a, y, runs.front().first, runs.back().first + runs.back().rows - runs.front().first);
        }
        void centre_row(int y, int r0, float g) {
            for (int k = 0; k < y; ++k) store_with_mirror(a, r0, y + k, times_real(a(r0, y + k), g));
        }
        void columns(const RowBand &band, int c0, int cols, float g, bool in_octave) {
            if (in_octave)
                column_step<true>(ffts, a, band, c0, cols, g);
            else
                column_step<false>(ffts, a, band, c0, cols, g);
        }
    } steps{ffts, a};
    walk_bands(n, steps);
    end_streams();
}

}  // namespace

void cdst2f(View2<const cfloat> image, View2<cfloat> a) {
    require_valid_side(a);
    if (a.n1 == 0) return;
    if (image.n1 != a.n1 || image.n2 != a.n2) refuse("cdst2f: the image and the result differ in shape");
    run_in_layout(image, a, forward);
}

void cdst2f(View2<cfloat> a) { cdst2f(read_only(a), a); }

}  // namespace orbelix
