// The table initialisation shared by cfft1i and cfftmi.
#pragma once

namespace orbelix::fftpack {

// Under the routine name `name`: checks n and lensav (reporting through
// xerfft), then fills the table of length n; returns ier.
int init_table(const char *name, int n, float *wsave, int lensav);

}  // namespace orbelix::fftpack
