#include "core/huge_buffer.hpp"

#include <cstdint>
#include <cstdlib>
#include <mutex>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace orbelix::result_pages {

namespace {

constexpr std::uintptr_t kPage = 4096;

std::mutex kept_lock;
void *kept = nullptr;  // guarded by kept_lock
std::size_t kept_size = 0;

}  // namespace

void *allocate(std::size_t bytes) noexcept {
    if (bytes < kKeptFrom) return std::malloc(bytes > 0 ? bytes : 1);
    {
        const std::lock_guard<std::mutex> hold(kept_lock);
        if (kept != nullptr && kept_size == bytes) {
            void *p = kept;
            kept = nullptr;
            kept_size = 0;
            return p;
        }
    }
    // Plain malloc, not aligned to a huge page: an aligned block would take
    // up to 2 MB more address space than the result. The kernel backs the
    // whole huge pages inside the block with huge pages all the same.
    void *p = std::malloc(bytes);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (p != nullptr) {
        const auto a = reinterpret_cast<std::uintptr_t>(p);
        const std::uintptr_t from = (a + kPage - 1) / kPage * kPage;
        if (from < a + bytes) madvise(reinterpret_cast<void *>(from), a + bytes - from, MADV_HUGEPAGE);
    }
#endif
    return p;
}

void release(void *p, std::size_t bytes) noexcept {
    if (p == nullptr) return;
    if (bytes < kKeptFrom) {
        std::free(p);
        return;
    }
#if defined(__linux__) && defined(MADV_FREE)
    // Whole pages inside the block only: the allocator's own bookkeeping
    // lies before it.
    const auto a = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t from = (a + kPage - 1) / kPage * kPage;
    const std::uintptr_t to = (a + bytes) / kPage * kPage;
    if (from < to) madvise(reinterpret_cast<void *>(from), to - from, MADV_FREE);  // advice only
#endif
    void *old = nullptr;
    {
        const std::lock_guard<std::mutex> hold(kept_lock);
        old = kept;
        kept = p;
        kept_size = bytes;
    }
    std::free(old);
}

void *resize(void *p, std::size_t bytes) noexcept { return std::realloc(p, bytes > 0 ? bytes : 1); }

void drop_kept() noexcept {
    void *old = nullptr;
    {
        const std::lock_guard<std::mutex> hold(kept_lock);
        old = kept;
        kept = nullptr;
        kept_size = 0;
    }
    std::free(old);
}

std::size_t kept_bytes() noexcept {
    const std::lock_guard<std::mutex> hold(kept_lock);
    return kept_size;
}

}  // namespace orbelix::result_pages
