#include "analysis/signal/ridges.hpp"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <vector>

namespace orbelix::tools {

namespace {

// h[p] = min_q g[q] + penalty (p - q)^2 and its minimiser from[p]
// (Felzenszwalb and Huttenlocher's distance transform of sampled functions).
class Envelope {
public:
    explicit Envelope(int size) : v_(size), z_(size + 1) {}

    void apply(const std::vector<double> &g, double penalty, std::vector<double> &h, int *from) {
        const int size = static_cast<int>(g.size());
        if (penalty == 0.0) {  // jumps are free: the best previous value
            const int best = static_cast<int>(std::min_element(g.begin(), g.end()) - g.begin());
            std::fill(h.begin(), h.end(), g[best]);
            std::fill(from, from + size, best);
            return;
        }
        constexpr double inf = std::numeric_limits<double>::infinity();
        auto height = [&](int q) { return g[q] + penalty * static_cast<double>(q) * q; };
        int top = 0;
        v_[0] = 0;
        z_[0] = -inf;
        z_[1] = inf;
        for (int q = 1; q < size; ++q) {
            // Where q's parabola passes below the envelope's last; z_[0] =
            // -inf keeps at least one.
            auto crossing = [&](int r) { return (height(q) - height(r)) / (2.0 * penalty * (q - r)); };
            double s = crossing(v_[top]);
            while (s <= z_[top]) s = crossing(v_[--top]);
            ++top;
            v_[top] = q;
            z_[top] = s;
            z_[top + 1] = inf;
        }
        for (int p = 0, k = 0; p < size; ++p) {
            while (z_[k + 1] < p) ++k;
            const double d = p - v_[k];
            h[p] = g[v_[k]] + penalty * d * d;
            from[p] = v_[k];
        }
    }

private:
    std::vector<int> v_;
    std::vector<double> z_;
};

}  // namespace

void ridge_path(const double *m, int freqs, int times, double penalty, int *path) {
    if (freqs < 1 || times < 1) return;
    std::vector<int> back(static_cast<std::size_t>(freqs) * times);
    std::vector<double> cost(freqs), best(freqs);
    Envelope envelope(freqs);
    for (int f = 0; f < freqs; ++f) cost[f] = -m[static_cast<std::size_t>(f) * times];
    for (int t = 1; t < times; ++t) {
        int *from = back.data() + static_cast<std::size_t>(t) * freqs;
        envelope.apply(cost, penalty, best, from);
        for (int f = 0; f < freqs; ++f) cost[f] = best[f] - m[static_cast<std::size_t>(f) * times + t];
    }
    int f = static_cast<int>(std::min_element(cost.begin(), cost.end()) - cost.begin());
    for (int t = times - 1; t >= 0; --t) {
        path[t] = f;
        if (t > 0) f = back[static_cast<std::size_t>(t) * freqs + f];
    }
}

}  // namespace orbelix::tools
