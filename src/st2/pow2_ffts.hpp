// Batched FFTs of power-of-two lengths for the 2-D discrete S-transform.
// Each thread keeps one set of tables, one work array and one gather buffer
// across calls, so a transform neither rebuilds tables nor touches fresh
// pages once its sizes have been seen.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

#include "core/interrupt.hpp"
#include "core/view.hpp"

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
    // This thread's instance.
    static Pow2Ffts &of_this_thread();

    // Complex values of one gathered batch: with the engine's work array
    // beside it a batch stays within the core's L2.
    static constexpr int kBatchValues = 1 << 15;
    // Complex values of one batch of long rows transformed where they lie:
    // enough rows that each cache line read serves several of them, few
    // enough that the batch stays in the caches from one pass to the next.
    static constexpr int kRowBatchValues = 1 << 18;

    // lot sequences of length len (a power of two, at most 2^30) in place:
    // element q of sequence s at data[s*jump + q*inc]. Forward is scaled by
    // 1/len, backward unscaled, each sequence with exactly the arithmetic of
    // a single transform of that length. Length 1 leaves data alone.
    void run(bool forward, int len, cfloat *data, int lot, std::ptrdiff_t jump,
             std::ptrdiff_t inc);

    // How many of `count` sequences of length len make one gathered batch
    // (at least 1).
    static int batch(int len, int count);

    // The gather buffer, at least `values` complex values.
    cfloat *scratch(std::size_t values);

    // step(first, m, t) for the items from .. from+count-1 (count >= 1) of
    // sequences of length len, a batch(len, count) of them at a time, with
    // the gather buffer t for a whole batch. Polled between batches, where
    // the buffer is free: a signal handler run by the poll may itself
    // transform on this thread.
    template <class Step>
    void in_batches(int len, int from, int count, Step step) {
        const int lot = batch(len, count);
        for (int first = from; first < from + count; first += lot) {
            poll_interrupt();
            cfloat *t = scratch(static_cast<std::size_t>(lot) * len);
            step(first, std::min(lot, from + count - first), t);
        }
    }

    // Every column of block (unit row stride, length block.n1) in place.
    void columns(bool forward, View2<cfloat> block);

    // Every row of a (unit row stride, length a.n2) in place, batches of
    // about kRowBatchValues values where the rows lie.
    void rows(bool forward, View2<cfloat> a);

private:
    Pow2Ffts() = default;
    const float *table(int log2_len);

    std::vector<std::unique_ptr<float[]>> tables_;  // index: log2 of the length
    std::unique_ptr<float[]> work_;
    long long work_floats_ = 0;
    std::unique_ptr<cfloat[]> scratch_;
    std::size_t scratch_values_ = 0;
};

}  // namespace orbelix
