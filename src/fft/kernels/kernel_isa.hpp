// The register width of the radix kernels on the path this translation unit
// is compiled for (core/simd/paths.hpp names the path's namespace).
#pragma once

#include "core/simd/paths.hpp"

namespace orbelix::fftpack {
inline namespace ORBELIX_KERNEL_ISA {

// Complex values per register in the passes. The AVX-512 path keeps four:
// eight per register ran slower (512-bit shuffles and stores cost more than
// they gain), while AVX-512's encoding of 256-bit operations, with 32
// registers, spills less than AVX2.
#if defined(__AVX2__)
constexpr int kWidest = 4;
#else
constexpr int kWidest = 2;
#endif

}  // namespace ORBELIX_KERNEL_ISA
}  // namespace orbelix::fftpack
