// FFT front-end: whole-array transforms in place, and reusable plans for
// callers that transform many arrays of one size.
//
// Direction "f" is forward and scaled by 1/n, "b" backward and unscaled;
// spectra are in natural order. Any other first character throws Refused
// and leaves the array untouched.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "fft/kernels/first_sweep.hpp"
#include "core/simd/isa.hpp"
#include "core/view.hpp"

namespace orbelix::fftpack {

// Whether dir asks for the forward transform; throws Refused for any other
// than "f" and "b".
bool forward_direction(const char *dir);

// Tables and scratch for one transform length. A plan gives exactly the
// numbers cfft1_ gives, since the tables depend on the length alone.
class Cfft1Plan {
public:
    // n <= 0 gives an empty plan. Throws std::bad_alloc.
    explicit Cfft1Plan(int n);

    int size() const { return n_; }
    // Transforms c (extent size()) in place.
    void transform(const char *dir, View1<cfloat> c);

    // For a plan that transforms many arrays: the first sweep's twiddles in
    // the order it reads them, and a padded input layout, where they pay
    // (first_sweep.hpp). Same numbers.
    void prepare_first_sweep();
    // The padded input layout transform_padded() takes: 0 segments if none
    // (or if the SIMD path in use is not the one it was prepared on).
    PaddedInput padded_input() const;
    // Transforms the input laid out in buf as padded_input() says; the
    // result is left in buf[0 .. size()), contiguous, with the numbers of
    // transform(). Segments whose bit is set in zero_segments are taken as
    // all +0 and not read: the caller need not write them. Throws Refused
    // when the plan has no such layout.
    void transform_padded(const char *dir, cfloat *buf, unsigned zero_segments = 0);

private:
    int n_;
    std::unique_ptr<float[]> wsave_;
    std::unique_ptr<float[]> work_;
    std::vector<float> fused_table_, single_table_;
    PaddedInput padded_;
    simd::Isa padded_isa_ = simd::Isa::sse2;

    // The first sweep with the block tables, where there are.
    FirstSweep sweep(std::ptrdiff_t gap, unsigned zero_segments) const;
    // One contiguous sequence straight through the passes.
    void run(bool forward, cfloat *c, const FirstSweep &sweep);
    int work_len_ = 0;
    void reserve_work(long long floats);
};

// One-dimensional transform of the whole view c, in place. Strided views are
// transformed through a contiguous copy; an empty view is left alone.
void cfft1_(const char *dir, View1<cfloat> c);

}  // namespace orbelix::fftpack
