// The numerical routines' stop on an invalid size or a failed FFT call.
#pragma once

#include <cstdlib>

namespace orbelix {

// Ends the process with exit status 1 and no message of its own: nothing
// below the Python boundary reports errors back to a caller.
[[noreturn]] inline void fatal_stop() { std::exit(1); }

}  // namespace orbelix
