#include "tools/half_window.hpp"

#include <algorithm>
#include <cmath>

#include "orbelix/gauss_window.hpp"

namespace orbelix::tools {

namespace {

// Below about -103.98 the single-precision exponential is 0, so offsets past
// k*sqrt(104/c) hold 0; a few more for rounding. The caller still checks
// for the 0 and extends the window when it is not there.
int support_estimate(int k, float c, int limit) {
    const double m = static_cast<double>(k) * std::sqrt(104.5 / static_cast<double>(c)) + 4.0;
    return m >= limit ? limit : std::max(2, static_cast<int>(m));
}

}  // namespace

int trimmed_half_window(int k, float c, int limit, float *w) {
    int count = support_estimate(k, c, limit);
    for (;;) {
        gauss_half_window(k, c, count, w);
        const int len = static_cast<int>(std::find(w, w + count, 0.0f) - w);
        if (len < count || count == limit) return len;
        count = count > limit / 2 ? limit : 2 * count;
    }
}

long long WindowTable::size_needed(const VoiceGrid &g) {
    long long total = 0;
    const int limit = window_limit(g.n);
    for (int i = 0; i < g.count; ++i)
        if (g.bin(i) > 0) total += support_estimate(g.bin(i), g.c, limit);
    return total;
}

WindowTable::WindowTable(const VoiceGrid &g)
    : grid_(g), offset_(g.count + 1), length_(g.count, 0) {
    // Each voice gets the room of its estimate, not the whole half spectrum.
    const int limit = window_limit(g.n);
    offset_[0] = 0;
    for (int i = 0; i < g.count; ++i) {
        const int k = g.bin(i);
        offset_[i + 1] = offset_[i] + (k > 0 ? support_estimate(k, g.c, limit) : 0);
    }
    values_.resize(static_cast<std::size_t>(offset_[g.count]));
}

void WindowTable::fill(int i) {
    const int k = grid_.bin(i);
    if (k == 0) return;
    const int room = static_cast<int>(offset_[i + 1] - offset_[i]);
    float *w = values_.data() + offset_[i];
    gauss_half_window(k, grid_.c, room, w);
    const int len = static_cast<int>(std::find(w, w + room, 0.0f) - w);
    // The slot ends past the underflow point unless it is the whole half
    // spectrum; should rounding ever put the 0 beyond it, -1 tells the caller
    // to compute that window itself.
    length_[i] = (len < room || room == window_limit(grid_.n)) ? len : -1;
}

}  // namespace orbelix::tools
