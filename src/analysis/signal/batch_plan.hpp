// How a batch of signals is spread over workers, shared by the drivers.
#pragma once

#include <string>

#include "analysis/signal/half_window.hpp"
#include "analysis/signal/parallel.hpp"

namespace orbelix::tools {

// Many signals: each worker takes whole signals, so workers share nothing.
// Few signals: the voices of one signal at a time are shared out.
inline bool split_by_signal(int batch, const Parallel &par) {
    return par.workers() == 1 || batch >= 4 * par.workers();
}

// Windows are the same for every signal of a batch: keep them when they
// are shared and take at most this many values (16 MB).
constexpr long long kWindowTableLimit = 1LL << 22;

// Fills table (voices in parallel) when it pays and fits; else leaves it empty.
inline void share_windows(int batch, const VoiceGrid &g, Parallel &par, WindowTable &table) {
    if (g.shaped != nullptr) return;  // their weights are given whole
    const long long values = WindowTable::size_needed(g);
    if (batch < 2 || values > kWindowTableLimit) return;
    table = allocate_named("the windows of " + std::to_string(g.count) +
                               (g.count == 1 ? " voice" : " voices"),
                           sizeof(float) * values + 12 * static_cast<std::size_t>(g.count),
                           [&] { return WindowTable(g); });
    par.run(g.count, [&](int, int i) { table.fill(i); });
}

}  // namespace orbelix::tools
