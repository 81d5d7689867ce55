/* Kernels that measure the machine's floor for bench_floor.py, which
 * compiles this file into a shared library and calls it through ctypes.
 *
 * peak_<bits>(iters, m, a): 6 (16 registers) or 8 (32 registers) independent
 * chains of multiplies and as many of adds, each chain one vector of
 * <bits>/32 floats, so that both kinds of pipe stay busy without waiting on
 * a result. Multiplies and adds stay separate (no fused multiply-add), as in
 * the library's kernels. Called with m = 1 and a = 0 the values never change
 * (no denormals, nothing to overflow); the compiler cannot know that, so
 * every operation runs. Returns the sum of the chains.
 *
 * stream_fill(p, count): count floats (a multiple of 4, p 16-byte aligned)
 * written with 16-byte streaming stores, as the library stores its large
 * results, then a store fence. */
#include <stddef.h>
#include <emmintrin.h>

#define PEAK_KERNEL(name, isa, bits, chains)                                          \
    __attribute__((target(isa))) float name(long iters, float m, float a) {           \
        typedef float v __attribute__((vector_size(bits / 8)));                          \
        v x[chains], y[chains];                                                          \
        for (int c = 0; c < chains; ++c)                                                 \
            for (int l = 0; l < bits / 32; ++l) {                                        \
                x[c][l] = 1.0f + 0.125f * c;                                             \
                y[c][l] = 2.0f + 0.125f * c;                                             \
            }                                                                            \
        for (long i = 0; i < iters; ++i) {                                               \
            _Pragma("GCC unroll 8") for (int c = 0; c < chains; ++c) {                   \
                x[c] = x[c] * m;                                                         \
                y[c] = y[c] + a;                                                         \
            }                                                                            \
        }                                                                                \
        float s = 0.0f;                                                                  \
        for (int c = 0; c < chains; ++c)                                                 \
            for (int l = 0; l < bits / 32; ++l) s += x[c][l] + y[c][l];                  \
        return s;                                                                        \
    }

PEAK_KERNEL(peak_128, "sse2", 128, 6)
PEAK_KERNEL(peak_256, "avx2", 256, 6)
PEAK_KERNEL(peak_512, "avx512f", 512, 8)

void stream_fill(float *p, size_t count) {
    const __m128 v = _mm_set1_ps(1.0f);
    for (size_t i = 0; i < count; i += 4) _mm_stream_ps(p + i, v);
    _mm_sfence();
}
