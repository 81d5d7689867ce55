// One object per worker thread of a call, made on that worker's first use,
// so that a worker given no task costs nothing. Each worker touches only its
// own slot; the objects go (through their pointer's deleter) with the slots.
#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>
#include <vector>

namespace orbelix {

// make() returns a std::unique_ptr (any deleter) to a new object.
template <class Make>
class PerWorker {
public:
    using Pointer = std::invoke_result_t<Make &>;
    using Value = typename Pointer::element_type;

    PerWorker(int workers, Make make)
        : slots_(static_cast<std::size_t>(workers)), make_(std::move(make)) {}
    PerWorker(const PerWorker &) = delete;
    PerWorker &operator=(const PerWorker &) = delete;

    // Worker w's object, 0 <= w < workers.
    Value &operator()(int w) {
        Pointer &slot = slots_[static_cast<std::size_t>(w)];
        if (!slot) slot = make_();
        return *slot;
    }

private:
    std::vector<Pointer> slots_;
    Make make_;
};

}  // namespace orbelix
