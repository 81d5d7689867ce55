#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "orbelix.h"
#include "fft/checks/checks.hpp"
#include "st2/cdst2b.hpp"
#include "st2/cdst2f.hpp"
#include "st2/dst2_bands.hpp"
#include "core/errors.hpp"
#include "reference/shifft.hpp"
#include "reference/symmetry.hpp"
#include "st2/pow2_ffts.hpp"
#include "test_support.hpp"

using orbelix::cfloat;
using orbelix::column_major;
using orbelix::column_major_vector;
using orbelix::View1;
using orbelix::View2;
using cd = std::complex<double>;

namespace {

constexpr double kPi = 3.14159265358979323846;

// A column-major n1 x n2 complex matrix owned by the test.
struct Mat {
    int n1, n2;
    std::vector<cfloat> v;
    Mat(int rows, int cols, cfloat fill = {0, 0})
        : n1(rows), n2(cols), v(static_cast<size_t>(rows) * cols, fill) {}
    cfloat &operator()(int r, int c) { return v[r + static_cast<size_t>(c) * n1]; }
    View2<cfloat> view() { return column_major(v.data(), n1, n2); }
    float *raw() { return reinterpret_cast<float *>(v.data()); }
};

template <class F>
Mat image(int n, F g) {
    Mat m(n, n);
    for (int q = 0; q < n; ++q)
        for (int p = 0; p < n; ++p) {
            const cd z = g(p, q);
            m(p, q) = {float(z.real()), float(z.imag())};
        }
    return m;
}

Mat random_image(int n, unsigned seed, bool real) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    Mat m(n, n);
    for (auto &z : m.v) z = {u(gen), real ? 0.0f : u(gen)};
    return m;
}

Mat dst2_of(Mat h) {
    Mat s(h.n1, h.n1, {7, 7});
    dst2(&h.n1, h.raw(), s.raw());
    return s;
}

Mat idst2_of(Mat s) {
    Mat h(s.n1, s.n1, {7, 7});
    idst2(&s.n1, s.raw(), h.raw());
    return h;
}

// Forward-scaled 2-D DFT in double precision.
std::vector<cd> spectrum(Mat &g) {
    const int n = g.n1;
    std::vector<cd> X(static_cast<size_t>(n) * n);
    for (int c = 0; c < n; ++c)
        for (int r = 0; r < n; ++r) {
            cd sum = 0;
            for (int q = 0; q < n; ++q)
                for (int p = 0; p < n; ++p)
                    sum += cd(g(p, q).re, g(p, q).im) *
                           std::polar(1.0, -2 * kPi * ((r * p + c * q) % n) / n);
            X[r + static_cast<size_t>(c) * n] = sum / double(n * n);
        }
    return X;
}

// Every element of m equals the expected value at (r, c) within tol.
template <class F>
void expect_matrix(Mat &m, F expected, double tol) {
    for (int c = 0; c < m.n2; ++c)
        for (int r = 0; r < m.n1; ++r) {
            const cd e = expected(r, c);
            EXPECT_NEAR(m(r, c).re, e.real(), tol) << "at (" << r << ", " << c << ")";
            EXPECT_NEAR(m(r, c).im, e.imag(), tol) << "at (" << r << ", " << c << ")";
        }
}

void expect_same(Mat &a, Mat &b) {
    ASSERT_EQ(a.v.size(), b.v.size());
    for (size_t i = 0; i < a.v.size(); ++i) {
        EXPECT_EQ(a.v[i].re, b.v[i].re) << "at " << i;
        EXPECT_EQ(a.v[i].im, b.v[i].im) << "at " << i;
    }
}

}  // namespace

// ---- circular shifts and band steps ---------------------------------------

class CshiftByAnyAmount : public testing::TestWithParam<int> {};

TEST_P(CshiftByAnyAmount, TakesElementJPlusShiftModM) {
    const int s = GetParam(), m = 5;
    std::vector<cfloat> src(m), res(m);
    for (int j = 0; j < m; ++j) src[j] = {float(j), -float(j)};
    orbelix::cshift(column_major_vector(res.data(), m), column_major_vector(src.data(), m), s);
    for (int j = 0; j < m; ++j) {
        const int from = ((j + s) % m + m) % m;
        EXPECT_EQ(res[j].re, float(from)) << "shift " << s << " element " << j;
        EXPECT_EQ(res[j].im, -float(from));
    }
}

INSTANTIATE_TEST_SUITE_P(Shifts, CshiftByAnyAmount, testing::Values(-11, -2, 0, 3, 5, 12));

TEST(Shifft, LengthOneIsTheIdentityForAnyShift) {
    for (int s : {-3, -1, 0, 2}) {
        cfloat src{1.5f, -2.0f}, res{0, 0};
        orbelix::shifft({&res, 1, 1}, {&src, 1, 1}, s);
        EXPECT_EQ(res.re, 1.5f);
        EXPECT_EQ(res.im, -2.0f);
    }
}

TEST(Shifft, NegativeShiftShiftsThenTransformsBackward) {
    std::vector<cfloat> v{{1, 0}, {0, 0}, {0, 0}, {0, 0}}, res(4);
    orbelix::shifft(column_major_vector(res.data(), 4), column_major_vector(v.data(), 4), -1);
    const cfloat expected[4] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(res[k].re, expected[k].re, 1e-6);
        EXPECT_NEAR(res[k].im, expected[k].im, 1e-6);
    }
}

TEST(Shifft, NonNegativeShiftTransformsForwardThenShifts) {
    const int m = 6;
    std::vector<cfloat> v(m), res(m);
    for (int j = 0; j < m; ++j) v[j] = {float(j * j % 5) - 1, float(j) * 0.5f};
    for (int s : {0, 2}) {
        orbelix::shifft(column_major_vector(res.data(), m), column_major_vector(v.data(), m), s);
        for (int k = 0; k < m; ++k) {
            const int q = (k + s) % m;
            cd F = 0;
            for (int j = 0; j < m; ++j) F += cd(v[j].re, v[j].im) * std::polar(1.0, -2 * kPi * q * j / m);
            F /= m;
            EXPECT_NEAR(res[k].re, F.real(), 1e-6) << "shift " << s;
            EXPECT_NEAR(res[k].im, F.imag(), 1e-6) << "shift " << s;
        }
    }
}

TEST(Shifft, OppositeShiftsUndoEachOtherOnStridedViews) {
    // Length 4 taken from every third element; the elements between stay put.
    std::vector<cfloat> store(12, {9, 9}), band(4), back(12, {5, 5});
    for (int j = 0; j < 4; ++j) store[3 * j] = {float(j) + 1, float(3 - j)};
    const View1<cfloat> v{store.data(), 4, 3}, out{back.data(), 4, 3};
    orbelix::shifft(column_major_vector(band.data(), 4), v, -2);
    orbelix::shifft(out, column_major_vector(band.data(), 4), 2);
    for (int i = 0; i < 12; ++i) {
        if (i % 3 == 0) {
            EXPECT_NEAR(back[i].re, store[i].re, 1e-6);
            EXPECT_NEAR(back[i].im, store[i].im, 1e-6);
        } else {
            EXPECT_EQ(back[i].re, 5.0f);
        }
    }
}

TEST(Shifft2, OppositeShiftsUndoEachOther) {
    Mat v(4, 2), t(4, 2), back(4, 2);
    for (int c = 0; c < 2; ++c)
        for (int r = 0; r < 4; ++r) v(r, c) = {float(r + 3 * c), float(r * c) - 1};
    orbelix::shifft2(t.view(), v.view(), -2, -1);
    orbelix::shifft2(back.view(), t.view(), 2, 1);
    expect_matrix(back, [&](int r, int c) { return cd(v(r, c).re, v(r, c).im); }, 1e-6);
}

TEST(Shifft2, OneNegativeShiftTakesTheBackwardPath) {
    const int m1 = 4, m2 = 2;
    Mat v(m1, m2), res(m1, m2);
    for (int c = 0; c < m2; ++c)
        for (int r = 0; r < m1; ++r) v(r, c) = {float(r) - 2 * c, float(r + c) * 0.25f};
    orbelix::shifft2(res.view(), v.view(), -1, 0);
    expect_matrix(res, [&](int k, int l) {
        cd sum = 0;
        for (int j2 = 0; j2 < m2; ++j2)
            for (int j1 = 0; j1 < m1; ++j1) {
                const cfloat z = v((j1 + m1 - 1) % m1, j2);
                const double turns = double(j1 * k) / m1 + double(j2 * l) / m2;
                sum += cd(z.re, z.im) * std::polar(1.0, 2 * kPi * turns);
            }
        return sum;
    }, 1e-5);
}

// ---- symmetry helpers ------------------------------------------------------

TEST(Hsymm2, MirrorsColumnsOneToMidLessOneOntoTheRightHalf) {
    for (int n : {4, 8, 16}) {
        Mat a = random_image(n, 10 + n, false), before = a;
        orbelix::hsymm2(a.view());
        for (int c = 0; c < n; ++c)
            for (int r = 0; r < n; ++r) {
                cfloat want = before(r, c);
                if (c > n / 2) {
                    const cfloat mirror = before((n - r) % n, n - c);
                    want = {mirror.re, -mirror.im};
                }
                EXPECT_EQ(a(r, c).re, want.re) << n << ": (" << r << ", " << c << ")";
                EXPECT_EQ(a(r, c).im, want.im) << n << ": (" << r << ", " << c << ")";
            }
    }
}

TEST(Hsymm2, LeavesSidesOneAndTwoAlone) {
    for (int n : {1, 2}) {
        Mat a = random_image(n, 3, false), before = a;
        orbelix::hsymm2(a.view());
        expect_same(a, before);
    }
}

TEST(Diagi, KeepsTheSixSinglePositionBandsOfA4x4) {
    Mat src = random_image(4, 5, false), res(4, 4, {3, 3});
    orbelix::diagi(src.view(), res.view());
    const int kept[6][2] = {{0, 0}, {2, 0}, {0, 2}, {2, 1}, {1, 2}, {2, 2}};
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            bool keep = false;
            for (auto &p : kept) keep = keep || (p[0] == r && p[1] == c);
            EXPECT_EQ(res(r, c).re, keep ? src(r, c).re : 0.0f) << "(" << r << ", " << c << ")";
            EXPECT_EQ(res(r, c).im, keep ? src(r, c).im : 0.0f) << "(" << r << ", " << c << ")";
        }
}

TEST(Diagi, CopiesEverythingOfSidesOneAndTwo) {
    for (int n : {1, 2}) {
        Mat src = random_image(n, 6, false), res(n, n, {3, 3});
        orbelix::diagi(src.view(), res.view());
        expect_same(res, src);
    }
}

// ---- forward transform: worked examples ------------------------------------

TEST(Dst2, SideOneKeepsTheValue) {
    Mat h(1, 1, {2.5f, -1.0f});
    Mat s = dst2_of(h);
    EXPECT_EQ(s(0, 0).re, 2.5f);
    EXPECT_EQ(s(0, 0).im, -1.0f);
    Mat back = idst2_of(s);
    EXPECT_EQ(back(0, 0).re, 2.5f);
    EXPECT_EQ(back(0, 0).im, -1.0f);
}

TEST(Dst2, SideTwoIsTheScaledSpectrumAndBack) {
    Mat h(2, 2);
    h(0, 0) = {1, 0}, h(0, 1) = {2, 0}, h(1, 0) = {3, 0}, h(1, 1) = {4, 0};
    Mat s = dst2_of(h);
    const double S[2][2] = {{2.5, -0.5}, {-1, 0}};
    expect_matrix(s, [&](int r, int c) { return cd(S[r][c]); }, 1e-6);
    Mat back = idst2_of(s);
    expect_matrix(back, [&](int r, int c) { return cd(h(r, c).re); }, 1e-6);
}

TEST(Dst2, SideFourIsTheSpectrumInColumnsZeroToTwo) {
    Mat h = random_image(4, 42, false);
    const std::vector<cd> X = spectrum(h);
    Mat s = dst2_of(h);
    expect_matrix(s, [&](int r, int c) {
        return c < 3 ? X[r + 4 * c] : std::conj(X[(4 - r) % 4 + 4 * 1]);
    }, 2e-6);
}

TEST(Dst2, ConstantImageHasOnlyTheMean) {
    for (int n : {8, 32}) {
        Mat s = dst2_of(Mat(n, n, {0.75f, -0.5f}));
        expect_matrix(s, [&](int r, int c) { return r == 0 && c == 0 ? cd(0.75, -0.5) : cd(0); }, 1e-6);
        Mat only_mean(n, n);
        only_mean(0, 0) = {0.75f, -0.5f};
        Mat back = idst2_of(only_mean);
        expect_matrix(back, [](int, int) { return cd(0.75, -0.5); }, 1e-6);
    }
}

// Frequency-3 waves on an 8 x 8 image: along the rows the negative octave is
// computed from the spectrum, along the columns it is mirrored.
struct Wave {
    const char *name;
    cd (*g)(int p, int q);
    std::vector<std::pair<std::pair<int, int>, double>> nonzero;
};

class Dst2Waves : public testing::TestWithParam<Wave> {};

TEST_P(Dst2Waves, OnlyTheListedCoefficientsAreNonZero) {
    const Wave &w = GetParam();
    Mat s = dst2_of(image(8, w.g));
    expect_matrix(s, [&](int r, int c) {
        for (auto &e : w.nonzero)
            if (e.first.first == r && e.first.second == c) return cd(e.second);
        return cd(0);
    }, 2e-6);
}

const double kR2 = std::sqrt(2.0), kH = std::sqrt(2.0) / 2;
INSTANTIATE_TEST_SUITE_P(
    Frequency3, Dst2Waves,
    testing::Values(
        Wave{"complex_rows", [](int p, int) { return std::polar(1.0, 2 * kPi * 3 * p / 8); },
             {{{2, 0}, kR2}, {{3, 0}, kR2}}},
        Wave{"cos_rows", [](int p, int) { return cd(std::cos(2 * kPi * 3 * p / 8)); },
             {{{2, 0}, kH}, {{3, 0}, kH}, {{5, 0}, -kH}, {{6, 0}, kH}}},
        Wave{"cos_columns", [](int, int q) { return cd(std::cos(2 * kPi * 3 * q / 8)); },
             {{{0, 2}, kH}, {{0, 3}, kH}, {{0, 5}, kH}, {{0, 6}, kH}}}),
    [](const testing::TestParamInfo<Wave> &i) { return std::string(i.param.name); });

TEST(Idst2, RebuildsTheComplexRowWave) {
    Mat s(8, 8);
    s(2, 0) = s(3, 0) = {float(kR2), 0};
    Mat h = idst2_of(s);
    expect_matrix(h, [](int p, int) { return std::polar(1.0, 2 * kPi * 3 * p / 8); }, 2e-6);
}

TEST(Idst2, DoesNotRestoreAComplexImageWithoutTheSymmetry) {
    Mat g = image(4, [](int, int q) { return std::polar(1.0, 2 * kPi * q / 4); });
    Mat h = idst2_of(dst2_of(g));
    const double along_q[4] = {2, 0, -2, 0};
    expect_matrix(h, [&](int, int q) { return cd(along_q[q]); }, 1e-6);
}

// ---- views and empty arrays ------------------------------------------------

TEST(Cdst2, StridedViewGivesTheContiguousNumbers) {
    // The image sits transposed in every second column of a wider buffer.
    const int n = 16;
    Mat g = random_image(n, 9, false);
    Mat wide(2 * n, n, {4, 4});
    const View2<cfloat> a{wide.v.data(), n, n, 2 * n, 1};
    for (int c = 0; c < n; ++c)
        for (int r = 0; r < n; ++r) a(r, c) = g(r, c);
    Mat s = dst2_of(g);
    orbelix::cdst2f(a);
    for (int c = 0; c < n; ++c)
        for (int r = 0; r < n; ++r) {
            EXPECT_EQ(a(r, c).re, s(r, c).re);
            EXPECT_EQ(a(r, c).im, s(r, c).im);
        }
    Mat h = idst2_of(s);
    orbelix::cdst2b(a);
    for (int c = 0; c < n; ++c)
        for (int r = 0; r < n; ++r) {
            EXPECT_EQ(a(r, c).re, h(r, c).re);
            EXPECT_EQ(a(r, c).im, h(r, c).im);
        }
    for (int i = n; i < 2 * n; ++i)
        for (int j = 0; j < n; ++j) EXPECT_EQ(wide(i, j).re, 4.0f);
}

TEST(Dst2, SideZeroTouchesNothing) {
    const int zero = 0;
    float h[2] = {1, 2}, s[2] = {3, 4};
    dst2(&zero, h, s);
    idst2(&zero, h, s);
    EXPECT_EQ(s[0], 3.0f);
    EXPECT_EQ(s[1], 4.0f);
}

// ---- invalid sizes: the core throws, the C entry routines stop ---------------

TEST(Dst2Death, InvalidShapesExitWithStatusOneAtTheCBoundaryOnly) {
    // The thread-safe style runs the test binary again, which an emulator
    // without a binary-format registration cannot (tests/portable.sh).
    GTEST_FLAG_SET(death_test_style,
                   std::getenv("ORBELIX_TESTS_EMULATED") != nullptr ? "fast" : "threadsafe");
    Mat six(6, 6), wide(4, 8);
    const int n6 = 6;
    EXPECT_EXIT(dst2(&n6, six.raw(), six.raw()), testing::ExitedWithCode(1), "^$");
    EXPECT_EXIT(idst2(&n6, six.raw(), six.raw()), testing::ExitedWithCode(1), "^$");
    // Below the C boundary the same refusals are exceptions, and nothing is
    // written.
    Mat before = six;
    EXPECT_THROW(orbelix::dst2_bands::transform_copy(n6, before.raw(), six.raw(), orbelix::cdst2f),
                 orbelix::Refused);
    EXPECT_THROW(orbelix::dst2_bands::transform_copy(n6, before.raw(), six.raw(), orbelix::cdst2b),
                 orbelix::Refused);
    EXPECT_THROW(orbelix::cdst2f(wide.view()), orbelix::Refused);
    EXPECT_THROW(orbelix::cdst2b(wide.view()), orbelix::Refused);
    EXPECT_EQ(std::memcmp(six.raw(), before.raw(), sizeof(float) * 2 * 36), 0);
}

// The batches of the band steps run the passes without the public
// routines' checks; their numbers are those of cfftmf and cfftmb in every
// layout the steps use: columns where they lie, rows where they lie, and
// the gathered batch (element q of sequence s at s + q*lot).
TEST(Pow2Ffts, BatchesGiveExactlyTheNumbersOfCfftmfAndCfftmb) {
    using orbelix::Pow2Ffts;
    using orbelix::testing::random_signal;
    using orbelix::testing::bits_differing;
    Pow2Ffts &ffts = Pow2Ffts::of_this_thread();
    for (int len : {2, 4, 8, 64, 1024}) {
        for (int lot : {1, 3, 7}) {
            const int ld = len + 5;
            struct Layout { int jump, inc; long long extent; };
            const Layout layouts[] = {{ld, 1, static_cast<long long>(ld) * lot},  // columns
                                      {1, ld, static_cast<long long>(ld) * len},  // rows
                                      {1, lot, static_cast<long long>(lot) * len}};
            for (const Layout &l : layouts) {
                const auto x = random_signal(static_cast<std::size_t>(l.extent), len + lot + l.inc);
                int lensav = int(orbelix::fftpack::table_floats(len)), ier = -1;
                std::vector<float> wsave(lensav), work(2 * std::size_t(lot) * len);
                cfftmi(&len, wsave.data(), &lensav, &ier);
                ASSERT_EQ(ier, 0);
                for (bool forward : {true, false}) {
                    auto want = x, got = x;
                    const int lenc = int(l.extent), lenwrk = int(work.size());
                    (forward ? cfftmf : cfftmb)(&lot, &l.jump, &len, &l.inc, &want[0].re, &lenc,
                                                wsave.data(), &lensav, work.data(), &lenwrk, &ier);
                    ASSERT_EQ(ier, 0);
                    ffts.run(forward, len, got.data(), lot, l.jump, l.inc);
                    EXPECT_EQ(bits_differing(got.data(), want), 0)
                        << len << " " << lot << " " << l.jump << " " << l.inc << " " << forward;
                }
            }
        }
    }
}
