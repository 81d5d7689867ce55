#include "fft/api/init_table.hpp"

#include "fft/checks/checks.hpp"
#include "fft/plans/factor.hpp"

namespace orbelix::fftpack {

int init_table(const char *name, int n, float *wsave, int lensav) {
    int ier = 0;
    if (reject(n < 1, name, 1, kBadLength, ier) || reject(lensav < table_floats(n), name, 3, 2, ier))
        return ier;
    fill_table(n, wsave);
    return 0;
}

}  // namespace orbelix::fftpack
