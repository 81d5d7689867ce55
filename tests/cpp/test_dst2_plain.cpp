// cdst2f and cdst2b against a literal, plain rendering of their steps: a
// whole work copy, the 2-D FFT front-end, diagi, every band through shifft
// or shifft2 into a fresh vector, the gains, hsymm2. The transforms work in
// their result with batched band transforms; every value must come out
// with the same bits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "fft/plans/fftpack.hpp"
#include "orbelix.h"
#include "st2/cdst2b.hpp"
#include "st2/cdst2f.hpp"
#include "reference/cfft2_plan.hpp"
#include "reference/shifft.hpp"
#include "reference/symmetry.hpp"

using orbelix::cfloat;
using orbelix::column_major;
using orbelix::View1;
using orbelix::View2;

namespace {

using Mat = std::vector<cfloat>;  // n x n, column-major

View2<cfloat> view(Mat &m, int n) { return column_major(m.data(), n, n); }

float root(float v) { return std::sqrt(v); }

// ---- the plain steps ---------------------------------------------------------

Mat plain_forward(const Mat &image, int n) {
    Mat a = image;
    const View2<cfloat> A = view(a, n);
    Mat work = a;
    const View2<cfloat> X = view(work, n);
    int ier = 0;
    orbelix::fftpack::cfft2_("f", X, ier);
    EXPECT_EQ(ier, 0);
    orbelix::diagi(X, A);
    const int mid = n / 2;
    int levels = 0;
    while ((1 << levels) < n) ++levels;
    auto scaled = [](cfloat t, float f) { return cfloat{t.re * f - t.im * 0.0f, t.im * f + t.re * 0.0f}; };
    for (int p = 1; p < levels; ++p) {
        const int x = 1 << (p - 1);
        const int sx = static_cast<int>(std::floor(-(static_cast<float>(x) / 2.0f)));
        const float fx = root(static_cast<float>(x));
        const int neg = n - 2 * x + 1;
        // Six edge bands: (first row, first column, along rows?, reversed?)
        struct Edge { int r, c; bool along_row; int dr; int dc; bool reversed; };
        const Edge edges[6] = {{0, x, true, 0, x, false},     {x, 0, false, x, 0, false},
                               {neg, 0, false, n - x, 0, true}, {mid, x, true, mid, x, false},
                               {x, mid, false, x, mid, false},  {neg, mid, false, n - x, mid, true}};
        for (const Edge &e : edges) {
            const View1<cfloat> v = e.along_row ? View1<cfloat>{&X(e.r, e.c), x, n}
                                                : View1<cfloat>{&X(e.r, e.c), x, 1};
            std::vector<cfloat> t(x);
            orbelix::shifft({t.data(), x, 1}, v, sx);
            for (int k = 0; k < x; ++k) {
                const cfloat s = scaled(t[k], fx);
                if (e.along_row) A(e.dr, e.dc + k) = s;
                else if (e.reversed) A(e.dr - k, e.dc) = s;
                else A(e.dr + k, e.dc) = s;
            }
        }
        for (int q = 1; q < levels; ++q) {
            const int y = 1 << (q - 1);
            const int sy = static_cast<int>(std::floor(-(static_cast<float>(y) / 2.0f)));
            const float fxy = root(static_cast<float>(x * y));
            for (const bool negative : {false, true}) {
                const View2<cfloat> V{&X(negative ? neg : x, y), x, y, 1, n};
                std::vector<cfloat> t(static_cast<size_t>(x) * y);
                orbelix::shifft2(column_major(t.data(), x, y), V, sx, sy);
                for (int l = 0; l < y; ++l)
                    for (int k = 0; k < x; ++k)
                        A(negative ? n - x - k : x + k, y + l) = scaled(t[k + static_cast<size_t>(l) * x], fxy);
            }
        }
    }
    orbelix::hsymm2(A);
    return a;
}

Mat plain_inverse(const Mat &coefficients, int n) {
    Mat a = coefficients;
    const View2<cfloat> A = view(a, n);
    Mat work = a;
    const View2<cfloat> S = view(work, n);
    orbelix::diagi(S, A);
    const int mid = n / 2;
    int levels = 0;
    while ((1 << levels) < n) ++levels;
    auto divided = [](cfloat u, float f) {
        const float ratio = 0.0f / f, denom = f + 0.0f * ratio;
        return cfloat{(u.re + u.im * ratio) / denom, (u.im - u.re * ratio) / denom};
    };
    for (int p = 1; p < levels; ++p) {
        const int x = 1 << (p - 1);
        const int tx = -static_cast<int>(std::floor(-(static_cast<float>(x) / 2.0f)));
        const float fx = root(static_cast<float>(x));
        const int neg = n - 2 * x + 1;
        // (row, column, along rows?, reversed read?, destination row, column)
        struct Edge { int r, c; bool along_row; bool reversed; int dr, dc; };
        const Edge edges[6] = {{0, x, true, false, 0, x},         {x, 0, false, false, x, 0},
                               {n - x, 0, false, true, neg, 0},   {mid, x, true, false, mid, x},
                               {x, mid, false, false, x, mid},    {n - x, mid, false, true, neg, mid}};
        for (const Edge &e : edges) {
            std::vector<cfloat> w(x), v(x);
            for (int k = 0; k < x; ++k) {
                const cfloat u = e.along_row ? S(e.r, e.c + k) : S(e.reversed ? e.r - k : e.r + k, e.c);
                w[k] = divided(u, fx);
            }
            orbelix::shifft({v.data(), x, 1}, {w.data(), x, 1}, tx);
            for (int j = 0; j < x; ++j) {
                if (e.along_row) A(e.dr, e.dc + j) = v[j];
                else A(e.dr + j, e.dc) = v[j];
            }
        }
        for (int q = 1; q < levels; ++q) {
            const int y = 1 << (q - 1);
            const int ty = -static_cast<int>(std::floor(-(static_cast<float>(y) / 2.0f)));
            const float fxy = root(static_cast<float>(x * y));
            for (const bool negative : {false, true}) {
                std::vector<cfloat> w(static_cast<size_t>(x) * y), v(w.size());
                for (int l = 0; l < y; ++l)
                    for (int k = 0; k < x; ++k)
                        w[k + static_cast<size_t>(l) * x] = divided(S(negative ? n - x - k : x + k, y + l), fxy);
                orbelix::shifft2(column_major(v.data(), x, y), column_major(w.data(), x, y), tx, ty);
                for (int l = 0; l < y; ++l)
                    for (int k = 0; k < x; ++k)
                        A((negative ? neg : x) + k, y + l) = v[k + static_cast<size_t>(l) * x];
            }
        }
    }
    orbelix::hsymm2(A);
    int ier = 0;
    orbelix::fftpack::cfft2_("b", A, ier);
    EXPECT_EQ(ier, 0);
    return a;
}

// ---- inputs and comparison ---------------------------------------------------

enum class Kind { complex, real, signed_zeros, row_constant, non_finite };

Mat input(Kind kind, int n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    Mat m(static_cast<size_t>(n) * n);
    for (int c = 0; c < n; ++c)
        for (int r = 0; r < n; ++r) {
            cfloat &z = m[r + static_cast<size_t>(c) * n];
            switch (kind) {
                case Kind::complex: z = {u(gen), u(gen)}; break;
                case Kind::real: z = {u(gen), 0.0f}; break;
                case Kind::signed_zeros: {
                    const float v = u(gen);
                    z = {v > 0.8f ? v * 1e5f : (v < 0.0f ? -0.0f : 0.0f), v > -0.9f ? -0.0f : v};
                    break;
                }
                case Kind::row_constant: z = c == 0 ? cfloat{u(gen), u(gen)} : m[r]; break;
                case Kind::non_finite: z = {u(gen), u(gen)}; break;
            }
        }
    if (kind == Kind::non_finite && n > 1) {
        m[1] = {std::numeric_limits<float>::infinity(), 0.0f};
        m[static_cast<size_t>(n) * n - 1] = {0.0f, std::numeric_limits<float>::quiet_NaN()};
    }
    return m;
}

// Same bits, except that any NaN matches any NaN (its payload is not part
// of the stated numbers).
bool same(float a, float b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void expect_same(const Mat &got, const Mat &want, const char *what, int n) {
    ASSERT_EQ(got.size(), want.size());
    int bad = 0;
    for (size_t i = 0; i < got.size() && bad < 5; ++i)
        if (!same(got[i].re, want[i].re) || !same(got[i].im, want[i].im)) {
            ADD_FAILURE() << what << " n = " << n << " differs at (" << i % n << ", " << i / n
                          << "): " << got[i].re << ", " << got[i].im << " instead of "
                          << want[i].re << ", " << want[i].im;
            ++bad;
        }
}

Mat run_entry(void (*entry)(const int *, const float *, float *), const Mat &in, int n) {
    Mat out(in.size(), cfloat{7.0f, -7.0f});
    entry(&n, reinterpret_cast<const float *>(in.data()), reinterpret_cast<float *>(out.data()));
    return out;
}

}  // namespace

TEST(Dst2Plain, EntriesGiveThePlainStepsBitForBit) {
    for (const Kind kind : {Kind::complex, Kind::real, Kind::signed_zeros, Kind::row_constant,
                            Kind::non_finite})
        for (int n = 1; n <= 256; n *= 2) {
            const Mat g = input(kind, n, 17u * n + static_cast<unsigned>(kind));
            const Mat s = run_entry(dst2, g, n);
            expect_same(s, plain_forward(g, n), "dst2", n);
            // The inverse of genuine coefficients, and of arbitrary ones.
            expect_same(run_entry(idst2, s, n), plain_inverse(s, n), "idst2 of dst2", n);
            expect_same(run_entry(idst2, g, n), plain_inverse(g, n), "idst2", n);
        }
}

TEST(Dst2Plain, SidesWhoseMirrorIsStreamedGiveThePlainNumbers) {
    // From side 2048 the mirrored half is written past the caches, and the
    // band steps run in several batches.
    const int n = 2048;
    const Mat g = input(Kind::signed_zeros, n, 29);
    const Mat s = run_entry(dst2, g, n);
    expect_same(s, plain_forward(g, n), "dst2", n);
    expect_same(run_entry(idst2, s, n), plain_inverse(s, n), "idst2 of dst2", n);
}

TEST(Dst2Plain, InPlaceEntriesAndTwoViewFormsAgree) {
    const int n = 64;
    const Mat g = input(Kind::complex, n, 5);
    const Mat want_s = plain_forward(g, n), want_h = plain_inverse(g, n);
    // The same array as input and output.
    Mat a = g;
    dst2(&n, reinterpret_cast<const float *>(a.data()), reinterpret_cast<float *>(a.data()));
    expect_same(a, want_s, "dst2 in place", n);
    a = g;
    idst2(&n, reinterpret_cast<const float *>(a.data()), reinterpret_cast<float *>(a.data()));
    expect_same(a, want_h, "idst2 in place", n);
    // Separate source and result: the source is left alone.
    Mat src = g, out(g.size());
    orbelix::cdst2f(column_major(static_cast<const cfloat *>(src.data()), n, n), view(out, n));
    expect_same(out, want_s, "cdst2f(src, dst)", n);
    expect_same(src, g, "cdst2f source", n);
    orbelix::cdst2b(column_major(static_cast<const cfloat *>(src.data()), n, n), view(out, n));
    expect_same(out, want_h, "cdst2b(src, dst)", n);
    expect_same(src, g, "cdst2b source", n);
}

TEST(Dst2Plain, ViewsWithOtherStridesGiveThePlainNumbers) {
    const int n = 32;
    const Mat g = input(Kind::complex, n, 8);
    const Mat want_s = plain_forward(g, n), want_h = plain_inverse(g, n);
    const cfloat guard{3.0f, -3.0f};
    // A leading dimension above n (the array inside a taller one), and the
    // transposed layout (unit stride along the rows).
    struct Layout { int ld; bool transposed; };
    for (const Layout layout : {Layout{n + 5, false}, Layout{n, true}, Layout{2 * n, true}}) {
        for (const bool inverse : {false, true}) {
            std::vector<cfloat> store(static_cast<size_t>(layout.ld) * n, guard);
            const View2<cfloat> a = layout.transposed ? View2<cfloat>{store.data(), n, n, layout.ld, 1}
                                                      : View2<cfloat>{store.data(), n, n, 1, layout.ld};
            for (int c = 0; c < n; ++c)
                for (int r = 0; r < n; ++r) a(r, c) = g[r + static_cast<size_t>(c) * n];
            if (inverse) orbelix::cdst2b(a); else orbelix::cdst2f(a);
            Mat got(g.size());
            for (int c = 0; c < n; ++c)
                for (int r = 0; r < n; ++r) got[r + static_cast<size_t>(c) * n] = a(r, c);
            expect_same(got, inverse ? want_h : want_s, inverse ? "cdst2b view" : "cdst2f view", n);
            size_t outside = 0;
            for (const cfloat &z : store) outside += z.re == guard.re && z.im == guard.im;
            EXPECT_EQ(outside, store.size() - static_cast<size_t>(n) * n) << "ld " << layout.ld;
        }
    }
}

TEST(Dst2Plain, KeptBuffersServeSizesInAnyOrderAndEveryThread) {
    // The per-thread tables and buffers grow with the largest size seen;
    // smaller and larger sizes afterwards, and other threads, get the same
    // numbers as a first call.
    std::vector<int> sides = {128, 8, 256, 2, 64, 256};
    for (const int n : sides) {
        const Mat g = input(Kind::complex, n, 3u * n);
        expect_same(run_entry(dst2, g, n), plain_forward(g, n), "dst2 sequence", n);
    }
    std::vector<Mat> results(sides.size());
    std::vector<std::thread> threads;
    for (size_t i = 0; i < sides.size(); ++i)
        threads.emplace_back([&, i] {
            const int n = sides[i];
            results[i] = run_entry(idst2, input(Kind::real, n, 11u * n), n);
        });
    for (auto &t : threads) t.join();
    for (size_t i = 0; i < sides.size(); ++i) {
        const int n = sides[i];
        expect_same(results[i], plain_inverse(input(Kind::real, n, 11u * n), n), "idst2 thread", n);
    }
}
