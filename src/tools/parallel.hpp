// Tasks over worker threads, stoppable from the calling thread.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>

#include "orbelix/interrupt.hpp"

namespace orbelix::tools {

// Thrown by Parallel::run when the poll asked to stop: the core's own.
using orbelix::Interrupted;

class Parallel {
public:
    // workers >= 1 threads. poll, when given, is called by the waiting
    // caller about every 20 ms; returning true stops the run.
    explicit Parallel(int workers, std::function<bool()> poll = {});

    int workers() const { return workers_; }

    // Calls body(worker, task) for task = 0 .. tasks-1, claimed in increasing
    // order by min(workers, tasks) threads numbered 0 .. ; the caller waits,
    // polling. When the poll asks to stop or a body throws, the threads
    // finish their current task and claim no more; the run then throws
    // Interrupted or the body's exception. One worker runs in the caller's
    // thread, which then polls between tasks and in stopping(): a thread of
    // its own cost about 50 us a run, more than a short signal's transform.
    void run(int tasks, const std::function<void(int worker, int task)> &body);

    // True once a run is being stopped: long tasks check it between steps.
    // In a run on the caller's thread it polls, at most every 20 ms.
    bool stopping();

private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kPollEvery{20};

    void run_here(int tasks, const std::function<void(int, int)> &body);
    void run_threads(int threads, int tasks, const std::function<void(int, int)> &body);

    int workers_;
    std::function<bool()> poll_;
    std::atomic<bool> stop_{false};
    // Set while a run goes on in the caller's thread (no other thread reads
    // them then).
    bool polls_here_ = false;
    bool poll_stopped_ = false;
    Clock::time_point next_poll_{};
};

}  // namespace orbelix::tools
