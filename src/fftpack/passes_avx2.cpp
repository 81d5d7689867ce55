// The pass chains of the avx2 path, for every layout the drivers use.
#if !defined(__AVX2__) || defined(__AVX512F__)
#error "passes_avx2.cpp needs -mavx2 (and no AVX-512 flags): see CMakeLists.txt"
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
