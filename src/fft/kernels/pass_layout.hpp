// Addressing shared by the radix kernels of one pass.
//
// A pass of radix p with L1 and IDO = N/(L1*p) reads input element (k, i, m)
// at k + L1*(i + IDO*m) and writes output element (k, j, i) at
// k + L1*(j + p*i); chaining passes with growing L1 sorts the spectrum into
// natural order. The same element index addresses every sequence s of a
// batch.
//
// The kernels take the layout as a type, so the common unit strides are
// known to the compiler. get<V>/put read and write one value (V = cfloat)
// or the values of W neighbouring sequences s .. s+W-1 at once
// (V = cvec<W>) where the layout keeps them side by side (kSideBySide), or
// W neighbouring elements of one contiguous sequence.
//
// The layouts are shared by every SIMD path (the drivers take them as
// arguments); their members are forced inline so that no path's copy is
// ever emitted out of line for another to pick up.
#pragma once

#include <cstddef>
#include <type_traits>

#include "fft/kernels/kernel_isa.hpp"
#include "core/view.hpp"

namespace orbelix::fftpack {

// Any layout: both strides at run time.
struct Seqs {
    static constexpr bool kSideBySide = false;
    cfloat *p;
    std::ptrdiff_t seq;   // distance between sequences, in complex elements
    std::ptrdiff_t elem;  // distance between elements of one sequence

    ORBELIX_INLINE cfloat &operator()(std::ptrdiff_t s, std::ptrdiff_t e) const {
        return p[s * seq + e * elem];
    }
    template <class V>
    ORBELIX_INLINE V get(std::ptrdiff_t s, std::ptrdiff_t e) const { return (*this)(s, e); }
    ORBELIX_INLINE void put(std::ptrdiff_t s, std::ptrdiff_t e, cfloat v) const { (*this)(s, e) = v; }
};

// One contiguous sequence.
struct Contiguous {
    static constexpr bool kSideBySide = false;
    cfloat *p;

    ORBELIX_INLINE cfloat &operator()(std::ptrdiff_t, std::ptrdiff_t e) const { return p[e]; }
    // Vectors hold neighbouring elements here.
    template <class V>
    ORBELIX_INLINE V get(std::ptrdiff_t, std::ptrdiff_t e) const {
        if constexpr (std::is_same_v<V, cfloat>)
            return p[e];
        else
            return V::load(p + e);
    }
    template <class V>
    ORBELIX_INLINE void put(std::ptrdiff_t, std::ptrdiff_t e, V v) const {
        if constexpr (std::is_same_v<V, cfloat>)
            p[e] = v;
        else
            v.store(p + e);
    }
};

// Sequences side by side, element e of sequence s at s + e*elem.
struct Interleaved {
    static constexpr bool kSideBySide = true;
    cfloat *p;
    std::ptrdiff_t elem;

    ORBELIX_INLINE cfloat &operator()(std::ptrdiff_t s, std::ptrdiff_t e) const {
        return p[s + e * elem];
    }
    template <class V>
    ORBELIX_INLINE V get(std::ptrdiff_t s, std::ptrdiff_t e) const {
        if constexpr (std::is_same_v<V, cfloat>)
            return p[s + e * elem];
        else
            return V::load(p + s + e * elem);
    }
    template <class V>
    ORBELIX_INLINE void put(std::ptrdiff_t s, std::ptrdiff_t e, V v) const {
        if constexpr (std::is_same_v<V, cfloat>)
            p[s + e * elem] = v;
        else
            v.store(p + s + e * elem);
    }
};

// Twiddle block WA(IDO, p-1, 2) of one pass: cos and sin of entry (i, j),
// 0-based i and j = 1..p-1.
struct Twiddles {
    const float *wa;
    int ido;
    int ip;

    ORBELIX_INLINE const float *cos_row(int j) const { return wa + ido * (j - 1); }
    ORBELIX_INLINE const float *sin_row(int j) const { return wa + ido * (j - 1 + (ip - 1)); }
    ORBELIX_INLINE float cos(int i, int j) const { return cos_row(j)[i]; }
    ORBELIX_INLINE float sin(int i, int j) const { return sin_row(j)[i]; }
};

// Kernel instances: Many = false handles one sequence (the batch loop
// disappears), Many = true a batch of `lot` sequences with the batch loop
// innermost.
template <bool Many>
constexpr int batch(int lot) { return Many ? lot : 1; }

}  // namespace orbelix::fftpack
