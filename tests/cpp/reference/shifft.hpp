// Circular shifts and the band steps of the 2-D discrete S-transform: a
// shift followed by a backward FFT, or a forward FFT followed by a shift.
#pragma once

#include <vector>

#include "fft/plans/fftpack.hpp"
#include "reference/cfft2_plan.hpp"
#include "core/view.hpp"

namespace orbelix {

// res[j] = src[(j + s) mod m] with the non-negative remainder, so a positive
// s moves elements toward lower indices. res and src must not overlap.
void cshift(View1<cfloat> res, View1<cfloat> src, int s);

// Both dimensions at once: res(i, j) = src((i + s1) mod m1, (j + s2) mod m2).
// Shifts along different dimensions commute, so one pass does both.
void cshift2(View2<cfloat> res, View2<cfloat> src, int s1, int s2);

// Band step on a vector of length m (res has the extent of src, src is only
// read). shift < 0: res = backward FFT of cshift(src, shift), unscaled.
// shift >= 0: res = cshift(forward FFT of src scaled by 1/m, shift).
// The two paths undo each other for opposite shifts. An FFT error stops the
// process.
void shifft(View1<cfloat> res, View1<cfloat> src, int shift);

// The same on an m1 x m2 block with one shift per dimension; the backward
// path is taken when either shift is negative, each shift keeping its sign.
void shifft2(View2<cfloat> res, View2<cfloat> src, int shift1, int shift2);

// shifft for many vectors of one length: the FFT tables and the scratch are
// built once. Gives exactly the numbers of shifft.
class Shifft1 {
public:
    explicit Shifft1(int m);
    void operator()(View1<cfloat> res, View1<cfloat> src, int shift);

private:
    fftpack::Cfft1Plan plan_;
    std::vector<cfloat> spectrum_;
};

// shifft2 for many blocks of one shape m1 x m2.
class Shifft2 {
public:
    Shifft2(int m1, int m2);
    void operator()(View2<cfloat> res, View2<cfloat> src, int shift1, int shift2);

private:
    fftpack::Cfft2Plan plan_;
    std::vector<cfloat> spectrum_;
    int m1_;
    int m2_;
};

}  // namespace orbelix
