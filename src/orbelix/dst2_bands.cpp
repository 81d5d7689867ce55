#include "orbelix/dst2_bands.hpp"

#include <cstring>

#include "orbelix/fatal_stop.hpp"

namespace orbelix::dst2_bands {

void require_valid_side(View2<cfloat> a) {
    const int n = a.n1;
    if (n < 0 || n > max_side || (n & (n - 1)) != 0 || a.n2 != n) fatal_stop();
}

void transform_copy(int side, const float *in, float *out, void (*transform)(View2<cfloat>)) {
    if (side == 0) return;
    const View2<cfloat> a = column_major(reinterpret_cast<cfloat *>(out), side, side);
    require_valid_side(a);
    if (in != out) std::memcpy(out, in, static_cast<std::size_t>(side) * side * sizeof(cfloat));
    transform(a);
}

}  // namespace orbelix::dst2_bands
