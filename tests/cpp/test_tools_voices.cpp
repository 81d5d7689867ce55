// The analysis package's voices: folded (decimated) voices against sampled
// full-length ones, absolute against local phase, full-resolution voices
// against the fast S-transform, worker counts and batch layouts bit for bit,
// and stopping a run.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <stdexcept>
#include <thread>
#include <atomic>
#include <chrono>
#include <functional>
#include <vector>

#include "st1/cfst1f.hpp"
#include "st1/gauss_window.hpp"
#include "analysis/signal/half_window.hpp"
#include "analysis/signal/parallel.hpp"
#include "analysis/signal/signals.hpp"
#include "analysis/signal/stransform.hpp"
#include "analysis/signal/voices.hpp"

namespace {

using orbelix::cfloat;
using namespace orbelix::tools;
using cd = std::complex<double>;

std::vector<cfloat> random_signals(int count, int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<cfloat> x(static_cast<std::size_t>(count) * n);
    for (auto &v : x) v = {u(rng), u(rng)};
    return x;
}

VoiceGrid grid(int n, int k0, int step, int count, int decim, bool absolute = false,
               float c = 19.73921f) {
    VoiceGrid g;
    g.n = n;
    g.k0 = k0;
    g.step = step;
    g.count = count;
    g.decim = decim;
    g.absolute = absolute;
    g.c = c;
    return g;
}

// count contiguous complex64 signals of n samples from x[first*n].
Signals contiguous(const std::vector<cfloat> &x, int count, int n, int first = 0) {
    Signals s;
    s.data = x.data() + static_cast<std::size_t>(first) * n;
    s.inner = count;
    s.n = n;
    s.inner_stride = n;
    return s;
}

// Every voice of one signal on grid g, voice-major.
std::vector<cfloat> voices_of(const std::vector<cfloat> &x, const VoiceGrid &g) {
    VoiceWorker w(g);
    std::vector<cfloat> a(g.n);
    cfloat mean;
    analytic_spectrum(w.signal_plan(), contiguous(x, 1, g.n), 0, a.data(), mean);
    std::vector<cfloat> out(static_cast<std::size_t>(g.count) * g.times());
    for (int i = 0; i < g.count; ++i) w.voice(a.data(), mean, i, nullptr, out.data() + i * g.times());
    return out;
}

double peak(const std::vector<cfloat> &v) {
    double m = 0;
    for (const cfloat &z : v) m = std::max(m, std::hypot(double(z.re), double(z.im)));
    return m;
}

bool same_values(const std::vector<cfloat> &a, const std::vector<cfloat> &b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].re != b[i].re || a[i].im != b[i].im) return false;
    return true;
}

TEST(ToolsWindow, TrimmedWindowIsTheGaussianUpToItsFirstZero) {
    for (float c : {19.73921f, 4.934802f, 78.95684f}) {
        for (int k : {1, 3, 40, 1000}) {
            const int limit = 5000;
            std::vector<float> w(limit), full(limit);
            const int len = trimmed_half_window(k, c, limit, w.data());
            orbelix::gauss_half_window(k, c, limit, full.data());
            ASSERT_GE(len, 1);
            for (int m = 0; m < len; ++m) ASSERT_EQ(w[m], full[m]) << k << " " << m;
            if (len < limit) {
                EXPECT_EQ(full[len], 0.0f);
                // The Gaussian falls with the offset: zero from here on.
                for (int m = len; m < limit; ++m) ASSERT_EQ(full[m], 0.0f);
            }
        }
    }
}

TEST(ToolsWindow, TableHoldsTheSameWindows) {
    for (const VoiceGrid g : {grid(4096, 0, 7, 250, 1), grid(4096, 0, 7, 250, 8)}) {
        WindowTable table(g);
        for (int i = 0; i < g.count; ++i) table.fill(i);
        std::vector<float> w(window_limit(g.n));
        for (int i = 1; i < g.count; ++i) {
            const int len = trimmed_half_window(g.bin(i), g.c, window_limit(g.n), w.data());
            ASSERT_EQ(table.length(i), len) << i;
            ASSERT_EQ(std::memcmp(table.window(i), w.data(), len * sizeof(float)), 0) << i;
        }
    }
}

// Full resolution, local phase: the rows of the fast S-transform (up to the
// sign of zeros, hence == rather than memcmp).
TEST(ToolsVoices, FullResolutionEqualsTheFastSTransform) {
    for (int n : {1, 2, 9, 64, 97, 360, 1647}) {  // 97, 1647: the band convolution
        const std::vector<cfloat> x = random_signals(1, n, n);
        const std::vector<cfloat> ref = orbelix::cfst1f({x.data(), n, 1});
        const int rows = n / 2 + 1;
        const std::vector<cfloat> got = voices_of(x, grid(n, 0, 1, rows, 1));
        for (int k = 0; k < rows; ++k)
            for (int t = 0; t < n; ++t) {
                const cfloat a = got[k * n + t], b = ref[k + t * rows];
                ASSERT_TRUE(a.re == b.re && a.im == b.im) << n << " " << k << " " << t;
            }
    }
}

// Folding modulo n/decim and one short inverse FFT against the full-length
// voice sampled every decim samples.
TEST(ToolsVoices, FoldedVoicesEqualSampledFullLengthVoices) {
    struct Case { int n, decim, k0, step; };
    for (const Case c : {Case{960, 8, 1, 1}, Case{960, 960, 0, 5}, Case{1024, 64, 3, 17},
                         Case{105, 5, 0, 1}, Case{4096, 2, 100, 333}}) {
        for (bool absolute : {false, true}) {
            const int count = (c.n / 2 - c.k0) / c.step + 1;
            const std::vector<cfloat> x = random_signals(1, c.n, c.n + c.decim);
            const VoiceGrid folded = grid(c.n, c.k0, c.step, count, c.decim, absolute);
            ASSERT_TRUE(folded.folded());
            const std::vector<cfloat> got = voices_of(x, folded);
            const std::vector<cfloat> full = voices_of(x, grid(c.n, c.k0, c.step, count, 1, absolute));
            const double tol = 2e-6 * peak(full);
            const int nt = folded.times();
            for (int i = 0; i < count; ++i)
                for (int j = 0; j < nt; ++j) {
                    const cfloat a = got[i * nt + j];
                    const cfloat b = full[static_cast<std::size_t>(i) * c.n + j * c.decim];
                    ASSERT_NEAR(a.re, b.re, tol) << c.n << "/" << c.decim << " voice " << i;
                    ASSERT_NEAR(a.im, b.im, tol) << c.n << "/" << c.decim << " voice " << i;
                }
        }
    }
}

// A decim that does not divide n samples the full-length voice: same bits.
TEST(ToolsVoices, SampledVoicesAreTheFullLengthValues) {
    const int n = 1000, decim = 7, count = 40;
    const std::vector<cfloat> x = random_signals(1, n, 5);
    const VoiceGrid g = grid(n, 2, 12, count, decim, true);
    ASSERT_FALSE(g.folded());
    const std::vector<cfloat> got = voices_of(x, g);
    const std::vector<cfloat> full = voices_of(x, grid(n, 2, 12, count, 1, true));
    for (int i = 0; i < count; ++i)
        for (int j = 0; j < g.times(); ++j) {
            const cfloat a = got[i * g.times() + j], b = full[i * n + j * decim];
            ASSERT_TRUE(a.re == b.re && a.im == b.im);
        }
}

// Absolute phase: voice k times exp(2 pi i k t / n), against the local voice
// rotated in double precision.
TEST(ToolsVoices, AbsolutePhaseIsTheLocalVoiceRotated) {
    for (int n : {255, 256}) {
        const std::vector<cfloat> x = random_signals(1, n, 9);
        const int count = n / 2 + 1;
        const std::vector<cfloat> local = voices_of(x, grid(n, 0, 1, count, 1, false));
        const std::vector<cfloat> absolute = voices_of(x, grid(n, 0, 1, count, 1, true));
        const double tol = 2e-6 * peak(local);
        for (int k = 0; k < count; ++k)
            for (int t = 0; t < n; ++t) {
                const cfloat l = local[k * n + t];
                const cd want = cd(l.re, l.im) * std::polar(1.0, 2 * M_PI * double((k * t) % n) / n);
                const cfloat a = absolute[k * n + t];
                ASSERT_NEAR(a.re, want.real(), tol) << n << " " << k << " " << t;
                ASSERT_NEAR(a.im, want.imag(), tol) << n << " " << k << " " << t;
            }
    }
}

// The same numbers whatever the worker count and whichever way a batch is
// shared out (whole signals per worker, or the voices of one signal).
TEST(ToolsVoices, BatchesAndWorkersGiveTheSameBits) {
    const int n = 600, batch = 9;
    const std::vector<cfloat> x = random_signals(batch, n, 3);
    for (const VoiceGrid g : {grid(n, 4, 3, 80, 1), grid(n, 0, 2, 120, 6, true), grid(n, 1, 1, 50, 7)}) {
        const std::size_t per = static_cast<std::size_t>(g.count) * g.times();
        std::vector<cfloat> single(per * batch);
        for (int b = 0; b < batch; ++b) {
            Parallel one(1);
            stransform(contiguous(x, 1, n, b), g, Output::complex, single.data() + b * per, one);
        }
        for (int workers : {1, 2, 3}) {
            std::vector<cfloat> all(per * batch);
            Parallel par(workers, [] { return false; });
            stransform(contiguous(x, batch, n), g, Output::complex, all.data(), par);
            EXPECT_TRUE(same_values(all, single)) << "workers " << workers;
            // Two signals: shared out voice by voice.
            std::vector<cfloat> two(2 * per);
            Parallel par2(workers, [] { return false; });
            stransform(contiguous(x, 2, n), g, Output::complex, two.data(), par2);
            EXPECT_TRUE(same_values(two, std::vector<cfloat>(single.begin(), single.begin() + 2 * per)));
        }
        std::vector<float> power(per * batch), magnitude(per * batch);
        Parallel p1(2), p2(2);
        stransform(contiguous(x, batch, n), g, Output::power, power.data(), p1);
        stransform(contiguous(x, batch, n), g, Output::magnitude, magnitude.data(), p2);
        for (std::size_t i = 0; i < per * batch; ++i) {
            const cfloat z = single[i];
            ASSERT_EQ(power[i], z.re * z.re + z.im * z.im);
            ASSERT_EQ(magnitude[i], std::hypot(z.re, z.im));  // as float: rounded once
        }
    }
}

// Signals read in place from strided real or double-precision arrays are
// those rounded to complex64 first.
TEST(ToolsSignals, LoadRoundsAndFollowsStrides) {
    const int n = 37;
    std::vector<std::complex<double>> z(3 * 2 * n);
    std::mt19937 rng(4);
    std::normal_distribution<double> u;
    for (auto &v : z) v = {u(rng), u(rng)};
    std::vector<double> re(z.size());
    for (std::size_t i = 0; i < z.size(); ++i) re[i] = z[i].real();
    // Layout (time, outer=3, inner=2): element (o, j, t) at t*6 + o*2 + j.
    for (SampleType type : {SampleType::complex128, SampleType::float64}) {
        Signals s;
        s.data = type == SampleType::complex128 ? static_cast<const void *>(z.data()) : re.data();
        s.type = type;
        s.outer = 3;
        s.inner = 2;
        s.n = n;
        s.outer_stride = 2;
        s.inner_stride = 1;
        s.sample_stride = 6;
        std::vector<cfloat> got(n);
        for (int i = 0; i < s.count(); ++i) {
            s.load(i, got.data());
            for (int t = 0; t < n; ++t) {
                const std::complex<double> v = z[t * 6 + (i / 2) * 2 + i % 2];
                ASSERT_EQ(got[t].re, static_cast<float>(v.real()));
                ASSERT_EQ(got[t].im, type == SampleType::float64 ? 0.0f : static_cast<float>(v.imag()));
            }
        }
    }
}

TEST(ToolsParallel, PollStopsTheRunAndBodyErrorsPropagate) {
    std::atomic<int> done{0};
    int polls = 0;
    Parallel par(2, [&] { return ++polls >= 2; });
    EXPECT_THROW(par.run(100000, [&](int, int) {
                     std::this_thread::sleep_for(std::chrono::milliseconds(1));
                     ++done;
                 }),
                 Interrupted);
    EXPECT_GE(polls, 2);
    EXPECT_LT(done.load(), 100000);
    EXPECT_THROW(par.run(1, [](int, int) {}), Interrupted);  // stays stopped

    // The first task fails; the tasks already claimed wait until the run is
    // stopping, finish, and no worker claims another.
    Parallel failing(3, [] { return false; });
    std::atomic<int> ran{0};
    EXPECT_THROW(failing.run(1000,
                             [&](int, int task) {
                                 if (task == 0) throw std::runtime_error("boom");
                                 while (!failing.stopping()) std::this_thread::yield();
                                 ++ran;
                             }),
                 std::runtime_error);
    EXPECT_LE(ran.load(), 2);
}

// One worker runs in the caller's thread, which polls between tasks and in
// stopping(), so that even a single long task can be stopped. Polls come at
// most every 20 ms: a lower bound on the time between them, which a loaded
// machine only lengthens.
TEST(ToolsParallel, OneWorkerRunsAndPollsInTheCallersThread) {
    using Clock = std::chrono::steady_clock;
    const auto caller = std::this_thread::get_id();
    int polls = 0, done = 0;
    bool elsewhere = false, in_task = false, during_task = false;
    std::vector<Clock::time_point> poll_times;
    std::vector<int> done_at_poll;
    Parallel par(1, [&] {
        elsewhere |= std::this_thread::get_id() != caller;
        during_task |= in_task;
        poll_times.push_back(Clock::now());
        done_at_poll.push_back(done);
        return ++polls >= 2;
    });
    const int tasks = 1000000;
    const Clock::time_point start = Clock::now();
    EXPECT_THROW(par.run(tasks, [&](int w, int) {
                     elsewhere |= w != 0 || std::this_thread::get_id() != caller;
                     in_task = true;
                     std::this_thread::sleep_for(std::chrono::milliseconds(1));
                     in_task = false;
                     ++done;
                 }),
                 Interrupted);
    EXPECT_FALSE(elsewhere);
    EXPECT_FALSE(during_task);
    ASSERT_EQ(polls, 2);
    EXPECT_GE(poll_times[0] - start, std::chrono::milliseconds(20));
    EXPECT_GE(poll_times[1] - poll_times[0], std::chrono::milliseconds(20));
    EXPECT_GT(done_at_poll[1], done_at_poll[0]);  // tasks ran between the polls
    EXPECT_EQ(done, done_at_poll[1]);             // and none after the stopping one
    EXPECT_LT(done, tasks);
    EXPECT_THROW(par.run(1, [](int, int) {}), Interrupted);  // stays stopped

    // One task that runs until told to stop (or 5 s): stopping() itself polls.
    int calls = 0;
    Parallel single(4, [&] { return ++calls >= 3; });
    EXPECT_THROW(single.run(1,
                            [&](int, int) {
                                for (int i = 0; i < 5000 && !single.stopping(); ++i)
                                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                            }),
                 Interrupted);
    EXPECT_EQ(calls, 3);

    // A poll that never stops leaves a run complete; an error stops it.
    int ran = 0;
    Parallel quiet(1, [] { return false; });
    quiet.run(30, [&](int, int) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ++ran;
    });
    EXPECT_EQ(ran, 30);
    EXPECT_THROW(quiet.run(5, [](int, int task) {
                     if (task == 2) throw std::runtime_error("boom");
                 }),
                 std::runtime_error);
}

TEST(ToolsParallel, EveryTaskRunsOnceOnAWorkerInRange) {
    // Worker 0 is the caller's thread, every other worker a thread of its own.
    const auto caller = std::this_thread::get_id();
    for (int workers : {1, 2, 5}) {
        std::vector<std::atomic<int>> hits(257);
        std::atomic<bool> bad_worker{false}, misplaced{false};
        Parallel par(workers, workers == 2 ? std::function<bool()>([] { return false; }) : nullptr);
        par.run(257, [&](int w, int t) {
            if (w < 0 || w >= workers) bad_worker = true;
            if ((w == 0) != (std::this_thread::get_id() == caller)) misplaced = true;
            ++hits[t];
        });
        EXPECT_FALSE(bad_worker.load());
        EXPECT_FALSE(misplaced.load()) << workers << " workers";
        for (auto &h : hits) ASSERT_EQ(h.load(), 1);
    }
}

TEST(ToolsParallel, PollNeverOverlapsAnotherWorkersRead) {
    // The caller polls for as long as worker 1 reads, in short reads back to
    // back; no poll may run while a read is under way.
    std::atomic<int> inside{0}, reads{0};
    std::atomic<bool> overlap{false}, reader_done{false};
    int polls = 0;
    Parallel par(2, [&] {
        if (inside.load() != 0) overlap = true;
        ++polls;
        return false;
    });
    par.run(2, [&](int w, int) {
        if (w == 0) {
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!reader_done && std::chrono::steady_clock::now() < end) par.stopping();
            return;
        }
        for (int i = 0; i < 4000; ++i) {
            const Parallel::Reading reading(par);
            ++inside;
            std::this_thread::sleep_for(std::chrono::microseconds(50));
            --inside;
            ++reads;
        }
        reader_done = true;
    });
    EXPECT_EQ(reads.load(), 4000);
    EXPECT_GE(polls, 5);
    EXPECT_FALSE(overlap.load());
}

TEST(ToolsParallel, ReadersHeldBackByAStoppingPollDoNotRead) {
    // The poll takes 30 ms and stops the run: worker 1, reading back to back,
    // is held at the gate meanwhile and must not read once the poll stopped.
    std::atomic<bool> stopped{false}, read_after_stop{false};
    std::atomic<int> reads{0};
    Parallel par(2, [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        stopped = true;
        return true;
    });
    EXPECT_THROW(par.run(2,
                         [&](int w, int) {
                             if (w == 0) {
                                 while (!par.stopping()) std::this_thread::yield();
                                 return;
                             }
                             while (true) {
                                 const Parallel::Reading reading(par);
                                 if (stopped) read_after_stop = true;
                                 ++reads;
                                 if (par.stopping()) return;
                             }
                         }),
                 Interrupted);
    EXPECT_GT(reads.load(), 0);
    EXPECT_FALSE(read_after_stop.load());
}

}  // namespace
