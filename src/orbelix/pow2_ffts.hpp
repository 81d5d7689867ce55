// Batched FFTs of every power-of-two length up to a side n, for the 2-D
// discrete S-transform: the tables are built once per call of the
// transform, and one work array and one gather buffer serve every batch.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "view.hpp"

namespace orbelix {

class Pow2Ffts {
public:
    // Tables for the lengths 2, 4, ..., n (n a power of two).
    explicit Pow2Ffts(int n);

    // Complex values of one batch: with the engine's work array beside it
    // a batch stays within the core's L2.
    static constexpr int kBatchValues = 1 << 15;

    // lot sequences of length len (a power of two up to n) in place:
    // element q of sequence s at data[s*jump + q*inc]. Forward is scaled by
    // 1/len, backward unscaled, each sequence with exactly the arithmetic of
    // a single transform of that length. Length 1 leaves data alone.
    void run(bool forward, int len, cfloat *data, int lot, std::ptrdiff_t jump,
             std::ptrdiff_t inc);

    // How many of `count` sequences of length len make one batch: at least
    // `least` (if there are so many), else as many as kBatchValues allows.
    static int batch(int len, int count, int least = 1);

    // A gather buffer of at least `values` complex values, kept between calls.
    cfloat *scratch(std::size_t values);

    // Every column of block (unit row stride, length block.n1) in place.
    void columns(bool forward, View2<cfloat> block);

    // Every row of `from` (unit row stride, length from.n2) transformed into
    // the same row of `to` (the same shape; `from` itself or apart from it),
    // a batch of rows at a time through the gather buffer.
    void rows(bool forward, View2<const cfloat> from, View2<cfloat> to);

private:
    int n_;
    std::vector<std::unique_ptr<float[]>> tables_;  // index: log2 of the length
    std::vector<int> table_floats_;
    std::unique_ptr<float[]> work_;
    long long work_floats_ = 0;
    std::vector<cfloat> scratch_;
};

}  // namespace orbelix
