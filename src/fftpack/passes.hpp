// The pass drivers of the engine routines, on the SIMD path chosen for the
// process (simd/isa.hpp): one choice per transform, then the whole chain of
// passes runs in that path's copy of the kernels (pass_chain.hpp).
//
//   drive<Fwd, false>(1, n, c, work, wsave)    one sequence
//   drive<Fwd, true>(lot, n, c, work, wsave)   a batch of `lot`
// c and work share the layout S (pass_layout.hpp); the result ends in c.
// Every path gives the same numbers.
#pragma once

#include "fftpack/kernel_isa.hpp"
#include "fftpack/pass_layout.hpp"
#include "simd/isa.hpp"

namespace orbelix::fftpack {

// Each path's run_passes, instantiated in its passes_<path>.cpp for the
// layouts below.
#define ORBELIX_PASS_CHAIN(path)                                                      \
    namespace path {                                                                  \
    template <bool Fwd, bool Many, class S>                                           \
    void run_passes(int lot, int n, S c, S work, const float *wsave, bool fuse);      \
    }
ORBELIX_PASS_CHAIN(sse2)
ORBELIX_PASS_CHAIN(avx2)
ORBELIX_PASS_CHAIN(avx512)
#undef ORBELIX_PASS_CHAIN

// Layouts the drivers take: (Many, S) = (false, Contiguous), (false, Seqs),
// (true, Interleaved), (true, Seqs). fuse = false runs one sweep per pass
// (the plain chain the tests compare with).
template <bool Fwd, bool Many, class S>
void drive(int lot, int n, S c, S work, const float *wsave, bool fuse = true) {
    switch (simd::active()) {
    case simd::Isa::avx512: avx512::run_passes<Fwd, Many>(lot, n, c, work, wsave, fuse); break;
    case simd::Isa::avx2: avx2::run_passes<Fwd, Many>(lot, n, c, work, wsave, fuse); break;
    default: sse2::run_passes<Fwd, Many>(lot, n, c, work, wsave, fuse); break;
    }
}

}  // namespace orbelix::fftpack
