#include "orbelix/cdst2b.hpp"

#include <algorithm>

#include "orbelix/column_tiles.hpp"
#include "orbelix/dst2_bands.hpp"
#include "orbelix/fatal_stop.hpp"
#include "orbelix/pow2_ffts.hpp"

namespace orbelix {

using namespace dst2_bands;

namespace {

// The mirror of the forward transform's plan (see cdst2f.cpp): each band
// reads the coefficients only at the positions whose spectrum values it
// writes, so the spectrum is assembled in the result a band at a time
// through a small buffer, the right half filled by its mirror on the way,
// and the image is its backward 2-D transform in place. A rectangle's
// forward 2-D transform is its row transforms followed by its column
// transforms; the row transforms run for a whole column octave at once
// (rows 0 and mid are the octave's edge bands), each row divided by the
// root of its own band's area.

// The gain that divides row r of column octave P_y: the root of y for the
// edge rows 0 and mid, else the root of the area of the rectangle whose row
// octave holds r (P_x for r < mid, M_x above, x the largest power of two
// not above r, respectively n - r).
std::vector<Unscale> row_gains(int n, int y) {
    std::vector<Unscale> g;
    g.reserve(n);
    for (int r = 0; r < n; ++r) {
        if (r == 0 || r == n / 2) {
            g.emplace_back(gain(y));
            continue;
        }
        const int d = r < n / 2 ? r : n - r;
        int x = 1;
        while (2 * x <= d) x *= 2;
        g.emplace_back(gain(x, y));
    }
    return g;
}

// Row transforms of column octave P_y over all n rows, each row divided by
// its gain on the way in and the columns shifted back on the way out.
void row_step(Pow2Ffts &ffts, View2<const cfloat> s, View2<cfloat> a, int y) {
    const int n = a.n1, turn = half_turn(y);
    const std::vector<Unscale> g = row_gains(n, y);
    const int lot = Pow2Ffts::batch(y, n);
    cfloat *t = ffts.scratch(static_cast<std::size_t>(lot) * y);
    for (int r0 = 0; r0 < n; r0 += lot) {
        const int m = std::min(lot, n - r0);
        for (int q = 0; q < y; ++q) {
            const cfloat *from = &s(r0, y + q);
            for (int i = 0; i < m; ++i) t[i + q * m] = g[r0 + i](from[i]);
        }
        ffts.run(true, y, t, m, 1, m);
        for (int q = 0; q < y; ++q) copy_run(t + q * m, m, &a(r0, y + ((q + turn) & (y - 1))));
    }
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
    const int lot = Pow2Ffts::batch(x, cols);
    cfloat *t = ffts.scratch(static_cast<std::size_t>(lot) * x);
    struct Column {
        cfloat *at;      // column c, row 0
        cfloat *mirror;  // column n - c, row 0
    };
    for (int b0 = c0; b0 < c0 + cols; b0 += lot) {
        const int m = std::min(lot, c0 + cols - b0);
        by_tiles(m, x, [&](int i) { return &s(0, b0 + i); },
                 [&](const cfloat *col, int i, int k) {
                     const cfloat u = col[band.coefficient_row(k)];
                     t[i + k * m] = Divide ? by(u) : u;
                 });
        ffts.run(true, x, t, m, 1, m);
        by_tiles(m, x,
                 [&](int i) {
                     return Column{&a(0, b0 + i), Mirror ? &a(0, n - b0 - i) : nullptr};
                 },
                 [&](Column col, int i, int k) {
                     const cfloat v = t[i + k * m];
                     const int r = band.first + ((k + turn) & (x - 1));
                     col.at[r] = v;
                     if (Mirror) col.mirror[(n - r) & (n - 1)] = conj(v);
                 });
    }
}

void inverse(View2<const cfloat> s, View2<cfloat> a) {
    const int n = a.n1;
    const int mid = n / 2;
    Pow2Ffts &ffts = Pow2Ffts::of_this_thread();
    if (n <= 2) {
        // No octaves: the coefficients are the spectrum.
        for (int c = 0; c < n; ++c)
            for (int r = 0; r < n; ++r) a(r, c) = s(r, c);
    } else {
        for (const int r : {0, mid})
            for (const int c : {0, mid}) a(r, c) = s(r, c);
        const std::vector<RowBand> bands = row_bands(n);
        for (const int c0 : {0, mid})
            for (const RowBand &band : bands)
                column_step<true, false>(ffts, s, a, band, c0, 1, gain(band.width));
        for (int y = 1; y < mid; y *= 2) {
            row_step(ffts, s, a, y);
            for (const int r0 : {0, mid})
                for (int k = 0; k < y; ++k) store_with_mirror(a, r0, y + k, a(r0, y + k));
            for (const RowBand &band : bands)
                column_step<false, true>(ffts, read_only(a), a, band, y, y, 1.0f);
        }
    }
    ffts.rows(false, a);
    ffts.columns(false, a);
}

}  // namespace

void cdst2b(View2<const cfloat> s, View2<cfloat> a) {
    require_valid_side(a);
    if (a.n1 == 0) return;
    if (s.n1 != a.n1 || s.n2 != a.n2) fatal_stop();
    run_in_layout(s, a, inverse);
}

void cdst2b(View2<cfloat> a) { cdst2b(read_only(a), a); }

}  // namespace orbelix
