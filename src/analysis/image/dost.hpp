// The discrete orthonormal S-transform (DOST) of signals of any length and,
// as its tensor product, of images of any shape.
//
// The spectrum of n samples is cut into bands: the zero frequency, the
// positive octaves x .. 2x-1 (x = 1, 2, 4, ...; the last one ends at the
// highest positive frequency (n-1)/2, so it may be narrower), the Nyquist
// frequency when n is even, and the mirror images of the positive octaves
// among the negative frequencies. The coefficients of a band of width w
// are its slice of the unitary spectrum, re-centred on its middle bin and
// transformed back with the band's own length, scaled by 1/sqrt(w): the
// transform is unitary (sum |c|^2 = sum |x|^2).
//
// Layout: a band's coefficients sit at the positions its bins hold in the
// spectrum. Coefficient k of a positive band starting at bin b is stored at
// b + k; that of the mirror band at n - b - k (reversed, as the spectrum's
// negative half mirrors the positive one). A negative band is built from
// its bins in mirror order (-b, -b-1, ...) with the forward kernel, so for
// real input it holds exactly the conjugates of its positive twin, and the
// coefficients have the spectrum's symmetry c[(n-m) mod n] = conj(c[m]).
#pragma once

#include <memory>
#include <vector>

#include "analysis/image/batch_fft.hpp"
#include "analysis/signal/parallel.hpp"
#include "core/view.hpp"

namespace orbelix::analysis {

struct DostBand {
    int first = 0;  // the band's lowest |bin|
    int width = 1;
    bool negative = false;

    // Position of coefficient k (0 .. width-1) in a length-n coefficient vector.
    int position(int n, int k) const { return negative ? n - first - k : first + k; }
    // Bin index of the band's re-centring point (its middle bin).
    int middle() const { return width / 2; }
};

// The bands of n >= 1 samples in coefficient (position) order.
std::vector<DostBand> dost_bands(int n);

// For each position 0 .. n-1, the index of the band holding it.
std::vector<int> dost_band_of_position(int n);

// The transform of one length; holds FFT scratch, so one per thread.
class Dost1 {
public:
    // Throws std::bad_alloc.
    explicit Dost1(int n);

    int size() const { return n_; }
    const std::vector<DostBand> &bands() const { return bands_; }

    // In place on `lot` vectors of size() values laid side by side: value
    // k of vector s at a[k * lot + s] (lot = 1: one contiguous vector).
    // Every vector gets the same numbers whatever the lot, so that the
    // band transforms of many vectors go through one batched call.
    void forward(cfloat *a, int lot = 1);
    void inverse(cfloat *a, int lot = 1);

    // A block of `values` complex values for the caller's vectors side by
    // side, kept with the transform (valid until the next call).
    cfloat *block(std::size_t values);

    // The length plus the complex values of scratch held: what a pool of
    // transforms counts.
    long long held_values() const;

private:
    // One: lot is 1, known when compiled (the loops over vectors vanish).
    template <bool One>
    void forward_lot(cfloat *a, int lot);
    template <bool One>
    void inverse_lot(cfloat *a, int lot);
    BatchFft &fft_for(int width);
    cfloat *band_scratch(int width, int lot);

    int n_;
    std::vector<DostBand> bands_;
    std::unique_ptr<BatchFft> full_;
    std::vector<int> widths_;  // distinct band widths with a plan
    std::vector<std::unique_ptr<BatchFft>> ffts_;
    std::vector<cfloat> t_;
    std::unique_ptr<cfloat[]> block_;
    std::size_t block_size_ = 0;
};

// count signals of n values each, rows of a contiguous (count x n) array,
// transformed in place. Numbers do not depend on the worker count. Throws
// Interrupted when stopped, std::bad_alloc.
void dost_rows(cfloat *a, long long count, int n, bool inverse, tools::Parallel &par);

// count images of n1 x n2 values (row-major, contiguous), transformed in
// place: the DOST along the rows, then along the columns (the inverse in
// the opposite order). real: the images' values are real (forward only),
// so rows go two to a transform and half the columns are mirrors.
void dost_images(cfloat *a, long long count, int n1, int n2, bool inverse, tools::Parallel &par,
                 bool real = false);

}  // namespace orbelix::analysis
