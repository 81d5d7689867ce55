// Error records of the FFT engine.
#pragma once

namespace orbelix::fftpack {

// Writes the one-line record for routine `name` (first 6 characters) and
// `code` to standard output and flushes it. Positive codes name the
// offending argument's position; -1, -2, -3, -5 and -6 the layout errors.
// It returns, so the engine reports failures through ier instead of ending
// the host process.
void xerfft(const char *name, int code);

}  // namespace orbelix::fftpack
