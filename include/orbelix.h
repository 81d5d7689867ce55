/*
 * orbelix: public C interface.
 *
 * Every routine takes each argument by address. Complex data are interleaved
 * single-precision pairs, real part first; two-dimensional arrays are
 * column-major (first index fastest). Integers are 32-bit signed.
 *
 * FFT engine error codes (ier): 0 success; 1 data array too short;
 * 2 wsave too short; 3 work too short; 4 inconsistent LOT/JUMP/N/INC;
 * 5 LDIM < L; 10 a length or count below 1 (N, L, M or LOT); 11 a stride
 * below 1 (INC of cfft1f, cfft1b) or a negative one (INC, or JUMP when
 * LOT > 1, of cfftmf, cfftmb; a zero one gives 4); 13 wsave does not hold
 * the table of length N (not built by the init routine for this N); 20 an inner call
 * failed; 12 an internal failure caught at the routine's boundary (no
 * record). Every check runs before any array is touched; a refused call
 * leaves c and work as they were. Each refusal writes one record to
 * standard output and returns (the process goes on): positive codes name
 * the offending argument's position, as " ** On entry to CFFT1F parameter
 * number   8 had an illegal value"; ier 4, 5 and 20 write the layout
 * records (" ** On entry to CFFTMF parameters LOT, JUMP, N and INC are
 * inconsistent", " ** On entry to CFFT2F parameter L is greater than
 * LDIM", " ** Within CFFT2F input error returned by lower level routine").
 *
 * The S-transform routines (fst, ifst, dst2, idst2, imfreq, cmsht2) have no
 * error argument. They never let a C++ exception reach the caller; instead
 * they end the process with exit status 1:
 *  - silently, when dst2 or idst2 get a side n that is not a power of two
 *    (a negative n is none) or is above 16384;
 *  - after one line "orbelix: <routine>: <reason>" on standard error, when
 *    memory runs out ("out of memory") or a size exceeds their 32-bit
 *    arithmetic: fst and ifst with an n whose FFT table 2n + log2(n) + 4
 *    does not fit an int (n above 1073741807), imfreq with 2m + 1 above
 *    INT_MAX.
 * n <= 0 makes fst and ifst, and n = 0 makes dst2 and idst2, return without
 * touching anything.
 * The Python module checks its arguments first and raises instead.
 */
#ifndef ORBELIX_H
#define ORBELIX_H

#if defined(_WIN32)
#define ORBELIX_API __declspec(dllexport)
#else
#define ORBELIX_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* 1-D complex FFT of length n; wsave needs 2n + ilog2(n) + 4 floats,
   work 2n floats; forward is scaled by 1/n, backward unscaled. */
ORBELIX_API void cfft1i(const int *n, float *wsave, const int *lensav, int *ier);
ORBELIX_API void cfft1f(const int *n, const int *inc, float *c, const int *lenc,
                        const float *wsave, const int *lensav, float *work,
                        const int *lenwrk, int *ier);
ORBELIX_API void cfft1b(const int *n, const int *inc, float *c, const int *lenc,
                        const float *wsave, const int *lensav, float *work,
                        const int *lenwrk, int *ier);

/* lot sequences of length n: element q of sequence s at s*jump + q*inc. */
ORBELIX_API void cfftmi(const int *n, float *wsave, const int *lensav, int *ier);
ORBELIX_API void cfftmf(const int *lot, const int *jump, const int *n, const int *inc,
                        float *c, const int *lenc, const float *wsave,
                        const int *lensav, float *work, const int *lenwrk, int *ier);
ORBELIX_API void cfftmb(const int *lot, const int *jump, const int *n, const int *inc,
                        float *c, const int *lenc, const float *wsave,
                        const int *lensav, float *work, const int *lenwrk, int *ier);

/* l x m array, column-major with leading dimension ldim >= l. */
ORBELIX_API void cfft2i(const int *l, const int *m, float *wsave, const int *lensav,
                        int *ier);
ORBELIX_API void cfft2f(const int *ldim, const int *l, const int *m, float *c,
                        const float *wsave, const int *lensav, float *work,
                        const int *lenwrk, int *ier);
ORBELIX_API void cfft2b(const int *ldim, const int *l, const int *m, float *c,
                        const float *wsave, const int *lensav, float *work,
                        const int *lenwrk, int *ier);

/* Fast S-transform: h has n complex values; s is (n/2+1) x n complex,
   leading dimension n/2+1. */
ORBELIX_API void fst(const int *n, const float *h, float *s);
ORBELIX_API void ifst(const int *n, const float *s, float *h);

/* 2-D discrete S-transform of an n x n complex image, n a power of two. */
ORBELIX_API void dst2(const int *n, const float *h, float *s);
ORBELIX_API void idst2(const int *n, const float *s, float *h);

/* Local frequency domain of pixel (x, y) of an l x l coefficient matrix s;
   h is (2m+1) x (2m+1) complex. */
ORBELIX_API void imfreq(const int *l, const int *m, const float *s, const int *x,
                        const int *y, float *h);

/* Local Hilbert measures of the l x m real image r at (x, y); h gets 4 floats. */
ORBELIX_API void cmsht2(const int *l, const int *m, const float *r, const int *x,
                        const int *y, float *h, const float *coarse,
                        const float *fine, const int *kernel_size);

#ifdef __cplusplus
}
#endif

#endif /* ORBELIX_H */
