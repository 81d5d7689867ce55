#include "analysis/signal/half_window.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "analysis/signal/rows.hpp"
#include "st1/vexp.hpp"

namespace orbelix::tools {

namespace {

// Offsets below this have squares within 32 bits, the range of the window
// kernel of the fast S-transform.
constexpr int kSquaresIn32Bits = 46341;

// Below -104 the window's exponential is 0, so offsets past k*sqrt(104/c)
// hold 0; a few more for rounding. Sizes the table's slots, whose fill
// checks that the 0 is really there.
int support_estimate(int k, float c, int limit) {
    const double m = static_cast<double>(k) * std::sqrt(104.5 / static_cast<double>(c)) + 4.0;
    return m >= limit ? limit : std::max(2, static_cast<int>(m));
}

}  // namespace

int trimmed_half_window(int k, float c, int limit, float *w) {
    // The fast S-transform's own window kernel where the squares of the
    // offsets fit in 32 bits; beyond, the same quotients with the squares
    // formed in double (exact, rounded once to float as the integer is) and
    // the same vectorised exponential: the same bits throughout.
    const float kk = static_cast<float>(static_cast<std::int64_t>(k) * k);
    const int head = std::min(limit, kSquaresIn32Bits);
    const int done = gauss_offsets(c, kk, 0, 1, head, w);
    if (done > 0 && w[done - 1] == 0.0f) return done - 1;
    if (done < head) return done;
    constexpr int kBlock = 1024;
    float q[kBlock];
    for (int m0 = head; m0 < limit; m0 += kBlock) {
        const int len = std::min(kBlock, limit - m0);
        // Quotients far below -104 (where the exponential is 0) are held at
        // -128, within the range its integer steps take without overflow.
        rows::window_quotients(c, kk, m0, len, q);
        vexp_array(q, w + m0, len);
        // The window falls with the offset: a block whose last value is
        // not 0 holds none.
        if (w[m0 + len - 1] != 0.0f) continue;
        return static_cast<int>(std::find(w + m0, w + m0 + len, 0.0f) - w);
    }
    return limit;
}

long long WindowTable::size_needed(const VoiceGrid &g) {
    long long total = 0;
    const int limit = window_limit(g.n);
    for (int i = 0; i < g.count; ++i)
        if (g.bin(i) > 0) total += support_estimate(g.bin(i), g.constant(i), limit);
    return total;
}

WindowTable::WindowTable(const VoiceGrid &g)
    : grid_(g), offset_(g.count + 1), length_(g.count, 0) {
    // Each voice gets the room of its estimate, not the whole half spectrum.
    const int limit = window_limit(g.n);
    offset_[0] = 0;
    for (int i = 0; i < g.count; ++i) {
        const int k = g.bin(i);
        offset_[i + 1] = offset_[i] + (k > 0 ? support_estimate(k, g.constant(i), limit) : 0);
    }
    values_.resize(static_cast<std::size_t>(offset_[g.count]));
}

void WindowTable::fill(int i) {
    const int k = grid_.bin(i);
    if (k == 0) return;
    const int room = static_cast<int>(offset_[i + 1] - offset_[i]);
    float *w = values_.data() + offset_[i];
    const int len = trimmed_half_window(k, grid_.constant(i), room, w);
    // The slot ends past the underflow point unless it is the whole half
    // spectrum; should rounding ever put the 0 beyond it, -1 tells the caller
    // to compute that window itself.
    length_[i] = (len < room || room == window_limit(grid_.n)) ? len : -1;
}

}  // namespace orbelix::tools
