#include "orbelix/dst2_bands.hpp"

#include "orbelix/fatal_stop.hpp"

namespace orbelix::dst2_bands {

void require_valid_side(View2<cfloat> a) {
    const int n = a.n1;
    if (n < 0 || n > max_side || (n & (n - 1)) != 0 || a.n2 != n) fatal_stop();
}

}  // namespace orbelix::dst2_bands
