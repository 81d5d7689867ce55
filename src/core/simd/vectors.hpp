// The SIMD vocabulary of every kernel: N lanes of one element type in one
// register, as the GCC and Clang vector extensions give them. Arithmetic on
// them is lane by lane, each lane the same float operation as on one float,
// so a kernel over vectors gives the bits of its scalar form. Kernels are
// written once over these types and compiled per path (paths.hpp).
#pragma once

#include <cstdint>
#include <cstring>

#include "core/simd/paths.hpp"

namespace orbelix::simd {

template <class T, int N>
struct VectorOf {
    typedef T type __attribute__((vector_size(N * sizeof(T))));
};

// N lanes of T.
template <class T, int N>
using vec = typename VectorOf<T, N>::type;

template <int N>
using floats = vec<float, N>;
template <int N>
using int32s = vec<std::int32_t, N>;
template <int N>
using uint32s = vec<std::uint32_t, N>;
// N 64-bit lanes, one complex value each: for moving values between
// registers and memory without touching their bits.
template <int N>
using values = vec<double, N>;
template <int N>
using int64s = vec<long long, N>;

// The vector at p, at any alignment.
template <class V>
ORBELIX_INLINE inline V load(const void *p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Stores v at p, at any alignment.
template <class V>
ORBELIX_INLINE inline void store(void *p, V v) {
    std::memcpy(p, &v, sizeof v);
}

}  // namespace orbelix::simd
