#include "fft/checks/xerfft.hpp"

#include <cstdio>

namespace orbelix::fftpack {

void xerfft(const char *name, int code) {
    const char *tail = nullptr;
    switch (code) {
    case -1: tail = " parameters LOT, JUMP, N and INC are inconsistent"; break;
    case -2: tail = " parameter L is greater than LDIM"; break;
    case -3: tail = " parameter M is greater than MDIM"; break;
    case -6: tail = " parameter LDIM is less than 2*(L/2+1)"; break;
    default: break;
    }
    if (code >= 1 && code <= 999)
        std::printf(" ** On entry to %.6s parameter number %3d had an illegal value\n", name, code);
    else if (code >= 1)  // does not fit the three-character field
        std::printf(" ** On entry to %.6s parameter number *** had an illegal value\n", name);
    else if (code == -5)
        std::printf(" ** Within %.6s input error returned by lower level routine\n", name);
    else if (tail)
        std::printf(" ** On entry to %.6s%s\n", name, tail);
    std::fflush(stdout);
}

}  // namespace orbelix::fftpack
