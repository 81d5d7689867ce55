// Kept result pages: a released large block serves the next request of its
// size, one block at a time, from any thread.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "core/huge_buffer.hpp"

namespace rp = orbelix::result_pages;

namespace {

constexpr std::size_t kLarge = rp::kKeptFrom + 4096 * 3;

class ResultPages : public ::testing::Test {
  protected:
    void SetUp() override { rp::drop_kept(); }
    void TearDown() override { rp::drop_kept(); }
};

TEST_F(ResultPages, ReleasedBlockServesTheNextOfItsSizeOnly) {
    void *a = rp::allocate(kLarge);
    ASSERT_NE(a, nullptr);
    std::memset(a, 1, kLarge);  // every page mapped and written
    rp::release(a, kLarge);
    EXPECT_EQ(rp::kept_bytes(), kLarge);
    // Another size leaves the kept block alone.
    void *b = rp::allocate(kLarge + 4096);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(b, a);
    EXPECT_EQ(rp::kept_bytes(), kLarge);
    // The same size takes it, and it is kept no longer.
    void *c = rp::allocate(kLarge);
    EXPECT_EQ(c, a);
    EXPECT_EQ(rp::kept_bytes(), 0u);
    // Writable throughout, whatever the kernel did with its pages meanwhile.
    std::memset(c, 2, kLarge);
    EXPECT_EQ(static_cast<unsigned char *>(c)[kLarge - 1], 2);
    // The latest release replaces the kept block.
    rp::release(c, kLarge);
    rp::release(b, kLarge + 4096);
    EXPECT_EQ(rp::kept_bytes(), kLarge + 4096);
    EXPECT_EQ(rp::allocate(kLarge + 4096), b);
    rp::release(b, kLarge + 4096);
}

TEST_F(ResultPages, SmallBlocksAndResizedOnesAreNotKept) {
    void *small = rp::allocate(4096);
    ASSERT_NE(small, nullptr);
    rp::release(small, 4096);
    EXPECT_EQ(rp::kept_bytes(), 0u);
    // Resizing keeps the contents; a block shrunk below the size kept is
    // freed on release.
    auto *p = static_cast<unsigned char *>(rp::allocate(kLarge));
    ASSERT_NE(p, nullptr);
    p[0] = 7;
    p = static_cast<unsigned char *>(rp::resize(p, 100));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0], 7);
    rp::release(p, 100);
    EXPECT_EQ(rp::kept_bytes(), 0u);
    rp::release(nullptr, kLarge);
    EXPECT_EQ(rp::kept_bytes(), 0u);
}

TEST_F(ResultPages, ThreadsNeverShareABlock) {
    // Each thread writes its own mark over its whole block and checks it: a
    // block handed to two threads at once would show the other's mark.
    constexpr int kThreads = 4, kRounds = 20;
    std::vector<int> bad(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t, &bad] {
            for (int r = 0; r < kRounds; ++r) {
                auto *p = static_cast<unsigned char *>(rp::allocate(kLarge));
                if (p == nullptr) {
                    ++bad[t];
                    continue;
                }
                for (std::size_t i = 0; i < kLarge; i += 4096) p[i] = static_cast<unsigned char>(t);
                for (std::size_t i = 0; i < kLarge; i += 4096) bad[t] += p[i] != t;
                rp::release(p, kLarge);
            }
        });
    for (auto &th : threads) th.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(bad[t], 0) << "thread " << t;
    EXPECT_LE(rp::kept_bytes(), kLarge);
}

}  // namespace
