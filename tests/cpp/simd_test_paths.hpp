// The SIMD paths this machine runs, for the tests that compare them, and a
// guard that forces one path and gives back the one in use before, also
// when a failed assertion leaves the test early.
#pragma once

#include <vector>

#include "core/simd/isa.hpp"

namespace orbelix::testing {

inline std::vector<simd::Isa> supported_paths() {
    std::vector<simd::Isa> out;
    for (simd::Isa isa : {simd::Isa::sse2, simd::Isa::avx2, simd::Isa::avx512})
        if (simd::supported(isa)) out.push_back(isa);
    return out;
}

class ForcedPath {
public:
    explicit ForcedPath(simd::Isa isa) : before_(simd::active()), forced_(simd::force(isa)) {}
    ~ForcedPath() { simd::force(before_); }
    ForcedPath(const ForcedPath &) = delete;
    ForcedPath &operator=(const ForcedPath &) = delete;

    // Whether the path was taken (the CPU has it).
    bool forced() const { return forced_; }

private:
    simd::Isa before_;
    bool forced_;
};

}  // namespace orbelix::testing
