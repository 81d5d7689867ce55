#include "analysis/signal/voice_grid.hpp"

namespace orbelix::tools {

bool VoiceGrid::valid() const {
    if (n < 1 || k0 < 0 || step < 1 || count < 1 || decim < 1) return false;
    if (!(c > 0.0f)) return false;
    if (bins != nullptr) {
        for (int i = 0; i < count; ++i)
            if (bins[i] < 0 || bins[i] > n / 2 || (i > 0 && bins[i] <= bins[i - 1])) return false;
        return true;
    }
    // k0 + (count-1)*step <= n/2 without overflow.
    const long long last = static_cast<long long>(k0) + static_cast<long long>(count - 1) * step;
    return last <= n / 2;
}

float window_constant(double width) {
    if (width == 1.0) return kWindowConstant;
    return static_cast<float>(19.739208802178716 * width * width);
}

}  // namespace orbelix::tools
