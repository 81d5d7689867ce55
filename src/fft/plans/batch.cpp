#include "fft/plans/batch.hpp"

#include "fft/kernels/passes.hpp"

namespace orbelix::fftpack {

template <bool Fwd>
void transform_batch(int lot, int jump, int n, int inc, cfloat *c, const float *wsave,
                     float *work) {
    if (n == 1) return;
    cfloat *scratch = reinterpret_cast<cfloat *>(work);
    if (inc == 1 && jump >= n) {
        // Contiguous sequences (columns): one at a time keeps each in cache.
        // The arithmetic per sequence is the same as in the batched passes.
        for (int s = 0; s < lot; ++s)
            drive<Fwd, false>(1, n, Contiguous{c + static_cast<long long>(s) * jump},
                              Contiguous{scratch}, wsave);
        return;
    }
    if (jump == 1)
        drive<Fwd, true>(lot, n, Interleaved{c, inc}, Interleaved{scratch, lot}, wsave);
    else
        drive<Fwd, true>(lot, n, Seqs{c, jump, inc}, Seqs{scratch, 1, lot}, wsave);
}

template void transform_batch<true>(int, int, int, int, cfloat *, const float *, float *);
template void transform_batch<false>(int, int, int, int, cfloat *, const float *, float *);

}  // namespace orbelix::fftpack
