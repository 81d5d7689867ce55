// Batched FFTs of every power-of-two length up to a side n, for the 2-D
// discrete S-transform: the tables are built once per call of the
// transform, and one work array and one gather buffer serve every batch.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

#include "view.hpp"

namespace orbelix {

// Copies m values. Inline in blocks of four: the runs the gathers copy are
// short and many, where a library call per run costs more than the copy.
inline void copy_run(const cfloat *from, int m, cfloat *to) {
    int i = 0;
    for (; i + 4 <= m; i += 4) std::memcpy(to + i, from + i, 4 * sizeof(cfloat));
    for (; i < m; ++i) to[i] = from[i];
}

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

    // Every row of a (unit row stride, length a.n2) in place, batches of
    // about kRowBatchValues values: the engine reads and writes the rows
    // where they lie, and such a batch measured fastest for long rows.
    static constexpr int kRowBatchValues = 1 << 18;
    void rows(bool forward, View2<cfloat> a);

private:
    int n_;
    std::vector<std::unique_ptr<float[]>> tables_;  // index: log2 of the length
    std::vector<int> table_floats_;
    std::unique_ptr<float[]> work_;
    long long work_floats_ = 0;
    std::vector<cfloat> scratch_;
};

}  // namespace orbelix
