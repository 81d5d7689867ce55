#include "st1/gauss_window.hpp"

#include <algorithm>
#include <cstdint>

#include "st1/vexp.hpp"

namespace orbelix {
namespace {

// Offsets below this have m*m in 32 bits: the SIMD kernel's range.
constexpr int kVectorOffsets = 46341;

float square(int v) { return static_cast<float>(static_cast<std::int64_t>(v) * v); }

// w[i] for m = m0 + step*i, i < count: values up to the first 0 (and
// possibly zeros after it); returns the number up to and including it.
int evaluate(float c, float kk, int m0, int step, int count, float *w) {
    const int vec = std::clamp((kVectorOffsets - m0 + step - 1) / step, 0, count);
    int done = gauss_offsets(c, kk, m0, step, vec, w);
    if (done < vec || (done > 0 && w[done - 1] == 0.0f)) return done;
    for (; done < count; ++done) {
        const int m = m0 + step * done;
        w[done] = vexp(-((c * square(m)) / kk));
        if (w[done] == 0.0f) return done + 1;
    }
    return done;
}

// Zero entries [from, to).
void clear(float *w, int from, int to) {
    for (int m = from; m < to; ++m) w[m] = 0.0f;
}

}  // namespace

int gauss_half_window(int k, float c, int count, float *w, int zero_from) {
    if (count <= 0) return 0;
    const int values = evaluate(c, square(k), 0, 1, count, w);
    // Beyond the first 0 the kernel wrote nothing but zeros.
    clear(w, values, zero_from);
    return values;
}

void gauss_half_window(int k, float c, int count, float *w) {
    gauss_half_window(k, c, count, w, count);
}

int gauss_half_window_doubled(int k, float c, const float *half, int half_zero_from, int count,
                              float *w, int zero_from, float *scratch) {
    if (count <= 0) return 0;
    // Odd offsets 2i+1 beyond half's first 0 are 0 as well (the window falls).
    const int hv = std::min(half_zero_from, (count + 1) / 2);
    const int odd = evaluate(c, square(2 * k), 1, 2, std::min(count / 2, hv), scratch);
    int values = std::min({count, 2 * hv, 2 * odd + 1});
    if (hv > 0 && half[hv - 1] == 0.0f) values = std::min(values, 2 * hv - 1);
    if (odd > 0 && scratch[odd - 1] == 0.0f) values = std::min(values, 2 * odd);
    // Even offsets from half, odd ones from scratch, in one interleaving
    // pass (the compiler vectorises it).
    int j = 0;
    for (; 2 * j + 1 < values; ++j) {
        w[2 * j] = half[j];
        w[2 * j + 1] = scratch[j];
    }
    if (2 * j < values) w[2 * j] = half[j];
    clear(w, values, zero_from);
    return values;
}

}  // namespace orbelix
