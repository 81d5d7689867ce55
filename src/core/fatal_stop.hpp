// The numerical routines' stop on an invalid size or a failed FFT call, and
// the boundary of the C entry routines.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>

namespace orbelix {

// Ends the process with exit status 1 and no message of its own: nothing
// below the Python boundary reports errors back to a caller.
[[noreturn]] inline void fatal_stop() { std::exit(1); }

// The stop of an entry routine that ran out of memory or met a size beyond
// its 32-bit arithmetic: one line "orbelix: <routine>: <what>" on standard
// error, then exit status 1.
[[noreturn]] inline void fatal_stop(const char *routine, const char *what) {
    std::fflush(stdout);
    std::fprintf(stderr, "orbelix: %s: %s\n", routine, what);
    std::fflush(stderr);
    std::exit(1);
}

// Runs body for the C entry routine `routine`; an exception ends the process
// through fatal_stop(routine, ...) instead of unwinding into a C caller.
template <class Body>
void at_c_boundary(const char *routine, Body &&body) noexcept {
    try {
        body();
    } catch (const std::bad_alloc &) {
        fatal_stop(routine, "out of memory");
    } catch (const std::exception &e) {
        fatal_stop(routine, e.what());
    } catch (...) {
        fatal_stop(routine, "unexpected failure");
    }
}

}  // namespace orbelix
