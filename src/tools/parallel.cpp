#include "tools/parallel.hpp"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace orbelix::tools {

Parallel::Parallel(int workers, std::function<bool()> poll)
    : workers_(std::max(1, workers)), poll_(std::move(poll)) {}

bool Parallel::stopping() {
    if (stop_.load(std::memory_order_relaxed)) return true;
    if (!polls_here_ || Clock::now() < next_poll_) return false;
    next_poll_ = Clock::now() + kPollEvery;
    if (poll_()) {
        poll_stopped_ = true;
        stop_.store(true);
    }
    return poll_stopped_;
}

void Parallel::run(int tasks, const std::function<void(int, int)> &body) {
    if (stop_.load()) throw Interrupted();
    if (tasks <= 0) return;
    const int threads = std::min(workers_, tasks);
    if (threads == 1)
        run_here(tasks, body);
    else
        run_threads(threads, tasks, body);
}

void Parallel::run_here(int tasks, const std::function<void(int, int)> &body) {
    polls_here_ = static_cast<bool>(poll_);
    poll_stopped_ = false;
    next_poll_ = Clock::now() + kPollEvery;
    try {
        for (int task = 0; task < tasks && !stopping(); ++task) body(0, task);
    } catch (...) {
        polls_here_ = false;
        stop_.store(true);
        throw;
    }
    polls_here_ = false;
    if (poll_stopped_) throw Interrupted();
}

void Parallel::run_threads(int threads, int tasks, const std::function<void(int, int)> &body) {
    std::atomic<int> next{0};
    std::mutex mutex;
    std::condition_variable done_cv;
    int running = threads;
    std::exception_ptr error;

    auto work = [&](int worker) {
        try {
            for (int task; !stop_.load(std::memory_order_relaxed) && (task = next++) < tasks;)
                body(worker, task);
        } catch (...) {
            std::lock_guard<std::mutex> lock(mutex);
            if (!error) error = std::current_exception();
            stop_.store(true);
        }
        std::lock_guard<std::mutex> lock(mutex);
        if (--running == 0) done_cv.notify_all();
    };

    std::vector<std::thread> pool;
    pool.reserve(threads);
    try {
        for (int i = 0; i < threads; ++i) pool.emplace_back(work, i);
    } catch (...) {
        // No thread to be had: stop the ones started and report.
        stop_.store(true);
        {
            std::lock_guard<std::mutex> lock(mutex);
            running -= threads - static_cast<int>(pool.size());
        }
        for (auto &t : pool) t.join();
        throw;
    }
    bool interrupted = false;
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (running > 0) {
            if (done_cv.wait_for(lock, kPollEvery) == std::cv_status::timeout && poll_ &&
                !interrupted) {
                lock.unlock();
                interrupted = poll_();
                if (interrupted) stop_.store(true);
                lock.lock();
            }
        }
    }
    for (auto &t : pool) t.join();
    if (interrupted) throw Interrupted();
    if (error) std::rethrow_exception(error);
}

}  // namespace orbelix::tools
