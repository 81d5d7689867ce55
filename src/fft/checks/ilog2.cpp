#include "fft/checks/ilog2.hpp"

#include <climits>
#include <cmath>

namespace orbelix::mutl {

int ilog2(int n) {
    // Every engine call checks its table length with this, and a thread
    // asks for the same n over and over: its last answer is kept (the
    // logarithm costs a noticeable part of a short transform).
    thread_local int last_n = 0, last = INT_MIN;
    if (n == last_n) return last;
    const float q = std::log(static_cast<float>(n)) / 0.6931472f;
    // Converting -inf or NaN to int is undefined in C++; the value the
    // hardware conversion gives for them is INT_MIN, so give that.
    const int answer = q > static_cast<float>(INT_MIN) ? static_cast<int>(q) : INT_MIN;
    last_n = n;
    last = answer;
    return answer;
}

}  // namespace orbelix::mutl
