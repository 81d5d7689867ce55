// Multiple-sequence transforms: cfftmi, cfftmf, cfftmb.
#include "orbelix.h"

#include "fft/api/init_table.hpp"
#include "fft/checks/checks.hpp"
#include "fft/checks/xercon.hpp"
#include "fft/plans/batch.hpp"

namespace orbelix::fftpack {
namespace {

template <bool Fwd>
void cfftm(const char *name, int lot, int jump, int n, int inc, float *c, int lenc,
           const float *wsave, int lensav, float *work, int lenwrk, int &ier) {
    ier = 0;
    const long long last = (lot - 1LL) * jump + (n - 1LL) * inc;  // highest index used
    // A zero INC or JUMP is no stride error: the layout check below refuses
    // it (every such layout addresses some element twice) after the length
    // checks, in their order.
    if (reject(n < 1, name, 3, kBadLength, ier) || reject(lot < 1, name, 1, kBadLength, ier) ||
        reject(inc < 0, name, 4, kBadStride, ier) ||
        reject(lot > 1 && jump < 0, name, 2, kBadStride, ier) ||
        reject(lenc < last + 1, name, 6, 1, ier) ||
        reject(lensav < table_floats(n), name, 8, 2, ier) ||
        reject(lenwrk < 2LL * lot * n, name, 10, 3, ier) ||
        reject(!xercon(inc, jump, n, lot), name, -1, 4, ier))
        return;
    if (n == 1) return;
    if (reject(!table_fits(n, wsave, lensav), name, 7, kBadTable, ier)) return;
    transform_batch<Fwd>(lot, jump, n, inc, reinterpret_cast<cfloat *>(c), wsave, work);
}

}  // namespace
}  // namespace orbelix::fftpack

using namespace orbelix::fftpack;

extern "C" {

// The table of a batch is the table of one sequence of its length.
void cfftmi(const int *n, float *wsave, const int *lensav, int *ier) {
    guarded(ier, [&] { *ier = init_table("CFFTMI", *n, wsave, *lensav); });
}

void cfftmf(const int *lot, const int *jump, const int *n, const int *inc, float *c,
            const int *lenc, const float *wsave, const int *lensav, float *work,
            const int *lenwrk, int *ier) {
    guarded(ier, [&] {
        cfftm<true>("CFFTMF", *lot, *jump, *n, *inc, c, *lenc, wsave, *lensav, work, *lenwrk,
                    *ier);
    });
}

void cfftmb(const int *lot, const int *jump, const int *n, const int *inc, float *c,
            const int *lenc, const float *wsave, const int *lensav, float *work,
            const int *lenwrk, int *ier) {
    guarded(ier, [&] {
        cfftm<false>("CFFTMB", *lot, *jump, *n, *inc, c, *lenc, wsave, *lensav, work, *lenwrk,
                    *ier);
    });
}

}  // extern "C"
