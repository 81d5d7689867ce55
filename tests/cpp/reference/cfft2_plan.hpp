// The 2-D transform of a whole view through the engine's C routines, the
// oracle of the 2-D S-transform tests and of the 2-D front-end tests.
#pragma once

#include <memory>

#include "core/view.hpp"

namespace orbelix::fftpack {

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

// Two-dimensional transform of the whole view c, in place. An empty array
// returns ier = 0; an array with 2*l*m above the 32-bit range gives ier = 30.
void cfft2_(const char *dir, View2<cfloat> c, int &ier);

}  // namespace orbelix::fftpack
