// Pass drivers: one self-sorting pass per factor, the data moving between
// c and work so that no permutation and no final copy are needed.
//
//   c1fm1f / c1fm1b  = drive<true / false, false, S>  (one sequence)
//   cmfm1f / cmfm1b  = drive<true / false, true, S>   (a batch of `lot`)
// S is the layout of both arrays (pass_layout.hpp).
#pragma once

#include "fftpack/pass_layout.hpp"
#include "fftpack/radix2.hpp"
#include "fftpack/radix3.hpp"
#include "fftpack/radix4.hpp"
#include "fftpack/radix5.hpp"
#include "fftpack/radixg.hpp"

namespace orbelix::fftpack {

// wsave: the table of length n (twiddle blocks, then the number of factors
// at float 2n and the factors after it). The result always ends in c.
template <bool Fwd, bool Many, class S>
void drive(int lot, int n, S c, S work, const float *wsave) {
    const int nf = static_cast<int>(wsave[2 * static_cast<long>(n)]);
    const float *fac = wsave + 2 * static_cast<long>(n) + 1;
    int na = 0;  // 0: the data are in c, 1: in work
    int l1 = 1;
    long iw = 0;
    for (int k1 = 0; k1 < nf; ++k1) {
        const int ip = static_cast<int>(fac[k1]);
        const int l2 = ip * l1;
        const int ido = n / l2;
        const float *wa = wsave + iw;
        const S from = na ? work : c;
        const S to = na ? c : work;
        switch (ip) {
        case 2: pass2<Fwd, Many>(lot, ido, l1, na, from, to, wa); break;
        case 3: pass3<Fwd, Many>(lot, ido, l1, na, from, to, wa); break;
        case 4: pass4<Fwd, Many>(lot, ido, l1, na, from, to, wa); break;
        case 5: pass5<Fwd, Many>(lot, ido, l1, na, from, to, wa); break;
        default: passg<Fwd, Many>(lot, ido, ip, l1, l1 * ido, na, from, to, wa); break;
        }
        if (ip <= 5) na = 1 - na;
        l1 = l2;
        iw += 2L * (ip - 1) * ido;
    }
}

}  // namespace orbelix::fftpack
