// Length checks shared by the engine routines.
#pragma once

#include "core/c_boundary.hpp"
#include "fft/checks/ilog2.hpp"
#include "fft/checks/xerfft.hpp"

namespace orbelix::fftpack {

// ier for a length or count below 1 (N, L, M, LOT), which the factoriser
// or the passes cannot take.
constexpr int kBadLength = 10;
// ier for a stride the passes cannot take (they address forward from c
// only): INC below 1 of one sequence; a negative INC, or a negative JUMP of
// a batch of more than one sequence (a zero one is an inconsistent layout).
constexpr int kBadStride = 11;
// ier for a wsave that does not hold the table of length N.
constexpr int kBadTable = 13;
// ier when an exception stopped a routine at its C boundary; no record is
// written (the routines allocate nothing, so none is expected).
constexpr int kInternalFailure = 12;

// Floats a table of length n needs: 2n + ilog2(n) + 4, with the same
// single-precision logarithm the front-end sizes tables with. Wide
// arithmetic, so huge arguments cannot wrap into a passing value.
inline long long table_floats(int n) { return 2LL * n + mutl::ilog2(n) + 4; }

// A failed check: when `bad`, sets ier to `value` and writes the record of
// `code` for routine `name`. Returns `bad`, so that checks chain with || and
// the first failure in their order is the one reported.
inline bool reject(bool bad, const char *name, int code, int value, int &ier) {
    if (bad) {
        ier = value;
        xerfft(name, code);
    }
    return bad;
}

// Whether wsave (lensav floats, at least table_floats(n)) holds a factor
// list of n as the initialisation writes it: 1 to 31 factors, each an
// integer from 2 to n, whose product is n. The passes index the data by
// these factors, so a table built for another length (or never built) must
// not reach them. n >= 2.
inline bool table_fits(int n, const float *wsave, int lensav) {
    const long long at = 2LL * n;
    const float count = wsave[at];
    if (!(count >= 1.0f && count <= 31.0f) || count != static_cast<float>(static_cast<int>(count)) ||
        at + 1 + static_cast<int>(count) > lensav)
        return false;
    long long product = 1;
    for (int k = 0; k < static_cast<int>(count); ++k) {
        const float f = wsave[at + 1 + k];
        if (!(f >= 2.0f && f <= static_cast<float>(n)) || f != static_cast<float>(static_cast<int>(f)))
            return false;
        product *= static_cast<int>(f);
        if (product > n) return false;
    }
    return product == n;
}

// Runs body, turning any exception into ier = kInternalFailure: nothing
// unwinds through the engine's C entry points.
template <class Body>
void guarded(int *ier, Body &&body) noexcept {
    with_ier(ier, kInternalFailure, static_cast<Body &&>(body));
}

// Float offset of the M table in a 2-D table, right after the L table.
inline long long m_table_offset(int l) { return table_floats(l) - 2; }

}  // namespace orbelix::fftpack
