#include "core/interrupt.hpp"

#include <chrono>

namespace orbelix {

namespace {

thread_local InterruptCheck *installed = nullptr;

long long now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

InterruptCheck::InterruptCheck(bool (*check)(void *), void *context, int period_ms)
    : check_(check),
      context_(context),
      period_ns_(period_ms * 1000000LL),
      next_ns_(period_ms > 0 ? now_ns() + period_ns_ : 0),
      outer_(installed) {
    installed = this;
}

InterruptCheck::~InterruptCheck() { installed = outer_; }

void InterruptCheck::poll() {
    if (period_ns_ > 0) {
        const long long now = now_ns();
        if (now < next_ns_) return;
        next_ns_ = now + period_ns_;
    }
    // Work the check does on this thread polls no further into it.
    if (running_) return;
    struct Running {
        bool &flag;
        explicit Running(bool &f) : flag(f) { flag = true; }
        ~Running() { flag = false; }
    } running(running_);
    if (check_(context_)) throw Interrupted();
}

void poll_interrupt() {
    if (installed != nullptr) installed->poll();
}

}  // namespace orbelix
