// Ridges of a time-frequency map: the path through frequency, one index per
// time, of largest summed value less a penalty on its jumps.
#pragma once

namespace orbelix::tools {

// m holds `freqs` rows of `times` values (m[f * times + t]). Writes to
// path[t], t < times, the path f(t) that minimises
//   -sum_t m[f(t), t] + penalty * sum_{t>0} (f(t) - f(t-1))^2
// found by dynamic programming over time. The minimum over the previous
// frequency of a quadratic penalty is the lower envelope of parabolas, so a
// time step costs O(freqs), not O(freqs^2). penalty >= 0 and finite;
// throws std::bad_alloc when the back pointers (4 bytes a value of m) cannot
// be had.
void ridge_path(const double *m, int freqs, int times, double penalty, int *path);

}  // namespace orbelix::tools
