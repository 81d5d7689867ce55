// Tasks over worker threads, stoppable from the calling thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <cstddef>
#include <mutex>
#include <new>
#include <string>
#include <thread>

#include "core/interrupt.hpp"

namespace orbelix::tools {

// Thrown by Parallel::run when the poll asked to stop: the core's own.
using orbelix::Interrupted;

// A working buffer that could not be allocated, named with its size in
// bytes (an estimate where it holds FFT tables), for the caller's message.
class OutOfMemory : public std::bad_alloc {
public:
    OutOfMemory(const std::string &buffer, std::size_t bytes, bool estimated = false);
    const char *what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// make(), an allocation of `buffer` (bytes in all): std::bad_alloc or
// std::length_error from it becomes OutOfMemory.
template <class F>
auto allocate_named(const std::string &buffer, std::size_t bytes, F &&make) -> decltype(make()) {
    try {
        return make();
    } catch (const OutOfMemory &) {
        throw;
    } catch (const std::bad_alloc &) {
        throw OutOfMemory(buffer, bytes);
    } catch (const std::length_error &) {
        throw OutOfMemory(buffer, bytes);
    }
}

class Parallel {
public:
    // workers >= 1 threads. poll, when given, is called by the waiting
    // caller about every 20 ms; returning true stops the run.
    explicit Parallel(int workers, std::function<bool()> poll = {});

    int workers() const { return workers_; }

    // Calls body(worker, task) for task = 0 .. tasks-1, claimed in increasing
    // order by min(workers, tasks) workers numbered 0 .. : worker 0 is the
    // caller's thread, the others threads started for the run. A thread
    // that cannot be started (no memory for its stack, a limit on threads)
    // leaves the run, and the later runs, to the workers started: the
    // tasks are the same, whichever worker takes them. When the
    // poll asks to stop or a body throws, the workers finish their current
    // task and claim no more; the run then throws Interrupted or the body's
    // exception. The caller polls between its tasks, in stopping(), and
    // while it waits for the other workers to finish, at most every 20 ms.
    // (Worker 0 is the caller itself because starting a thread costs more
    // than a short signal's transform.)
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
    int startable_;  // workers a run may have, after a thread failed to start
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
