#include "st2/cdst2b.hpp"

#include <algorithm>

#include "st2/column_tiles.hpp"
#include "core/simd/complex_pairs.hpp"
#include "st2/dst2_bands.hpp"
#include "core/errors.hpp"
#include "st2/pow2_ffts.hpp"

namespace orbelix {

using namespace dst2_bands;

namespace {

// Prefetch distance: coefficient columns are requested this many columns
// ahead, since short runs down columns a page or more apart defeat the
// hardware prefetcher.
constexpr int kAhead = 4;

// The mirror of the forward transform's plan (see cdst2f.cpp): each band
// reads the coefficients only at the positions whose spectrum values it
// writes, so the spectrum is assembled in the result a band at a time
// through a small buffer, and the image is its backward 2-D transform in
// place. A rectangle's forward 2-D transform is its row transforms followed
// by its column transforms; for each column octave the rows of one row
// octave are transformed, each divided by the root of the rectangle's area,
// and its column transforms follow while those rows are still in cache
// (an octave whose rows make a single batch has them transformed at once).
// The right half of the spectrum is filled by the mirror on the way.

// Row transforms of column octave P_y in the rows of `runs` (consecutive,
// ascending), each row divided by its run's gain on the way in and the
// columns shifted back on the way out.
void row_step(Pow2Ffts &ffts, View2<const cfloat> s, View2<cfloat> a, int y,
              const std::vector<RowRun> &runs) {
    const int turn = half_turn(y);
    const int first = runs.front().first, end = runs.back().first + runs.back().rows;
    std::vector<Unscale> by;
    for (const RowRun &r : runs) by.emplace_back(r.gain);
    std::size_t run = 0;
    ffts.in_batches(y, first, end - first, [&](int r0, int m, cfloat *t) {
        while (runs[run].first + runs[run].rows <= r0) ++run;
        for (int q = 0; q < y; ++q) {
            const cfloat *from = &s(r0, y + q);
            if (q + kAhead < y) {
                const char *next = reinterpret_cast<const char *>(&s(r0, y + q + kAhead));
                for (std::size_t b = 0; b < m * sizeof(cfloat); b += 64) __builtin_prefetch(next + b);
            }
            for (std::size_t k = run; k < runs.size() && runs[k].first < r0 + m; ++k) {
                const int lo = std::max(r0, runs[k].first);
                const int hi = std::min(r0 + m, runs[k].first + runs[k].rows);
                by[k].run(from + (lo - r0), hi - lo, t + q * m + (lo - r0));
            }
        }
        ffts.run(true, y, t, m, 1, m);
        for (int q = 0; q < y; ++q) copy_run(t + q * m, m, &a(r0, y + ((q + turn) & (y - 1))));
    });
}

// Column transforms of row octave `band` in columns c0 ... c0+cols-1: the
// coefficients read in the band's order from s (divided by `g` on the way
// in when Divide), the spectrum values shifted back into natural order in a
// and mirrored into the right half when Mirror.
template <bool Divide, bool Mirror>
void column_step(Pow2Ffts &ffts, View2<const cfloat> s, View2<cfloat> a, RowBand band, int c0,
                 int cols, float g) {
    const int n = a.n1, x = band.width, turn = half_turn(x);
    const Unscale by(g);
    const std::ptrdiff_t stride = a.s2;
    ffts.in_batches(x, c0, cols, [&](int b0, int m, cfloat *t) {
        auto gather = [&](int s0, auto w, int k) {
            const cfloat *from = &s(band.coefficient_row(k), b0 + s0);
            cfloat *to = t + s0 + k * m;
            for (int j = 0; j < w; ++j, from += s.s2) to[j] = Divide ? by(*from) : *from;
        };
        by_tiles(m, x, gather, [&](int s0, int k) {
            if (Divide) {
                gather(s0, std::integral_constant<int, kTileColumns>{}, k);
                gather(s0, std::integral_constant<int, kTileColumns>{}, k + 1);
                return;
            }
            // Coefficients k and k+1 lie in rows r and r+1, or r+1 and r in
            // a negative octave.
            const int r = band.negative ? band.first + x - 2 - k : band.first + k;
            const cfloat *from = &s(r, b0 + s0);
            cfloat *to = t + s0 + k * m;
            for (int j = 0; j < kTileColumns; j += 2, from += 2 * s.s2) {
                pairs::pair u = pairs::load(from), v = pairs::load(from + s.s2);
                if (band.negative) {
                    u = pairs::swapped(u);
                    v = pairs::swapped(v);
                }
                pairs::store(to + j, pairs::firsts(u, v));
                pairs::store(to + m + j, pairs::seconds(u, v));
            }
        });
        ffts.run(true, x, t, m, 1, m);
        const bool stream = Mirror && n >= kStreamSide;
        by_tiles(
            m, x,
            [&](int s0, auto w, int k) {
                const int r = band.first + ((k + turn) & (x - 1));
                const cfloat *from = t + s0 + k * m;
                cfloat *to = &a(r, b0 + s0);
                for (int j = 0; j < w; ++j, to += stride) *to = from[j];
                if (Mirror && !stream) {
                    cfloat *image = &a(n - r, n - b0 - s0);
                    for (int j = 0; j < w; ++j, image -= stride) *image = conj(from[j]);
                }
            },
            [&](int s0, int k) {
                // Values k and k+1 go to neighbouring rows r and r+1 (k + turn
                // is even), their mirrors to rows n-r and n-r-1.
                const int r = band.first + ((k + turn) & (x - 1));
                const cfloat *from = t + s0 + k * m;
                cfloat *to = &a(r, b0 + s0);
                cfloat *image = &a(n - r - 1, n - b0 - s0);
                for (int j = 0; j < kTileColumns; j += 2) {
                    const pairs::pair u = pairs::load(from + j), v = pairs::load(from + m + j);
                    const pairs::pair z0 = pairs::firsts(u, v), z1 = pairs::seconds(u, v);
                    const bool mirror = Mirror && !stream;
                    pairs::store_columns(to, mirror ? image : nullptr, stride, z0, z1);
                    to += 2 * stride;
                    if (mirror) image -= 2 * stride;
                }
            });
        if (stream) {
            // Row r of the band holds value (r - first - turn) mod x.
            mirror_runs(a, band.first, x, b0, m, [&](int i, int r) {
                return t[i + ((r - band.first + x - turn) & (x - 1)) * m];
            });
        }
    });
}

void inverse(View2<const cfloat> s, View2<cfloat> a) {
    const int n = a.n1;
    const int mid = n / 2;
    Pow2Ffts &ffts = Pow2Ffts::of_this_thread();
    if (n <= 2) {
        // No octaves: the coefficients are the spectrum.
        for (int c = 0; c < n; ++c)
            for (int r = 0; r < n; ++r) a(r, c) = s(r, c);
        ffts.rows(false, a);
        ffts.columns(false, a);
        return;
    }
    for (const int r : {0, mid})
        for (const int c : {0, mid}) a(r, c) = s(r, c);
    // The gains divide the coefficients of columns 0 and mid in their column
    // steps, and the rows of each column octave in its row steps; the
    // octave's column steps then only transform.
    struct Steps {
        Pow2Ffts &ffts;
        View2<const cfloat> s;
        View2<cfloat> a;
        void column_unit(int) {}
        void octave(int) {}
        void rows(int y, const std::vector<RowRun> &runs) { row_step(ffts, s, a, y, runs); }
        void centre_row(int y, int r0, float) {
            for (int k = 0; k < y; ++k) store_with_mirror(a, r0, y + k, a(r0, y + k));
        }
        void columns(const RowBand &band, int c0, int cols, float g, bool in_octave) {
            if (in_octave)
                column_step<false, true>(ffts, read_only(a), a, band, c0, cols, 1.0f);
            else
                column_step<true, false>(ffts, s, a, band, c0, cols, g);
        }
    } steps{ffts, s, a};
    walk_bands(n, steps);
    end_streams();
    ffts.rows(false, a);
    ffts.columns(false, a);
}

}  // namespace

void cdst2b(View2<const cfloat> s, View2<cfloat> a) {
    require_valid_side(a);
    if (a.n1 == 0) return;
    if (s.n1 != a.n1 || s.n2 != a.n2) refuse("cdst2b: the coefficients and the result differ in shape");
    run_in_layout(s, a, inverse);
}

void cdst2b(View2<cfloat> a) { cdst2b(read_only(a), a); }

}  // namespace orbelix
