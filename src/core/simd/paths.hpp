// Kernels compiled once per instruction set, and the one way of calling
// them.
//
// A kernel file is written once and compiled for each path by the build's
// orbelix_add_isa_kernels (cmake/isa_kernels.cmake), which checks the
// compiler's flags in one place. Each copy defines its functions in a
// namespace named after its path (ORBELIX_KERNEL_ISA: sse2, avx2 or avx512,
// read from the target flags), so no two copies share a symbol and the
// linker never merges the AVX2 copy of an inline function with the portable
// one. The code that calls them declares every copy with
// ORBELIX_DECLARE_PATHS and picks one with ORBELIX_ON_PATH. Where the CPU
// is not x86-64 only the portable copy (named sse2, the path every CPU runs)
// is built.
#pragma once

#if defined(__x86_64__)
#define ORBELIX_WIDE_PATHS 1
#else
#define ORBELIX_WIDE_PATHS 0
#endif

#if defined(__AVX512F__) && defined(__AVX512DQ__) && defined(__AVX512VL__)
#define ORBELIX_KERNEL_ISA avx512
#define ORBELIX_KERNEL_FLOATS 16
#elif defined(__AVX2__)
#define ORBELIX_KERNEL_ISA avx2
#define ORBELIX_KERNEL_FLOATS 8
#else
#define ORBELIX_KERNEL_ISA sse2
#define ORBELIX_KERNEL_FLOATS 4
#endif

// The bodies are small loops called once per group; they must be inlined
// into the group loops or the call costs more than the work. Inlining also
// keeps helpers shared by all paths from being emitted out of line.
#define ORBELIX_INLINE __attribute__((always_inline))

// Declares the same functions (or function templates) in the namespace of
// every path, inside the current namespace.
#if ORBELIX_WIDE_PATHS
#define ORBELIX_DECLARE_PATHS(...)  \
    namespace sse2 {                \
    __VA_ARGS__;                    \
    }                               \
    namespace avx2 {                \
    __VA_ARGS__;                    \
    }                               \
    namespace avx512 {              \
    __VA_ARGS__;                    \
    }
#else
#define ORBELIX_DECLARE_PATHS(...) \
    namespace sse2 {               \
    __VA_ARGS__;                   \
    }
#endif

// The call written after the path argument, made to the copy of path isa
// (a simd::Isa); an expression of the call's type.
#if ORBELIX_WIDE_PATHS
#define ORBELIX_ON_PATH(isa, ...)                                             \
    ((isa) == ::orbelix::simd::Isa::avx512 ? avx512::__VA_ARGS__              \
     : (isa) == ::orbelix::simd::Isa::avx2 ? avx2::__VA_ARGS__ : sse2::__VA_ARGS__)
#else
#define ORBELIX_ON_PATH(isa, ...) ((void)(isa), sse2::__VA_ARGS__)
#endif
