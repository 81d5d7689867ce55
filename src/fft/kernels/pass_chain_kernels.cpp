// The pass chains of one SIMD path, instantiated for every layout the
// drivers use; compiled once per path (ORBELIX_KERNEL_ISA names the path's
// inline namespace).

#include "fft/kernels/pass_chain.hpp"

namespace orbelix::fftpack {
inline namespace ORBELIX_KERNEL_ISA {

#define ORBELIX_INSTANTIATE(Fwd, Many, S) \
    template void run_passes<Fwd, Many, S>(int, int, S, S, const float *, bool, const FirstSweep &);
ORBELIX_INSTANTIATE(true, false, Contiguous)
ORBELIX_INSTANTIATE(false, false, Contiguous)
ORBELIX_INSTANTIATE(true, false, Seqs)
ORBELIX_INSTANTIATE(false, false, Seqs)
ORBELIX_INSTANTIATE(true, true, Interleaved)
ORBELIX_INSTANTIATE(false, true, Interleaved)
ORBELIX_INSTANTIATE(true, true, Seqs)
ORBELIX_INSTANTIATE(false, true, Seqs)
#undef ORBELIX_INSTANTIATE

int first_sweep_segments(int n, const float *wsave, std::ptrdiff_t gap) {
    return padded_input_segments(n, wsave, gap);
}

}  // namespace ORBELIX_KERNEL_ISA
}  // namespace orbelix::fftpack
