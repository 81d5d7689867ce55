#include "tools/half_window.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "orbelix/gauss_window.hpp"
#include "tools/window_exp.hpp"

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

void window_values(int k, float c, int count, float *w, bool fast) {
    if (!fast) {
        gauss_half_window(k, c, count, w);
        return;
    }
    const float kk = static_cast<float>(static_cast<std::int64_t>(k) * k);
    constexpr int kBlock = 256;
    float q[kBlock];
    for (int m0 = 0; m0 < count; m0 += kBlock) {
        const int len = std::min(kBlock, count - m0);
        for (int i = 0; i < len; ++i) {
            // m*m is exact in double (m < 2^26), rounded once to float as
            // the integer would be; this form vectorises.
            const double m = m0 + i;
            q[i] = std::max(-((c * static_cast<float>(m * m)) / kk), -160.0f);
        }
        window_exp(q, w + m0, len);
    }
}

int trimmed_half_window(int k, float c, int limit, float *w, bool fast) {
    int count = support_estimate(k, c, limit);
    for (;;) {
        window_values(k, c, count, w, fast);
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
    window_values(k, grid_.c, room, w, grid_.folded());
    const int len = static_cast<int>(std::find(w, w + room, 0.0f) - w);
    // The slot ends past the underflow point unless it is the whole half
    // spectrum; should rounding ever put the 0 beyond it, -1 tells the caller
    // to compute that window itself.
    length_[i] = (len < room || room == window_limit(grid_.n)) ? len : -1;
}

}  // namespace orbelix::tools
