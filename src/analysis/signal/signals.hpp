// The input signals as the caller holds them: real or complex, single or
// double precision, any strides. Each worker converts one signal at a time
// into its own complex64 scratch, so no converted copy of the whole input
// is ever made.
#pragma once

#include <cstddef>

#include "core/view.hpp"

namespace orbelix::tools {

enum class SampleType { float32, float64, complex64, complex128 };

// outer x inner signals of n samples; strides count elements of `type`
// (a complex value is one element).
struct Signals {
    const void *data = nullptr;
    SampleType type = SampleType::complex64;
    int outer = 1, inner = 1, n = 0;
    std::ptrdiff_t outer_stride = 0, inner_stride = 0, sample_stride = 1;

    int count() const { return outer * inner; }
    // Signal i = o*inner + j, rounded to single precision as NumPy's
    // conversion to complex64 rounds it (imaginary part 0 for real input).
    void load(int i, cfloat *out) const;
};

}  // namespace orbelix::tools
