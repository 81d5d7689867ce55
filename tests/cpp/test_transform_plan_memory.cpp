// A plan that builds its block tables when reused and finds no memory for
// them goes on without them, with the same numbers. This executable replaces
// the global operator new so that allocations can be refused on demand.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <vector>

#include "test_support.hpp"
#include "fft/plans/fftpack.hpp"
#include "fft/plans/transform_plan.hpp"

namespace {
bool refuse_allocations = false;

// Refuses allocations while alive, when asked to.
struct Refusal {
    explicit Refusal(bool on) { refuse_allocations = on; }
    ~Refusal() { refuse_allocations = false; }
};
}  // namespace

void *operator new(std::size_t bytes) {
    if (refuse_allocations) throw std::bad_alloc();
    if (void *p = std::malloc(bytes == 0 ? 1 : bytes)) return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }

using namespace orbelix;
using namespace orbelix::fftpack;
using namespace orbelix::testing;

TEST(TransformPlanMemory, TablesRefusedLeaveTheTransformAsBefore) {
    const int n = 4096, at = TransformPlan::kTablesAtTransform;
    TransformPlan later(n, TransformPlan::Tables::when_reused);
    for (int use = 1; use <= at + 2; ++use) {
        const char *dir = use % 2 ? "f" : "b";
        const auto x = random_signal(n, use);
        auto want = x, got = x;
        cfft1_(dir, {want.data(), n, 1});
        // Only the transform that would build the tables is refused memory.
        {
            const Refusal refusal(use == at);
            ASSERT_NO_THROW(later.transform(dir, {got.data(), n, 1})) << "transform " << use;
        }
        EXPECT_EQ(bits_differing(got.data(), want), 0) << "transform " << use;
        EXPECT_EQ(later.padded_input().segments, 0) << "transform " << use;
    }
}
