#include "orbelix/gauss_window.hpp"

#include <cmath>
#include <cstdint>

namespace orbelix {

void gauss_half_window(int k, float c, int count, float *w) {
    const float kk = static_cast<float>(static_cast<std::int64_t>(k) * k);
    for (int m = 0; m < count; ++m) {
        const float mm = static_cast<float>(static_cast<std::int64_t>(m) * m);
        w[m] = std::exp(-((c * mm) / kk));
    }
}

}  // namespace orbelix
