// The pass chains of the avx512 path, for every layout the drivers use.
#if !defined(__AVX512F__) || !defined(__AVX512DQ__) || !defined(__AVX512VL__)
#error "passes_avx512.cpp needs -mavx512f -mavx512dq -mavx512vl: see CMakeLists.txt"
#endif

#include "fftpack/pass_chain.hpp"

namespace orbelix::fftpack {
inline namespace ORBELIX_KERNEL_ISA {

#define ORBELIX_INSTANTIATE(Fwd, Many, S) \
    template void run_passes<Fwd, Many, S>(int, int, S, S, const float *);
ORBELIX_INSTANTIATE(true, false, Contiguous)
ORBELIX_INSTANTIATE(false, false, Contiguous)
ORBELIX_INSTANTIATE(true, false, Seqs)
ORBELIX_INSTANTIATE(false, false, Seqs)
ORBELIX_INSTANTIATE(true, true, Interleaved)
ORBELIX_INSTANTIATE(false, true, Interleaved)
ORBELIX_INSTANTIATE(true, true, Seqs)
ORBELIX_INSTANTIATE(false, true, Seqs)
#undef ORBELIX_INSTANTIATE

}  // namespace ORBELIX_KERNEL_ISA
}  // namespace orbelix::fftpack
