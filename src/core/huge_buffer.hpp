// Huge pages for scratch and large results.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "core/view.hpp"

namespace orbelix {

// Memory for large results that a routine writes whole: advised for huge
// pages, and a released block is kept (one at a time) for the next result
// of the same size. Fresh pages cost the system a fault and
// a pass clearing them before the first store lands; a kept block has them
// mapped already. Kept memory is handed back to the system lazily
// (MADV_FREE): under memory pressure the kernel takes its pages, which then
// come back cleared, as fresh ones would. Thread-safe.
namespace result_pages {

// Blocks below this size are served by malloc alone, which keeps and reuses
// them itself.
constexpr std::size_t kKeptFrom = std::size_t{32} << 20;

// nullptr when there is no memory.
void *allocate(std::size_t bytes) noexcept;
// p from allocate() or resize() (or nullptr), bytes as allocated.
void release(void *p, std::size_t bytes) noexcept;
// As realloc.
void *resize(void *p, std::size_t bytes) noexcept;
// Frees the kept block, if any (for tests and for callers that know no
// result of its size comes again).
void drop_kept() noexcept;
// Size of the kept block, 0 if none.
std::size_t kept_bytes() noexcept;

}  // namespace result_pages

// Scratch of `count` complex values on transparent huge pages where the
// system offers them. A block of voices read across its columns touches a
// page per column at 4 KB pages, more than the first-level TLB holds; one
// or two 2 MB pages cover it. Small buffers stay on ordinary pages: a huge
// page would only add a fault that zeroes 2 MB.
class HugeBuffer {
public:
    // Throws std::bad_alloc.
    explicit HugeBuffer(std::size_t count) {
        const std::size_t bytes = count * sizeof(cfloat);
        const bool huge = bytes >= kHuge;
        void *p = nullptr;
        if (posix_memalign(&p, huge ? kHuge : 64, bytes > 0 ? bytes : 1) != 0) throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
        if (huge) madvise(p, bytes, MADV_HUGEPAGE);  // advice only: failure leaves 4 KB pages
#endif
        data_ = static_cast<cfloat *>(p);
    }
    ~HugeBuffer() { std::free(data_); }
    HugeBuffer(const HugeBuffer &) = delete;
    HugeBuffer &operator=(const HugeBuffer &) = delete;

    cfloat *data() const { return data_; }

private:
    static constexpr std::size_t kHuge = std::size_t{1} << 21;
    cfloat *data_ = nullptr;
};

}  // namespace orbelix
