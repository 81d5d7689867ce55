// Tasks over worker threads, stoppable from the calling thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "core/interrupt.hpp"

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
    // order by min(workers, tasks) workers numbered 0 .. : worker 0 is the
    // caller's thread, the others threads started for the run. When the
    // poll asks to stop or a body throws, the workers finish their current
    // task and claim no more; the run then throws Interrupted or the body's
    // exception. The caller polls between its tasks, in stopping(), and
    // while it waits for the other workers to finish, at most every 20 ms.
    // (A thread of its own for worker 0 cost about 50 us a run, more than a
    // short signal's transform.)
    void run(int tasks, const std::function<void(int worker, int task)> &body);

    // True once a run is being stopped: long tasks check it between steps.
    // On the caller's thread it also polls, at most every 20 ms.
    bool stopping();

    // Marks, while it lives, a read of the caller's input by this worker.
    // The poll may free that input (Python signal handlers run there), so it
    // waits until no other worker is inside a read, and holds new reads
    // back until it returns; a reader held back while the run was stopped
    // throws Interrupted instead of reading.
    class Reading {
    public:
        explicit Reading(Parallel &par);
        ~Reading();
        Reading(const Reading &) = delete;
        Reading &operator=(const Reading &) = delete;

    private:
        Parallel &par_;
        bool counted_ = false;
    };

private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kPollEvery{20};

    int workers_;
    std::function<bool()> poll_;
    std::atomic<bool> stop_{false};
    // Set by the caller before a run starts its threads and cleared after
    // they end; the poll state only the caller's thread touches.
    bool polling_ = false;
    std::thread::id caller_;
    bool poll_stopped_ = false;
    Clock::time_point next_poll_{};
    // The read gate: readers inside a Reading, and whether the poll holds
    // new ones back.
    void poll_gated();
    std::mutex gate_mutex_;
    std::condition_variable gate_cv_;
    int readers_ = 0;
    bool caller_reading_ = false;
    bool gate_closed_ = false;
};

}  // namespace orbelix::tools
