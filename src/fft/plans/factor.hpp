// Factorisation of a transform length and the twiddle tables built from it.
#pragma once

namespace orbelix::fftpack {

// Factors of n >= 2 in the order the passes use them: 4s, at most one 2,
// 3s, 5s, then the remaining primes increasing. Writes them to ip (room for
// 32 is always enough) and returns their number.
int factor(int n, int *ip);

// Twiddle block WA(ido, ip-1, 2) of one pass: cos and sin of
// (i-1)(j-1)*2pi/(ido*ip), with the ip-th roots of unity in the i = 1
// entries when ip > 5.
void tables(int ido, int ip, float *wa);

// Fills the table of length n >= 2: twiddle blocks in wa[0 .. 2n), the
// number of factors at *fnf and the factors from fac, all as floats.
void mcfti1(int n, float *wa, float *fnf, float *fac);

// The table of length n >= 1 into wsave (table_floats(n) floats), as cfft1i
// and cfftmi write it: nothing to write for n = 1.
void fill_table(int n, float *wsave);

}  // namespace orbelix::fftpack
