// The weights in frequency of windows given by a shape in time: the DFT on
// the circle of a short run of the shape's samples, formed only over the
// bin offsets a voice reads.
#pragma once

#include <complex>
#include <map>
#include <memory>
#include <vector>

#include "core/view.hpp"
#include "fft/plans/transform_plan.hpp"

namespace orbelix::tools {

// One voice's window: the shape's samples s_j at the lags j = first ..
// first + count - 1 (in samples; every lag of the circle lies in
// -floor(n/2) .. ceil(n/2) - 1), and 0 at the circle's other lags. im is
// null for a real shape.
struct ShapeRun {
    int bin = 0;  // the voice's bin k, 1 .. n/2
    int first = 0;
    int count = 0;
    const double *re = nullptr;
    const double *im = nullptr;
};

// Weights below this fraction of the weight at offset 0 (1) are dropped
// from the ends of a voice's range. A dropped weight W[d] removes A[k+d] W[d]
// from the voice's spectrum, so by Parseval the voice changes by at most
// this fraction of the analytic signal's root mean square (in units where a
// tone of amplitude 1 gives |S| = 1): no more than the rounding of the
// single-precision weights themselves.
constexpr float kWeightTrim = 0x1p-24f;

// Builds voices' weights for signals of n samples; one per worker thread.
class WeightBuilder {
public:
    explicit WeightBuilder(int n);

    // W[d] = sum_j s_j e^(-2 pi i j d / n) / sum_j s_j over the offsets the
    // voice reads, -k <= d <= n/2 - k, into w[d + k] (n/2 + 1 values); lo
    // and hi are the offsets left once both ends are trimmed by
    // kWeightTrim. Throws std::domain_error unless every sample is finite
    // and their sum finite and non-zero.
    //
    // With n = r M and d = p + r m (mod n), W[p + r m] is the M-point DFT of
    // the samples modulated by e^(-2 pi i j p / n) and placed at j mod M: M
    // is the smallest divisor of n with at least four times the samples
    // (when the radix passes take it; else n), so the voice costs r
    // transforms of M points and r modulations of its samples. A real shape
    // has W[-d] = conj(W[d]): residues up to r/2 do.
    // The modulations advance from residue to residue by e^(-2 pi i j / n),
    // in double.
    void build(const ShapeRun &s, cfloat *w, int &lo, int &hi);

    // The transform length build() uses for a run of `count` samples.
    int transform_length(int count) const;

private:
    fftpack::TransformPlan &plan(int m);

    int n_;
    std::vector<int> lengths_;  // divisors of n the radix passes take, increasing
    std::map<int, std::unique_ptr<fftpack::TransformPlan>> plans_;
    std::vector<cfloat> buf_;
    std::vector<double> columns_;  // six values a sample (build())
};

}  // namespace orbelix::tools
