// How a batch of signals is spread over workers, shared by the drivers.
#pragma once

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
    if (batch < 2 || WindowTable::size_needed(g) > kWindowTableLimit) return;
    table = WindowTable(g);
    par.run(g.count, [&](int, int i) { table.fill(i); });
}

}  // namespace orbelix::tools
