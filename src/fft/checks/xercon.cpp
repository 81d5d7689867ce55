#include "fft/checks/xercon.hpp"

namespace orbelix::fftpack {

bool xercon(int inc, int jump, int n, int lot) {
    // 64-bit products: the layouts the checks accept fit, wrapped ones must
    // not slip through as consistent.
    const long long span = (n - 1LL) * inc;
    if (jump == 0) return span < 0;
    long long i = inc, j = jump;
    while (j != 0) {  // Euclid: i ends as gcd(inc, jump)
        const long long r = i % j;
        i = j;
        j = r;
    }
    const long long lcm = static_cast<long long>(inc) * jump / i;
    if (span < lcm) return true;
    return (lot - 1LL) * jump < lcm;
}

}  // namespace orbelix::fftpack
