#include "analysis/signal/parallel.hpp"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <vector>

namespace orbelix::tools {

OutOfMemory::OutOfMemory(const std::string &buffer, std::size_t bytes, bool estimated) {
    char size[48];
    std::snprintf(size, sizeof size, "%s%.3g GB", estimated ? "about " : "",
                  static_cast<double>(bytes) / 1e9);
    message_ = buffer + " (" + size + ") could not be allocated";
}

Parallel::Parallel(int workers, std::function<bool()> poll)
    : workers_(std::max(1, workers)), startable_(workers_), poll_(std::move(poll)) {}

bool Parallel::stopping() {
    if (stop_.load(std::memory_order_relaxed)) return true;
    if (!polling_ || std::this_thread::get_id() != caller_) return false;
    const Clock::time_point now = Clock::now();
    if (now < next_poll_) return false;
    next_poll_ = now + kPollEvery;
    poll_gated();
    return poll_stopped_;
}

// The poll with the read gate closed. A stop is in place before the gate
// opens again, so that no reader waiting at it goes on to read an input the
// poll may have freed.
void Parallel::poll_gated() {
    {
        std::unique_lock<std::mutex> lock(gate_mutex_);
        gate_closed_ = true;
        gate_cv_.wait(lock, [&] { return readers_ == (caller_reading_ ? 1 : 0); });
    }
    struct Reopen {
        Parallel &par;
        ~Reopen() {
            {
                std::lock_guard<std::mutex> lock(par.gate_mutex_);
                par.gate_closed_ = false;
            }
            par.gate_cv_.notify_all();
        }
    } reopen{*this};
    if (poll_()) {
        poll_stopped_ = true;
        stop_.store(true);
    }
}

Parallel::Reading::Reading(Parallel &par) : par_(par) {
    if (!par.polling_) return;  // no poll runs: nothing to wait for
    std::unique_lock<std::mutex> lock(par.gate_mutex_);
    if (std::this_thread::get_id() == par.caller_) {
        par.caller_reading_ = true;  // the poll runs on this thread: never meanwhile
    } else {
        par.gate_cv_.wait(lock, [&] { return !par.gate_closed_; });
        if (par.stop_.load()) throw Interrupted();  // the input may be gone
    }
    ++par.readers_;
    counted_ = true;
}

Parallel::Reading::~Reading() {
    if (!counted_) return;
    {
        std::lock_guard<std::mutex> lock(par_.gate_mutex_);
        --par_.readers_;
        if (std::this_thread::get_id() == par_.caller_) par_.caller_reading_ = false;
    }
    par_.gate_cv_.notify_all();
}

void Parallel::run(int tasks, const std::function<void(int, int)> &body) {
    if (stop_.load()) throw Interrupted();
    if (tasks <= 0) return;
    int threads = std::min(startable_, tasks);

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
        // Go on with the threads started (none: the caller alone).
        const int have = 1 + static_cast<int>(pool.size());
        {
            std::lock_guard<std::mutex> lock(mutex);
            running -= threads - have;
        }
        threads = startable_ = have;
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
