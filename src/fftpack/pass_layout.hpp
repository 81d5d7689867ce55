// Addressing shared by the radix kernels of one pass.
//
// A pass of radix p with L1 and IDO = N/(L1*p) reads input element (k, i, m)
// at k + L1*(i + IDO*m) and writes output element (k, j, i) at
// k + L1*(j + p*i); chaining passes with growing L1 sorts the spectrum into
// natural order. The same element index addresses every sequence s of a
// batch.
//
// The kernels take the layout as a type, so the common unit strides are
// known to the compiler. get<V>/put read and write one value (V = cfloat) or
// the values of sequences s and s+1 at once (V = cpair) where the layout
// keeps them side by side (kLanes = 2).
#pragma once

#include <cstddef>

#include "fftpack/complex_ops.hpp"
#include "view.hpp"

namespace orbelix::fftpack {

// Any layout: both strides at run time.
struct Seqs {
    static constexpr int kLanes = 1;
    cfloat *p;
    std::ptrdiff_t seq;   // distance between sequences, in complex elements
    std::ptrdiff_t elem;  // distance between elements of one sequence

    cfloat &operator()(std::ptrdiff_t s, std::ptrdiff_t e) const { return p[s * seq + e * elem]; }
    template <class V>
    V get(std::ptrdiff_t s, std::ptrdiff_t e) const { return (*this)(s, e); }
    void put(std::ptrdiff_t s, std::ptrdiff_t e, cfloat v) const { (*this)(s, e) = v; }
};

// One contiguous sequence.
struct Contiguous {
    static constexpr int kLanes = 1;
    cfloat *p;

    cfloat &operator()(std::ptrdiff_t, std::ptrdiff_t e) const { return p[e]; }
    template <class V>
    V get(std::ptrdiff_t, std::ptrdiff_t e) const { return p[e]; }
    void put(std::ptrdiff_t, std::ptrdiff_t e, cfloat v) const { p[e] = v; }
};

// Sequences side by side, element e of sequence s at s + e*elem.
struct Interleaved {
    static constexpr int kLanes = 2;
    cfloat *p;
    std::ptrdiff_t elem;

    cfloat &operator()(std::ptrdiff_t s, std::ptrdiff_t e) const { return p[s + e * elem]; }
    template <class V>
    V get(std::ptrdiff_t s, std::ptrdiff_t e) const {
        if constexpr (sizeof(V) == sizeof(cpair))
            return load_pair(p + s + e * elem);
        else
            return p[s + e * elem];
    }
    void put(std::ptrdiff_t s, std::ptrdiff_t e, cfloat v) const { p[s + e * elem] = v; }
    void put(std::ptrdiff_t s, std::ptrdiff_t e, cpair v) const { store_pair(p + s + e * elem, v); }
};

// Twiddle block WA(IDO, p-1, 2) of one pass: cos and sin of entry (i, j),
// 0-based i and j = 1..p-1.
struct Twiddles {
    const float *wa;
    int ido;
    int ip;

    float cos(int i, int j) const { return wa[i + ido * (j - 1)]; }
    float sin(int i, int j) const { return wa[i + ido * (j - 1 + (ip - 1))]; }
};

// Kernel instances: Many = false handles one sequence (the batch loop
// disappears), Many = true a batch of `lot` sequences with the batch loop
// innermost.
template <bool Many>
constexpr int batch(int lot) { return Many ? lot : 1; }

}  // namespace orbelix::fftpack
