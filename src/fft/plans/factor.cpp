#include "fft/plans/factor.hpp"

#include <cmath>

namespace orbelix::fftpack {

int factor(int n, int *ip) {
    static constexpr int ntryh[4] = {4, 2, 3, 5};
    int nl = n, nf = 0, ntry = 0;
    for (int j = 0; nl != 1; ++j) {
        ntry = j < 4 ? ntryh[j] : ntry + 2;
        while (nl % ntry == 0) {
            ip[nf++] = ntry;
            nl /= ntry;
            if (nl == 1) break;
        }
    }
    return nf;
}

void tables(int ido, int ip, float *wa) {
    const float tpi = 6.2831855f;
    const float argz = tpi / static_cast<float>(ip);
    const float arg1 = tpi / static_cast<float>(ido * ip);
    float *wcos = wa;
    float *wsin = wa + static_cast<long>(ido) * (ip - 1);
    for (int j = 2; j <= ip; ++j) {
        const float arg2 = static_cast<float>(j - 1) * arg1;
        float *c = wcos + static_cast<long>(ido) * (j - 2);
        float *s = wsin + static_cast<long>(ido) * (j - 2);
        for (int i = 1; i <= ido; ++i) {
            const float arg3 = static_cast<float>(i - 1) * arg2;
            sincosf(arg3, &s[i - 1], &c[i - 1]);
        }
        if (ip > 5) {
            const float arg4 = static_cast<float>(j - 1) * argz;
            sincosf(arg4, &s[0], &c[0]);
        }
    }
}

void mcfti1(int n, float *wa, float *fnf, float *fac) {
    int ip[32];
    const int nf = factor(n, ip);
    *fnf = static_cast<float>(nf);
    for (int k = 0; k < nf; ++k) fac[k] = static_cast<float>(ip[k]);
    int l1 = 1;
    long iw = 0;
    for (int k = 0; k < nf; ++k) {
        const int l2 = l1 * ip[k];
        const int ido = n / l2;
        tables(ido, ip[k], wa + iw);
        iw += 2L * (ip[k] - 1) * ido;
        l1 = l2;
    }
}

void fill_table(int n, float *wsave) {
    if (n > 1) mcfti1(n, wsave, wsave + 2L * n, wsave + 2L * n + 1);
}

}  // namespace orbelix::fftpack
