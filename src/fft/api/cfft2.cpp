// Two-dimensional transforms: cfft2i, cfft2f, cfft2b, as one batch of
// transforms along each dimension (the second dimension first).
#include <algorithm>
#include <climits>

#include "orbelix.h"

#include "fft/checks/checks.hpp"

using namespace orbelix::fftpack;

namespace {

long long table2_floats(int l, int m) { return table_floats(l) + table_floats(m); }

template <bool Fwd>
void cfft2(const char *name, int ldim, int l, int m, float *c, const float *wsave, int lensav,
           float *work, int lenwrk, int &ier) {
    auto batch = Fwd ? cfftmf : cfftmb;
    ier = 0;
    if (reject(l < 1 || m < 1, name, l < 1 ? 2 : 3, kBadLength, ier) ||
        reject(ldim < l, name, -2, 5, ier) || reject(lensav < table2_floats(l, m), name, 6, 2, ier) ||
        reject(lenwrk < 2LL * l * m, name, 8, 3, ier))
        return;
    const int one = 1;
    // Beyond the 32-bit range the inner check refuses it (ier 20), as it
    // must: the engine cannot address such an array.
    const int lenc = static_cast<int>(std::min<long long>(l + (m - 1LL) * ldim, INT_MAX));
    const int lensav_l = static_cast<int>(table_floats(l));
    const int lensav_m = static_cast<int>(table_floats(m));
    int inner = 0;
    // Each of the l rows is one sequence, then each of the m columns.
    batch(&l, &one, &m, &ldim, c, &lenc, wsave + m_table_offset(l), &lensav_m, work, &lenwrk,
          &inner);
    if (inner == 0) batch(&m, &ldim, &l, &one, c, &lenc, wsave, &lensav_l, work, &lenwrk, &inner);
    reject(inner != 0, name, -5, 20, ier);
}

void init2(int l, int m, float *wsave, int lensav, int &ier) {
    ier = 0;
    if (reject(l < 1 || m < 1, "CFFT2I", l < 1 ? 1 : 2, kBadLength, ier) ||
        reject(lensav < table2_floats(l, m), "CFFT2I", 4, 2, ier))
        return;
    const int lensav_l = static_cast<int>(table_floats(l));
    const int lensav_m = static_cast<int>(table_floats(m));
    int inner = 0;
    cfftmi(&l, wsave, &lensav_l, &inner);
    if (inner == 0) cfftmi(&m, wsave + m_table_offset(l), &lensav_m, &inner);
    reject(inner != 0, "CFFT2I", -5, 20, ier);
}

}  // namespace

extern "C" {

void cfft2i(const int *l, const int *m, float *wsave, const int *lensav, int *ier) {
    guarded(ier, [&] { init2(*l, *m, wsave, *lensav, *ier); });
}

void cfft2f(const int *ldim, const int *l, const int *m, float *c, const float *wsave,
            const int *lensav, float *work, const int *lenwrk, int *ier) {
    guarded(ier, [&] { cfft2<true>("CFFT2F", *ldim, *l, *m, c, wsave, *lensav, work, *lenwrk, *ier); });
}

void cfft2b(const int *ldim, const int *l, const int *m, float *c, const float *wsave,
            const int *lensav, float *work, const int *lenwrk, int *ier) {
    guarded(ier, [&] { cfft2<false>("CFFT2B", *ldim, *l, *m, c, wsave, *lensav, work, *lenwrk, *ier); });
}

}  // extern "C"
