#include "tools/window_exp.hpp"

#include <cstdint>
#include <cstring>

namespace orbelix::tools {

namespace {

// 2^e for -126 <= e <= 127, from its exponent bits.
inline float pow2(std::int32_t e) {
    const std::int32_t bits = (e + 127) << 23;
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

}  // namespace

void window_exp(const float *q, float *out, int count) {
    // exp(q) = 2^j exp(r), j = round(q / ln 2), r = q - j ln 2 in two parts
    // (ln2_hi has few bits, so j*ln2_hi is exact), |r| <= ln2/2; exp(r) by
    // its Taylor polynomial to r^7 (truncation below 1e-8 relative).
    constexpr float kLog2e = 1.44269504f;
    constexpr float kLn2Hi = 0.693145751953125f;
    constexpr float kLn2Lo = 1.42860677e-6f;
    constexpr float kShifter = 12582912.0f;  // 1.5 * 2^23: adding it rounds to an integer
    for (int i = 0; i < count; ++i) {
        const float x = q[i];
        const float j = (x * kLog2e + kShifter) - kShifter;
        const float r = (x - j * kLn2Hi) - j * kLn2Lo;
        float p = 1.0f / 5040.0f;
        p = p * r + 1.0f / 720.0f;
        p = p * r + 1.0f / 120.0f;
        p = p * r + 1.0f / 24.0f;
        p = p * r + 1.0f / 6.0f;
        p = p * r + 0.5f;
        p = p * r + 1.0f;
        p = p * r + 1.0f;
        // Two factors, so that a subnormal result is rounded once.
        const std::int32_t e = static_cast<std::int32_t>(j);
        const std::int32_t e1 = e >> 1;
        out[i] = (p * pow2(e1)) * pow2(e - e1);
    }
}

}  // namespace orbelix::tools
