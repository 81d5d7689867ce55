// Interrupting long transforms: the installed check is polled, stops the
// computation when it says so, and otherwise changes nothing, even when it
// runs transforms of its own on the same thread (as a Python signal handler
// may).
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "test_support.hpp"
#include "st2/cdst2b.hpp"
#include "st2/cdst2f.hpp"
#include "st1/cfst1f.hpp"
#include "core/interrupt.hpp"

using orbelix::cfloat;
using orbelix::column_major;
using orbelix::InterruptCheck;
using orbelix::Interrupted;
using orbelix::testing::random_signal;
using orbelix::testing::same_bits;

namespace {

// A check around a std::function, counting its calls.
struct Probe {
    std::function<bool(int call)> answer;
    int calls = 0;
    static bool check(void *self) {
        Probe &p = *static_cast<Probe *>(self);
        return p.answer(++p.calls);
    }
};

int differing(const std::vector<cfloat> &a, const std::vector<cfloat> &b) {
    int bad = a.size() != b.size();
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) bad += !same_bits(a[i], b[i]);
    return bad;
}

std::vector<cfloat> fst_of(const std::vector<cfloat> &h) {
    return orbelix::cfst1f({h.data(), static_cast<int>(h.size()), 1});
}

std::vector<cfloat> dst2_of(std::vector<cfloat> a, int n, bool forward) {
    if (forward)
        orbelix::cdst2f(column_major(a.data(), n, n));
    else
        orbelix::cdst2b(column_major(a.data(), n, n));
    return a;
}

}  // namespace

// A poll made before the period has passed must not call the check; the
// time is measured around each poll, so that a thread held up by a loaded
// machine changes what is expected, not the verdict. Sleeps only lengthen.
TEST(InterruptCheck, PolledAfterItsPeriodAndNestedChecksRestoreTheOuterOne) {
    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::milliseconds(30);
    Probe outer{[](int) { return false; }}, inner{[](int) { return false; }};
    orbelix::poll_interrupt();  // none installed
    {
        const Clock::time_point installed = Clock::now();
        InterruptCheck a(Probe::check, &outer, 30);
        orbelix::poll_interrupt();
        if (Clock::now() - installed < period) {
            EXPECT_EQ(outer.calls, 0);
        }
        EXPECT_LE(outer.calls, 1);
        int before = outer.calls;
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        const Clock::time_point due = Clock::now();
        orbelix::poll_interrupt();
        EXPECT_EQ(outer.calls, before + 1);
        orbelix::poll_interrupt();
        if (Clock::now() - due < period) {
            EXPECT_EQ(outer.calls, before + 1);
        }
        {
            InterruptCheck b(Probe::check, &inner, 0);
            orbelix::poll_interrupt();
            EXPECT_EQ(inner.calls, 1);
        }
        before = outer.calls;
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        orbelix::poll_interrupt();
        EXPECT_EQ(outer.calls, before + 1);
        EXPECT_EQ(inner.calls, 1);
    }
    const int after = outer.calls;
    orbelix::poll_interrupt();
    EXPECT_EQ(outer.calls, after);
}

TEST(InterruptCheck, StopsFstAndDst2WhereItSaysSo) {
    const std::vector<cfloat> h = random_signal(3000, 5);
    const int n = 256;
    const std::vector<cfloat> image = random_signal(n * n, 6);
    for (int stop_at : {1, 3}) {
        Probe probe{[stop_at](int call) { return call == stop_at; }};
        InterruptCheck check(Probe::check, &probe, 0);
        EXPECT_THROW(fst_of(h), Interrupted);
        EXPECT_EQ(probe.calls, stop_at);
        probe.calls = 0;
        EXPECT_THROW(dst2_of(image, n, true), Interrupted);
        probe.calls = 0;
        EXPECT_THROW(dst2_of(image, n, false), Interrupted);
        EXPECT_EQ(probe.calls, stop_at);
    }
}

TEST(InterruptCheck, AnsweringNoChangesNoBitEvenWithTransformsInsideTheCheck) {
    // The check runs transforms of other sizes on this thread, which take
    // over its scratch buffers; the interrupted transform must not notice.
    const std::vector<cfloat> h = random_signal(3000, 7), other = random_signal(1000, 8);
    const int n = 256, m = 512;
    const std::vector<cfloat> image = random_signal(n * n, 9), other_image = random_signal(m * m, 10);
    const std::vector<cfloat> fst_want = fst_of(h);
    const std::vector<cfloat> dst2_want = dst2_of(image, n, true);
    const std::vector<cfloat> idst2_want = dst2_of(dst2_want, n, false);

    Probe probe{[&](int) {
        fst_of(other);
        dst2_of(other_image, m, true);
        dst2_of(other_image, m, false);
        return false;
    }};
    InterruptCheck check(Probe::check, &probe, 0);
    EXPECT_EQ(differing(fst_of(h), fst_want), 0);
    EXPECT_EQ(differing(dst2_of(image, n, true), dst2_want), 0);
    EXPECT_EQ(differing(dst2_of(dst2_want, n, false), idst2_want), 0);
    EXPECT_GT(probe.calls, 10);
}
