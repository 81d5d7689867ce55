// The core's one way of refusing a call: an exception.
//
// Inside the core a call that cannot be carried out throws; only the
// engine's public C routines report through ier, and only the C entry
// routines of orbelix.h turn an exception into a stop of the process
// (core/c_boundary.hpp), as their interface documents. The Python wrappers
// call the same bodies and raise instead.
#pragma once

#include <stdexcept>

namespace orbelix {

// A size outside a routine's contract (a 2-D side that is no power of two,
// shapes that disagree) or an inner FFT call that failed. The C entry
// routines stop without a message on it; a Python wrapper, which checks its
// arguments first, would raise RuntimeError.
class Refused : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

[[noreturn]] inline void refuse(const char *what) { throw Refused(what); }

}  // namespace orbelix
