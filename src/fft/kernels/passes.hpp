// The pass drivers of the engine routines, on the SIMD path chosen for the
// process (core/simd/isa.hpp): one choice per transform, then the whole chain of
// passes runs in that path's copy of the kernels (pass_chain.hpp).
//
//   drive<Fwd, false>(1, n, c, work, wsave)    one sequence
//   drive<Fwd, true>(lot, n, c, work, wsave)   a batch of `lot`
// c and work share the layout S (pass_layout.hpp); the result ends in c.
// Every path gives the same numbers.
#pragma once

#include <cstddef>

#include "fft/kernels/first_sweep.hpp"
#include "fft/kernels/kernel_isa.hpp"
#include "fft/kernels/pass_layout.hpp"
#include "core/simd/isa.hpp"
#include "core/simd/paths.hpp"

namespace orbelix::fftpack {

// Each path's run_passes, instantiated in pass_chain_kernels.cpp for the
// layouts below.
ORBELIX_DECLARE_PATHS(template <bool Fwd, bool Many, class S>
                      void run_passes(int lot, int n, S c, S work, const float *wsave, bool fuse,
                                      const FirstSweep &sweep);
                      int first_sweep_segments(int n, const float *wsave, std::ptrdiff_t gap))

// Layouts the drivers take: (Many, S) = (false, Contiguous), (false, Seqs),
// (true, Interleaved), (true, Seqs). fuse = false runs one sweep per pass
// (the plain chain the tests compare with). One contiguous sequence may
// bring block tables and a padded input for its first sweep (sweep; a
// padded input only with fuse and padded_segments() > 0).
template <bool Fwd, bool Many, class S>
void drive(int lot, int n, S c, S work, const float *wsave, bool fuse = true,
           const FirstSweep &sweep = {}) {
    ORBELIX_ON_PATH(simd::active(), run_passes<Fwd, Many>(lot, n, c, work, wsave, fuse, sweep));
}

// The segments a padded input of length n needs on the path in use (see
// first_sweep_segments in pass_chain.hpp): 0 where none is taken.
inline int padded_segments(int n, const float *wsave, std::ptrdiff_t gap) {
    return ORBELIX_ON_PATH(simd::active(), first_sweep_segments(n, wsave, gap));
}

}  // namespace orbelix::fftpack
