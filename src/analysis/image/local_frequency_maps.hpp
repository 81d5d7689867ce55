// Per-pixel reductions of 2-D DOST coefficients: for every pixel, the
// coefficient of each band pair whose place covers it.
//
// Along an axis of n pixels, coefficient k of a band of width w stands for
// the band's signal at pixel k*n/w (the band is circular, like the signal);
// pixel p is covered by the nearest place, k = round(p*w/n) mod w (halves
// up), so place 0 also covers the last pixels.
//
// Energy of a band pair at a pixel: |c|^2 * wr*wc / (n1*n2), the share of
// the coefficient's energy per pixel of its place. Where the places of every
// band cover equal numbers of pixels (sides that are powers of two) the
// energies of all pairs over all pixels add up to sum |c|^2 = sum |image|^2.
#pragma once

#include <vector>

#include "analysis/signal/parallel.hpp"
#include "core/view.hpp"

namespace orbelix::analysis {

// Coefficients of count images of n1 x n2 (row-major, contiguous) and, per
// band pair (row band i, column band j; row-major nbr x nbc tables), the
// values the reductions report.
struct PairTables {
    const cfloat *c = nullptr;
    long long count = 0;
    int n1 = 0, n2 = 0;
    const float *frequency = nullptr;    // dominant: band-pair centre frequency
    const float *orientation = nullptr;  // dominant: its orientation
    const int *octave = nullptr;         // octaves: radial octave of each pair
    int octaves = 0;
};

// frequency and orientation: count x n1 x n2 each. The zero-frequency pair
// takes no part; a pixel with no energy elsewhere gets 0 and 0.
void dominant_maps(const PairTables &t, float *frequency, float *orientation, tools::Parallel &par);

// energy: octaves planes of count x n1 x n2, the energy per octave.
void octave_energy(const PairTables &t, float *energy, tools::Parallel &par);

// magnitudes: nbr x nbc planes of count x n1 x n2, |c| of each pair.
void band_magnitudes(const PairTables &t, float *magnitudes, tools::Parallel &par);

}  // namespace orbelix::analysis
