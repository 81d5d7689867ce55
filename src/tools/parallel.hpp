// Tasks over worker threads, stoppable from the calling thread.
#pragma once

#include <atomic>
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
    // order by min(workers, tasks) threads numbered 0 .. ; the caller waits.
    // When the poll asks to stop or a body throws, the threads finish their
    // current task and claim no more; the run then throws Interrupted or
    // the body's exception. Without a poll, one worker runs in the caller.
    void run(int tasks, const std::function<void(int worker, int task)> &body);

    // True once a run is being stopped: long tasks check it between steps.
    bool stopping() const { return stop_.load(std::memory_order_relaxed); }

private:
    int workers_;
    std::function<bool()> poll_;
    std::atomic<bool> stop_{false};
};

}  // namespace orbelix::tools
