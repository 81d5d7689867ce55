// Scratch of `count` complex values on transparent huge pages where the
// system offers them. A block of voices read across its columns touches a
// page per column at 4 KB pages, more than the first-level TLB holds; one
// or two 2 MB pages cover it. Small buffers stay on ordinary pages: a huge
// page would only add a fault that zeroes 2 MB.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "core/view.hpp"

namespace orbelix {

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
