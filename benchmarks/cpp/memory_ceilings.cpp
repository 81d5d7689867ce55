// What one core of this machine can move, the ceilings of the transforms
// that stream their data once (ifst reads its input once, fst writes its
// result once): reading with 1 to 16 streams, writing with streaming
// stores, and the cost of a fresh page (the kernel clears it on first
// touch, which every freshly allocated result pays). Thread CPU time,
// medians of 7 rounds over 256 MB. Build as transform_plan_timing.cpp:
//   g++ -O2 -std=c++17 benchmarks/cpp/memory_ceilings.cpp -o /tmp/memory_ceilings
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <emmintrin.h>
#include <vector>

#include "bench_support.hpp"

namespace {

constexpr std::size_t kBytes = std::size_t(256) << 20;

float *map_block() { return static_cast<float *>(map_fresh(kBytes)); }

template <class F>
double median_seconds(F &&f) {
    std::vector<double> t;
    for (int r = 0; r < 7; ++r) {
        const double t0 = cpu_now();
        f();
        t.push_back(cpu_now() - t0);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

// Sums the buffer as `streams` sequential streams side by side.
float read_streams(const float *p, int streams) {
    const std::size_t per = kBytes / sizeof(float) / streams;
    __m128 acc[16];
    for (auto &a : acc) a = _mm_setzero_ps();
    for (std::size_t i = 0; i < per; i += 16)
        for (int s = 0; s < streams; ++s) {
            const float *q = p + s * per + i;
            __m128 v = _mm_add_ps(_mm_add_ps(_mm_load_ps(q), _mm_load_ps(q + 4)),
                                  _mm_add_ps(_mm_load_ps(q + 8), _mm_load_ps(q + 12)));
            acc[s] = _mm_add_ps(acc[s], v);
        }
    float out[4], total = 0.0f;
    for (int s = 0; s < streams; ++s) {
        _mm_storeu_ps(out, acc[s]);
        total += out[0] + out[1] + out[2] + out[3];
    }
    return total;
}

void stream_write(float *p) {
    const __m128 v = _mm_set1_ps(1.0f);
    for (std::size_t i = 0; i < kBytes / sizeof(float); i += 4) _mm_stream_ps(p + i, v);
    _mm_sfence();
}

double gbs(double seconds) { return kBytes / seconds / 1e9; }

}  // namespace

int main() {
    float *mapped = map_block();
    std::memset(mapped, 0, kBytes);
    volatile float sink = 0.0f;
    for (int streams : {1, 2, 4, 8, 16})
        std::printf("read, %2d streams          %6.1f GB/s\n", streams,
                    gbs(median_seconds([&] { sink = sink + read_streams(mapped, streams); })));
    std::printf("streaming stores          %6.1f GB/s\n",
                gbs(median_seconds([&] { stream_write(mapped); })));
    // A fresh mapping each round: the first touch costs the kernel's
    // clearing of the page on top of the stores.
    const double fresh = median_seconds([&] {
        float *p = map_block();
        stream_write(p);
        munmap(p, kBytes);
    });
    const double warm = median_seconds([&] { stream_write(mapped); });
    std::printf("streaming stores, fresh   %6.1f GB/s (clearing fresh pages: %.1f GB/s)\n",
                gbs(fresh), gbs(fresh - warm));
    munmap(mapped, kBytes);
}
