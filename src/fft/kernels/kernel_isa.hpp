// The instruction set the radix kernels of this translation unit are
// compiled for, read from the compiler's target flags.
//
// The kernel headers are compiled once per path (passes_sse2.cpp,
// passes_avx2.cpp, passes_avx512.cpp). Each copy lives in its own inline
// namespace named after its path, so the linker never merges the AVX2 copy
// of an inline function with the portable one, and kWidest tells the
// kernels how many complex values fit in one register.
#pragma once

#if defined(__AVX512F__) && defined(__AVX512DQ__) && defined(__AVX512VL__)
#define ORBELIX_KERNEL_ISA avx512
#elif defined(__AVX2__)
#define ORBELIX_KERNEL_ISA avx2
#else
#define ORBELIX_KERNEL_ISA sse2
#endif

// The bodies are small loops called once per group; they must be inlined
// into the group loops or the call costs more than the butterfly. Inlining
// also keeps helpers shared by all paths from being emitted out of line.
#define ORBELIX_INLINE __attribute__((always_inline))

namespace orbelix::fftpack {
inline namespace ORBELIX_KERNEL_ISA {

// Complex values per register in the passes. The AVX-512 path keeps four:
// on the machines measured (AMD Zen 4) eight per register ran 1.05-1.6x
// slower (512-bit shuffles and stores), while AVX-512's encoding of 256-bit
// operations, with 32 registers, runs 5-10% faster than AVX2.
#if defined(__AVX2__)
constexpr int kWidest = 4;
#else
constexpr int kWidest = 2;
#endif

}  // namespace ORBELIX_KERNEL_ISA
}  // namespace orbelix::fftpack
