#include "mutl/ilog2.hpp"

#include <climits>
#include <cmath>

namespace orbelix::mutl {

int ilog2(int n) {
    const float q = std::log(static_cast<float>(n)) / 0.6931472f;
    // Converting -inf or NaN to int is undefined in C++; the value the
    // hardware conversion gives for them is INT_MIN, so give that.
    if (!(q > static_cast<float>(INT_MIN))) return INT_MIN;
    return static_cast<int>(q);
}

}  // namespace orbelix::mutl
