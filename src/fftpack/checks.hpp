// Length checks shared by the engine routines.
#pragma once

#include "fftpack/xerfft.hpp"
#include "mutl/ilog2.hpp"

namespace orbelix::fftpack {

// ier for a length below 1, which the factoriser cannot take.
constexpr int kBadLength = 10;

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

// Float offset of the M table in a 2-D table, right after the L table.
inline long long m_table_offset(int l) { return table_floats(l) - 2; }

}  // namespace orbelix::fftpack
