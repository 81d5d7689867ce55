/*
 * orbelix from C: one FFT with cfft1i/cfft1f and one fast S-transform with
 * fst/ifst, every argument passed by address. Complex values are
 * interleaved float pairs (real, imaginary); the S-transform result is
 * column-major with n/2+1 rows (voices) and n columns (time samples).
 *
 * Exits 0 when every result matches its closed form, 1 otherwise.
 */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include "orbelix.h"

#define N 12    /* any length works; 12 = 4 * 3 takes two radices */
#define FREQ 3  /* test frequency, cycles per N samples */

static const double two_pi = 6.283185307179586;

static int failures = 0;

static void expect_near(const char *what, double got, double want, double tol)
{
    if (fabs(got - want) > tol) {
        printf("FAIL %s: got %.7g, want %.7g\n", what, got, want);
        failures++;
    }
}

/* Forward FFT of exp(2 pi i FREQ t / N): scaled by 1/N, so bin FREQ is 1
   and every other bin 0. */
static void fft_example(void)
{
    int n = N, inc = 1, lenc = N, ier = 0;
    int lensav = 2 * N + 3 + 4;  /* 2n + ilog2(n) + 4, ilog2(12) = 3 */
    int lenwrk = 2 * N;
    float c[2 * N], wsave[2 * N + 3 + 4], work[2 * N];

    for (int t = 0; t < N; t++) {
        c[2 * t] = (float)cos(two_pi * FREQ * t / N);
        c[2 * t + 1] = (float)sin(two_pi * FREQ * t / N);
    }
    cfft1i(&n, wsave, &lensav, &ier);
    if (ier != 0) {
        printf("FAIL cfft1i: ier = %d\n", ier);
        failures++;
        return;
    }
    cfft1f(&n, &inc, c, &lenc, wsave, &lensav, work, &lenwrk, &ier);
    if (ier != 0) {
        printf("FAIL cfft1f: ier = %d\n", ier);
        failures++;
        return;
    }
    for (int k = 0; k < N; k++) {
        expect_near("cfft1f real part", c[2 * k], k == FREQ ? 1.0 : 0.0, 1e-6);
        expect_near("cfft1f imaginary part", c[2 * k + 1], 0.0, 1e-6);
    }
    printf("cfft1f: bin %d = (%.7f, %.7f)\n", FREQ, c[2 * FREQ], c[2 * FREQ + 1]);
}

/* S-transform of cos(2 pi FREQ t / N): voice FREQ is (1, 0) at every time,
   voice 0 holds the mean (0); ifst gives the signal back. */
static void fst_example(void)
{
    enum { ROWS = N / 2 + 1 };
    int n = N;
    float h[2 * N], back[2 * N];
    float *s = calloc(2 * ROWS * N, sizeof *s);
    if (s == NULL) {
        printf("FAIL: out of memory\n");
        failures++;
        return;
    }

    for (int t = 0; t < N; t++) {
        h[2 * t] = (float)cos(two_pi * FREQ * t / N);
        h[2 * t + 1] = 0.0f;
    }
    fst(&n, h, s);
    for (int t = 0; t < N; t++) {
        const float *voice = s + 2 * (FREQ + ROWS * t); /* row FREQ, column t */
        const float *mean = s + 2 * (ROWS * t);         /* row 0, column t */
        expect_near("fst voice real part", voice[0], 1.0, 1e-5);
        expect_near("fst voice imaginary part", voice[1], 0.0, 1e-5);
        expect_near("fst mean", hypot(mean[0], mean[1]), 0.0, 1e-6);
    }
    printf("fst: voice %d at t = 0 is (%.7f, %.7f)\n", FREQ, s[2 * FREQ], s[2 * FREQ + 1]);

    ifst(&n, s, back);
    double err = 0.0;
    for (int i = 0; i < 2 * N; i++)
        err = fmax(err, fabs(back[i] - h[i]));
    expect_near("ifst round trip, largest error", err, 0.0, 1e-6);
    printf("ifst: largest round-trip error %.2e\n", err);
    free(s);
}

int main(void)
{
    fft_example();
    fst_example();
    if (failures != 0) {
        printf("%d check(s) failed\n", failures);
        return 1;
    }
    printf("all checks passed\n");
    return 0;
}
