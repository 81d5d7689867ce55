// Size checks of the entry routines: lengths whose FFT tables or derived
// extents do not fit their 32-bit integers are refused before any work.
#pragma once

#include <climits>
#include <cstdio>
#include <stdexcept>

#include "fft/checks/checks.hpp"

namespace orbelix::entries {

// Throws std::overflow_error "<name>=<value> is too large: <why>".
[[noreturn]] inline void too_large(const char *name, long long value, const char *why) {
    char text[160];
    std::snprintf(text, sizeof text, "%s=%lld is too large: %s", name, value, why);
    throw std::overflow_error(text);
}

// A transform length n >= 1 whose FFT table (2n + log2 n + 4 floats) is
// counted in a 32-bit integer.
inline void require_fft_length(const char *name, int n) {
    if (fftpack::table_floats(n) > INT_MAX) too_large(name, n, "its FFT table exceeds 32-bit sizes");
}

}  // namespace orbelix::entries
