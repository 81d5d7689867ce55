// Half windows of the voices, trimmed to where the Gaussian underflows to 0.
#pragma once

#include <vector>

#include "analysis/signal/voice_grid.hpp"

namespace orbelix::tools {

// w[m] = exp(-(c*m^2)/k^2) for m = 0 .. len-1, the values of
// gauss_half_window (so the voices of the fast S-transform bit for bit),
// where len is the first offset whose value is 0, at most `limit`. w needs
// room for `limit` values; returns len. k >= 1.
int trimmed_half_window(int k, float c, int limit, float *w);

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
    // so callers may fill voices in parallel).
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
