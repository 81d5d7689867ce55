// FFT front-end: whole-array transforms in place, and reusable plans for
// callers that transform many arrays of one size.
//
// Direction "f" is forward and scaled by 1/n, "b" backward and unscaled;
// spectra are in natural order. Any other first character gives ier = 1 and
// leaves the array untouched.
#pragma once

#include <memory>

#include "fftpack/first_sweep.hpp"
#include "view.hpp"

namespace orbelix::fftpack {

// Tables and scratch for one transform length. A plan gives exactly the
// numbers cfft1_ gives, since the tables depend on the length alone.
class Cfft1Plan {
public:
    explicit Cfft1Plan(int n);

    int size() const { return n_; }
    // ier of building the tables (0 on success).
    int init_error() const { return init_ier_; }
    // Transforms c (extent size()) in place; returns ier.
    int transform(const char *dir, View1<cfloat> c);

    // wsave of this length (null for n = 0).
    const float *table() const { return wsave_.get(); }
    // The same transform of size() >= 2 contiguous values at c, the first
    // sweep as `sweep` says (first_sweep.hpp; a padded input ends
    // contiguous). The plan must have built its table without error.
    void transform_contiguous(bool forward, cfloat *c, const FirstSweep &sweep);

private:
    int n_;
    int lensav_;
    int init_ier_ = 0;
    std::unique_ptr<float[]> wsave_;
    std::unique_ptr<float[]> work_;
    int work_len_ = 0;
    void reserve_work(long long floats);
};

// Two-dimensional tables and scratch for an l x m array.
class Cfft2Plan {
public:
    Cfft2Plan(int l, int m);

    int init_error() const { return init_ier_; }
    // Transforms c (extents l x m) in place; returns ier.
    int transform(const char *dir, View2<cfloat> c);

private:
    int l_, m_;
    int lensav_ = 0;
    int lenwrk_ = 0;  // scratch for one batch of rows or columns
    int init_ier_ = 0;
    std::unique_ptr<float[]> wsave_;
    std::unique_ptr<float[]> work_;
};

// One-dimensional transform of the whole view c, in place. Strided views are
// transformed through a contiguous copy; an empty view returns ier = 0.
void cfft1_(const char *dir, View1<cfloat> c, int &ier);

// Two-dimensional transform of the whole view c, in place. An empty array
// returns ier = 0; an array with 2*l*m above the 32-bit range gives ier = 30.
void cfft2_(const char *dir, View2<cfloat> c, int &ier);

}  // namespace orbelix::fftpack
