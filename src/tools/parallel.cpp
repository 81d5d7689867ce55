#include "tools/parallel.hpp"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <vector>

namespace orbelix::tools {

Parallel::Parallel(int workers, std::function<bool()> poll)
    : workers_(std::max(1, workers)), poll_(std::move(poll)) {}

bool Parallel::stopping() {
    if (stop_.load(std::memory_order_relaxed)) return true;
    if (!polling_ || std::this_thread::get_id() != caller_) return false;
    const Clock::time_point now = Clock::now();
    if (now < next_poll_) return false;
    next_poll_ = now + kPollEvery;
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

    std::atomic<int> next{0};
    std::mutex mutex;
    std::condition_variable done_cv;
    int running = threads - 1;  // started threads not yet done
    std::exception_ptr error;

    auto work = [&](int worker) {
        try {
            for (int task; !stopping() && (task = next++) < tasks;) body(worker, task);
        } catch (...) {
            std::lock_guard<std::mutex> lock(mutex);
            if (!error) error = std::current_exception();
            stop_.store(true);
        }
    };
    auto started = [&](int worker) {
        work(worker);
        std::lock_guard<std::mutex> lock(mutex);
        if (--running == 0) done_cv.notify_all();
    };

    polling_ = static_cast<bool>(poll_);
    caller_ = std::this_thread::get_id();
    poll_stopped_ = false;
    next_poll_ = Clock::now() + kPollEvery;
    std::vector<std::thread> pool;
    pool.reserve(threads - 1);
    try {
        for (int i = 1; i < threads; ++i) pool.emplace_back(started, i);
    } catch (...) {
        // No thread to be had: stop the ones started and report.
        stop_.store(true);
        {
            std::lock_guard<std::mutex> lock(mutex);
            running -= threads - 1 - static_cast<int>(pool.size());
        }
        for (auto &t : pool) t.join();
        polling_ = false;
        throw;
    }
    work(0);
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (running > 0) {
            if (done_cv.wait_for(lock, kPollEvery) == std::cv_status::timeout) {
                lock.unlock();
                stopping();
                lock.lock();
            }
        }
    }
    for (auto &t : pool) t.join();
    polling_ = false;
    if (poll_stopped_) throw Interrupted();
    if (error) std::rethrow_exception(error);
}

}  // namespace orbelix::tools
