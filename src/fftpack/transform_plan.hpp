// The transform plan of the library's own callers (the S-transforms and the
// analysis package): one length, any length, in O(n log n).
//
// Lengths whose factors the radix passes handle cheaply give exactly the
// numbers of cfft1_; lengths with a large prime factor go through a chirp-z
// transform on a smooth inner length (different rounding, same accuracy
// class). The public engine routines never take this path.
#pragma once

#include "fftpack/fftpack.hpp"

namespace orbelix::fftpack {

class TransformPlan {
public:
    // Throws std::bad_alloc when the tables cannot be allocated.
    explicit TransformPlan(int n);

    int size() const { return direct_.size(); }
    // ier of building the tables (0 on success).
    int init_error() const { return direct_.init_error(); }
    // Whether this length is transformed through the chirp-z path.
    bool uses_chirp() const { return false; }
    // Transforms c (extent size()) in place, "f" scaled by 1/n and "b"
    // unscaled, as cfft1_; returns ier.
    int transform(const char *dir, View1<cfloat> c) { return direct_.transform(dir, c); }

private:
    Cfft1Plan direct_;
};

}  // namespace orbelix::fftpack
