#include "core/simd/isa.hpp"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace orbelix::simd {
namespace {

Isa widest_supported() {
    if (supported(Isa::avx512)) return Isa::avx512;
    if (supported(Isa::avx2)) return Isa::avx2;
    return Isa::sse2;
}

Isa from_environment() {
    const char *want = std::getenv("ORBELIX_SIMD");
    if (want != nullptr) {
        for (Isa isa : {Isa::sse2, Isa::avx2, Isa::avx512})
            if (std::strcmp(want, name(isa)) == 0 && supported(isa)) return isa;
    }
    return widest_supported();
}

std::atomic<int> chosen{-1};

}  // namespace

bool supported(Isa isa) {
    switch (isa) {
    case Isa::sse2: return true;
#if defined(__x86_64__) || defined(__i386__)
    case Isa::avx2: return __builtin_cpu_supports("avx2");
    case Isa::avx512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
               __builtin_cpu_supports("avx512vl");
#endif
    default: return false;
    }
}

Isa active() {
    int isa = chosen.load(std::memory_order_relaxed);
    if (isa < 0) {
        int expected = -1;
        chosen.compare_exchange_strong(expected, static_cast<int>(from_environment()));
        isa = chosen.load(std::memory_order_relaxed);
    }
    return static_cast<Isa>(isa);
}

bool force(Isa isa) {
    if (!supported(isa)) return false;
    chosen.store(static_cast<int>(isa), std::memory_order_relaxed);
    return true;
}

const char *name(Isa isa) {
    switch (isa) {
    case Isa::avx2: return "avx2";
    case Isa::avx512: return "avx512";
    default: return "sse2";
    }
}

}  // namespace orbelix::simd
