// Single-sequence transforms: cfft1i, cfft1f, cfft1b.
#include "orbelix.h"

#include "fft/api/init_table.hpp"
#include "fft/checks/checks.hpp"
#include "fft/kernels/passes.hpp"

namespace orbelix::fftpack {
namespace {

template <bool Fwd>
void cfft1(const char *name, int n, int inc, float *c, int lenc, const float *wsave,
           int lensav, float *work, int lenwrk, int &ier) {
    ier = 0;
    if (reject(n < 1, name, 1, kBadLength, ier) || reject(inc < 1, name, 2, kBadStride, ier) ||
        reject(lenc < static_cast<long long>(inc) * (n - 1) + 1, name, 4, 1, ier) ||
        reject(lensav < table_floats(n), name, 6, 2, ier) ||
        reject(lenwrk < 2LL * n, name, 8, 3, ier))
        return;
    if (n == 1) return;
    if (reject(!table_fits(n, wsave, lensav), name, 5, kBadTable, ier)) return;
    cfloat *data = reinterpret_cast<cfloat *>(c);
    cfloat *scratch = reinterpret_cast<cfloat *>(work);
    if (inc == 1)
        drive<Fwd, false>(1, n, Contiguous{data}, Contiguous{scratch}, wsave);
    else
        drive<Fwd, false>(1, n, Seqs{data, 0, inc}, Seqs{scratch, 0, 1}, wsave);
}

}  // namespace
}  // namespace orbelix::fftpack

using namespace orbelix::fftpack;

extern "C" {

void cfft1i(const int *n, float *wsave, const int *lensav, int *ier) {
    guarded(ier, [&] { *ier = init_table("CFFT1I", *n, wsave, *lensav); });
}

void cfft1f(const int *n, const int *inc, float *c, const int *lenc, const float *wsave,
            const int *lensav, float *work, const int *lenwrk, int *ier) {
    guarded(ier, [&] {
        cfft1<true>("CFFT1F", *n, *inc, c, *lenc, wsave, *lensav, work, *lenwrk, *ier);
    });
}

void cfft1b(const int *n, const int *inc, float *c, const int *lenc, const float *wsave,
            const int *lensav, float *work, const int *lenwrk, int *ier) {
    guarded(ier, [&] {
        cfft1<false>("CFFT1B", *n, *inc, c, *lenc, wsave, *lensav, work, *lenwrk, *ier);
    });
}

}  // extern "C"
