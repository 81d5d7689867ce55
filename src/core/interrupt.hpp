// Stopping a long computation at its caller's request. The Python module
// installs a check for the thread of a call, so that Ctrl-C ends a long
// fst, dst2 or idst2 early; with no check installed (C callers) nothing
// stops early, and a poll costs a call and a thread-local read.
#pragma once

#include <exception>

namespace orbelix {

// Thrown by poll_interrupt() when the installed check asks to stop. The
// computation's own buffers unwind with it; its result is left partly written.
struct Interrupted : std::exception {
    const char *what() const noexcept override { return "interrupted"; }
};

// Installs check(context) for this thread while it lives (restoring any
// check installed before it): poll_interrupt() calls it when period_ms
// milliseconds have passed since the install or the last call (0: at every
// poll), and throws Interrupted when it returns true. Polls made while the
// check runs (by work it does itself) do not call it again.
class InterruptCheck {
public:
    InterruptCheck(bool (*check)(void *), void *context, int period_ms = 20);
    ~InterruptCheck();
    InterruptCheck(const InterruptCheck &) = delete;
    InterruptCheck &operator=(const InterruptCheck &) = delete;

    void poll();

private:
    bool (*check_)(void *);
    void *context_;
    long long period_ns_;
    long long next_ns_;
    bool running_ = false;
    InterruptCheck *outer_;
};

// Called between steps of a long computation, outside the engine's C entry
// points (whose boundary would turn the exception into an error code).
void poll_interrupt();

}  // namespace orbelix
