// Half windows of the voices, trimmed to where the Gaussian underflows to 0.
#pragma once

#include <vector>

#include "tools/voice_grid.hpp"

namespace orbelix::tools {

// w[m] = exp(-(c*m^2)/k^2) for m = 0 .. count-1. Exact: bit for bit the
// values of gauss_half_window (libm's expf), as the full-resolution voices
// need to match the fast S-transform. Fast: the same quotients through
// window_exp, for the folded voices, which promise single precision only.
void window_values(int k, float c, int count, float *w, bool fast);

// The window up to (not including) its first 0 value, at most `limit`
// values; w needs room for `limit`. Returns that length. k >= 1.
int trimmed_half_window(int k, float c, int limit, float *w, bool fast = false);

// The offsets a voice reads: a voice of bin k uses the analytic spectrum at
// k + d for -k <= d <= n/2 - k, so |d| never exceeds n/2.
inline int window_limit(int n) { return n / 2 + 1; }

// Every voice's trimmed window, kept when a batch of signals shares them.
class WindowTable {
public:
    WindowTable() = default;
    // Total values the table would hold; the caller decides whether to keep
    // one (it is skipped when large).
    static long long size_needed(const VoiceGrid &g);
    // Sizes the table; fill(i) then computes voice i (independent per voice,
    // so callers may fill voices in parallel). Fast windows for folded grids.
    explicit WindowTable(const VoiceGrid &g);
    void fill(int i);
    const float *window(int i) const { return values_.data() + offset_[i]; }
    int length(int i) const { return length_[i]; }
    bool empty() const { return offset_.empty(); }

private:
    VoiceGrid grid_;
    std::vector<long long> offset_;
    std::vector<int> length_;
    std::vector<float> values_;
};

}  // namespace orbelix::tools
