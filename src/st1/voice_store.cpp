#include "st1/voice_store.hpp"

#include <cstdint>
#include <cstring>

#include "core/interrupt.hpp"
#include "core/simd/isa.hpp"
#include "core/simd/paths.hpp"
#include "core/simd/stream.hpp"

namespace orbelix {

namespace voice_store_paths {
// Each path's copy (voice_store_kernels.cpp).
ORBELIX_DECLARE_PATHS(void store_tiles(const cfloat *buf, std::size_t ldb, int n, int nb,
                                       View2<cfloat> s, int k0))
}  // namespace voice_store_paths

namespace {

constexpr int kLine = 64;                              // bytes
constexpr int kPerLine = kLine / sizeof(cfloat);       // values

// Results below this size take ordinary stores: they stay in the caches,
// where the next block and the caller find them, while streaming stores
// would send every line out to memory. Larger results leave the caches
// anyway (other work between calls evicts their lines), and streaming
// stores save reading each line before it is written.
constexpr std::size_t kStreamFrom = std::size_t(4) << 20;  // bytes

// The first block stored faults in every page of the result, which at the
// largest n takes long, so it polls for an interruption on the way, every
// 256 columns (tens of MB, even where the pages come slowly).
constexpr int kColumnsBetweenPolls = 256;

// Where the result's columns lie this far apart or further, the lines a
// block shares with its neighbours in a column take ordinary stores: a line
// written in part with streaming stores then costs more than fetching it
// (at nearer columns it costs less).
constexpr std::size_t kCachedEdgesFrom = std::size_t(128) << 10;  // bytes between columns

// Values of one column before the next cache-line boundary.
int to_line_boundary(const cfloat *p) {
    const auto a = reinterpret_cast<std::uintptr_t>(p);
    return static_cast<int>(((kLine - (a % kLine)) % kLine) / sizeof(cfloat));
}

void plain_store(const cfloat *buf, std::size_t ldb, int n, int nb, View2<cfloat> s, int k0) {
    for (int t = 0; t < n; ++t)
        for (int b = 0; b < nb; ++b) s(k0 + b, t) = buf[b * ldb + t];
}

// Ordinary stores, through tiles transposed in registers where s is
// column-major.
void cached_store(const cfloat *buf, std::size_t ldb, int n, int nb, View2<cfloat> s, int k0) {
    if (s.s1 != 1) return plain_store(buf, ldb, n, nb, s, k0);
    using namespace voice_store_paths;
    ORBELIX_ON_PATH(simd::active(), store_tiles(buf, ldb, n, nb, s, k0));
}

}  // namespace

void store_voices(const cfloat *buf, std::size_t ldb, int n, int nb, View2<cfloat> s, int k0) {
#if defined(__SSE2__) && defined(__x86_64__)
    const std::size_t bytes = static_cast<std::size_t>(s.n1) * s.n2 * sizeof(cfloat);
    if (bytes < kStreamFrom || s.s1 != 1 ||
        reinterpret_cast<std::uintptr_t>(s.data) % sizeof(cfloat) != 0)
        return cached_store(buf, ldb, n, nb, s, k0);
    const bool cached_edges = static_cast<std::size_t>(s.s2) * sizeof(cfloat) >= kCachedEdgesFrom;
    for (int t = 0; t < n; ++t) {
        if (t % kColumnsBetweenPolls == 0) poll_interrupt();
        cfloat *dst = &s(k0, t);
        const cfloat *src = buf + t;
        // The values in lines the block shares with its neighbours in the
        // column: single 8-byte streaming stores, so that those lines are
        // not fetched either, or ordinary stores.
        auto edge = [&](int b) {
            if (cached_edges)
                dst[b] = src[b * ldb];
            else
                stream_store(dst + b, src[b * ldb]);
        };
        const int head = to_line_boundary(dst) < nb ? to_line_boundary(dst) : nb;
        int b = 0;
        for (; b < head; ++b) edge(b);
        // Whole lines, two values per 16-byte streaming store.
        for (; b + kPerLine <= nb; b += kPerLine)
            for (int i = b; i < b + kPerLine; i += 2)
                stream_store_pair(dst + i, src + i * ldb, src + (i + 1) * ldb);
        for (; b < nb; ++b) edge(b);
    }
    end_streams();
#else
    cached_store(buf, ldb, n, nb, s, k0);
#endif
}

}  // namespace orbelix
