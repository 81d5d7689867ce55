// Where the first sweep of one contiguous sequence (the first pass, or the
// first pair of passes fused) finds its twiddles and its input.
//
// In wsave the twiddles of a pass lie in P-1 rows of cosines and as many of
// sines, IDO apart; the first sweep reads them W groups at a time from 2(P-1)
// rows at once (2(Q(P-1) + Q-1) places for a fused pair of radices P and Q),
// and where IDO is a multiple of 1024 those streams share one set of the
// first-level cache with each other and with the input. A plan may instead
// hand over the same values copied in the order the sweep reads them (block
// tables, one stream).
//
// A plan may also lay its input out in segments with a gap after each, so
// that the P (or P*Q) input streams of the sweep, IDO (or IDO/Q) apart, do
// not share a cache set either. Only the sweep reads that layout; every
// later pass writes and reads contiguous values as before.
//
// Same values, same operations: the numbers do not change.
#pragma once

#include <cstddef>
#include <vector>

#include "fft/kernels/kernel_isa.hpp"
#include "fft/kernels/pass_layout.hpp"

namespace orbelix::fftpack {

// Groups per block of a block table; the sweeps' register widths divide it.
constexpr int kTableBlock = 4;

// A padded input layout: `segments` runs of n/segments values, each
// followed by `gap` values left alone. 0 segments: no padded input.
struct PaddedInput {
    int segments = 0;
    int gap = 0;
    // Values the layout spans.
    long long extent(int n) const { return n + static_cast<long long>(segments) * gap; }
};

struct FirstSweep {
    const float *fused_table = nullptr;   // for the first pair fused, or null
    const float *single_table = nullptr;  // for the first pass alone, or null
    std::ptrdiff_t gap = 0;  // values left out after each input segment
    // Bit q: segment q of a padded input is all +0 and was not written; the
    // sweep takes +0 for it instead of reading it (the same operations on
    // the same values).
    unsigned zero_segments = 0;
};

// The twiddles of the sweep as wsave holds them. A's twiddle of output j for
// group i' + idb*m' and B's of output j' for group i'.
struct RowTwiddles {
    Twiddles a, b;
    int idb;

    ORBELIX_INLINE const float *a_cos(int mq, int j, int i) const { return a.cos_row(j) + i + idb * mq; }
    ORBELIX_INLINE const float *a_sin(int mq, int j, int i) const { return a.sin_row(j) + i + idb * mq; }
    ORBELIX_INLINE const float *b_cos(int jq, int i) const { return b.cos_row(jq) + i; }
    ORBELIX_INLINE const float *b_sin(int jq, int i) const { return b.sin_row(jq) + i; }
};

// The same twiddles from a block table: groups from First in blocks of
// kTableBlock; per block, its rows (A's for m' = 0 .. Q-1 and j = 1 .. P-1,
// then B's for j' = 1 .. Q-1), each kTableBlock cosines then as many sines.
// Q = 1 for a single pass.
template <int P, int Q, int First>
struct BlockTwiddles {
    static constexpr int kRows = Q * (P - 1) + (Q - 1);
    const float *table;

    ORBELIX_INLINE const float *at(int row, int i) const {
        const int u = i - First;
        return table + static_cast<std::ptrdiff_t>(u / kTableBlock) * (kRows * 2 * kTableBlock) +
               2 * kTableBlock * row + u % kTableBlock;
    }
    ORBELIX_INLINE const float *a_cos(int mq, int j, int i) const { return at(mq * (P - 1) + j - 1, i); }
    ORBELIX_INLINE const float *a_sin(int mq, int j, int i) const { return a_cos(mq, j, i) + kTableBlock; }
    ORBELIX_INLINE const float *b_cos(int jq, int i) const { return at(Q * (P - 1) + jq - 1, i); }
    ORBELIX_INLINE const float *b_sin(int jq, int i) const { return b_cos(jq, i) + kTableBlock; }
};

// Block tables of length n's first pair of passes (radices p and q, empty if
// n has fewer than three factors or the pair has a radix above 5) and of its
// first pass alone (empty if n has one factor or a first radix above 5),
// from wsave as cfft1i builds it.
std::vector<float> fused_sweep_table(int n, const float *wsave);
std::vector<float> single_sweep_table(int n, const float *wsave);

}  // namespace orbelix::fftpack
