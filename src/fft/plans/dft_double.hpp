// A DFT in double precision for tables that are built once (the spectrum
// of a chirp-z kernel), so that their single-precision values are rounded
// once rather than carried through single-precision passes.
//
//   X[k] = sum_j x[j] exp(sign * 2 pi i j k / n),  unscaled,
//
// by recursive decimation in time over the smallest prime factor, in
// O(n * (sum of the prime factors)) operations, with roots formed from
// exact integer angles. Takes 48 n bytes of memory while it runs.
#pragma once

#include <complex>
#include <vector>

namespace orbelix::fftpack {

// x.size() >= 1. Throws std::bad_alloc.
void dft_double(std::vector<std::complex<double>> &x, int sign);

}  // namespace orbelix::fftpack
