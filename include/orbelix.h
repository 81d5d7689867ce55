/*
 * orbelix: public C interface.
 *
 * Every routine takes each argument by address. Complex data are interleaved
 * single-precision pairs, real part first; two-dimensional arrays are
 * column-major (first index fastest). Integers are 32-bit signed.
 *
 * FFT engine error codes (ier): 0 success; 1 data array too short;
 * 2 wsave too short; 3 work too short; 4 inconsistent LOT/JUMP/N/INC;
 * 5 LDIM < L; 20 an inner call failed. A length below 1 (N, L or M)
 * returns ier = 10 without touching any array. Length errors also write
 * one record to standard output, as " ** On entry to CFFT1F parameter
 * number   8 had an illegal value"; the routine then returns.
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
