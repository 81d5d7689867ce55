// The boundary of the C routines of orbelix.h: the one place where an
// exception of the core becomes what their interface documents, a stop of
// the process for the entry routines and an error code for the FFT engine's
// routines (no C++ exception reaches a C caller).
#pragma once

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>

#include "core/errors.hpp"

namespace orbelix {

// Ends the process with exit status 1 and no message of its own.
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
// instead of unwinding into a C caller: silently for a refused call (Refused),
// through fatal_stop(routine, ...) for anything else.
template <class Body>
void at_c_boundary(const char *routine, Body &&body) noexcept {
    try {
        body();
    } catch (const Refused &) {
        fatal_stop();
    } catch (const std::bad_alloc &) {
        fatal_stop(routine, "out of memory");
    } catch (const std::exception &e) {
        fatal_stop(routine, e.what());
    } catch (...) {
        fatal_stop(routine, "unexpected failure");
    }
}

// Runs body for a C routine that reports through ier: an exception sets
// *ier = failure instead of unwinding into the C caller.
template <class Body>
void with_ier(int *ier, int failure, Body &&body) noexcept {
    try {
        body();
    } catch (...) {
        *ier = failure;
    }
}

}  // namespace orbelix
