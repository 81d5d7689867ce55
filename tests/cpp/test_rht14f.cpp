#include "local/rht14f.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "orbelix.h"

using orbelix::local::rht14f;

namespace {

constexpr float kPi = 3.14159265358979f;

struct Image {
    int l, m;
    std::vector<float> data;  // column-major
    Image(int rows, int cols, float value = 0.0f) : l(rows), m(cols), data(size_t(rows) * cols, value) {}
    float &operator()(int p, int q) { return data[p + size_t(q) * l]; }
    orbelix::View2<const float> view() const { return orbelix::column_major(data.data(), l, m); }
};

Image random_image(int l, int m, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> dist(-1.0f, 2.0f);
    Image r(l, m);
    for (float &v : r.data) v = dist(gen);
    return r;
}

std::array<float, 4> measure(const Image &r, int x, int y, float coarse = 0.2f, float fine = 0.1f,
                             int k = 7) {
    std::array<float, 4> h{};
    rht14f(r.view(), x, y, coarse, fine, k, h.data());
    return h;
}

// The four filter responses in double precision, straight from the kernels.
std::array<double, 4> responses(const Image &r, int x, int y, double coarse, double fine, int k) {
    double E = 0, O1 = 0, O2 = 0, Q = 0;
    for (int i = -k; i <= k; ++i)
        for (int j = -k; j <= k; ++j) {
            const double rho2 = double(i) * i + double(j) * j, u = rho2 + 1;
            const double ff = std::sqrt(fine * fine + rho2 / u), fc = std::sqrt(coarse * coarse + rho2 / u);
            const int p = x + j, q = y + i;
            const double v = (p >= 0 && p < r.l && q >= 0 && q < r.m) ? r.data[p + size_t(q) * r.l] : 0.0;
            E += (fine * ff - coarse * fc) * v;
            O1 += j / u * (ff - fc) * v;
            O2 += i / u * (ff - fc) * v;
            Q += rho2 / u * (ff - fc) * v;
        }
    return {E, O1, O2, Q};
}

void expect_nan_zero_zero_zero(const std::array<float, 4> &h) {
    EXPECT_TRUE(std::isnan(h[0]));
    EXPECT_EQ(h[1], 0.0f);
    EXPECT_EQ(h[2], 0.0f);
    EXPECT_EQ(h[3], 0.0f);
}

}  // namespace

TEST(Rht14f, AgreesWithDoublePrecisionKernels) {
    for (int k = 1; k <= 7; ++k)
        for (unsigned seed = 0; seed < 5; ++seed) {
            const Image r = random_image(20, 23, 100 * k + seed);
            const int x = 9, y = 11;
            const auto h = measure(r, x, y, 0.2f, 0.1f, k);
            const auto [E, O1, O2, Q] = responses(r, x, y, 0.2f, 0.1f, k);
            const double N = std::sqrt(O1 * O1 + O2 * O2 + Q * Q);
            const double ref[4] = {std::hypot(O1, O2) / Q, std::atan2(O2, O1), std::atan2(N, E),
                                   E * E + O1 * O1 + O2 * O2 + Q * Q};
            for (int c = 0; c < 4; ++c)
                EXPECT_LE(std::fabs(h[c] - ref[c]), 1e-4 * std::fabs(ref[c]) + 1e-6)
                    << "k=" << k << " seed=" << seed << " c=" << c;
        }
}

TEST(Rht14f, CentreOnly) {
    Image r(5, 5, 3.0f);
    r(2, 2) = 2.0f;
    const auto h = measure(r, 2, 2, 0.2f, 0.1f, 0);
    const float E = (0.1f * 0.1f - 0.2f * 0.2f) * 2.0f;
    EXPECT_TRUE(std::isnan(h[0]));
    EXPECT_EQ(h[1], 0.0f);
    EXPECT_FLOAT_EQ(h[2], kPi);
    EXPECT_EQ(h[3], E * E);

    r(2, 2) = -2.0f;  // E > 0 now
    EXPECT_EQ(measure(r, 2, 2, 0.2f, 0.1f, 0)[2], 0.0f);
}

TEST(Rht14f, NothingVisitedOrNothingWeighed) {
    const Image r = random_image(15, 15, 7);
    expect_nan_zero_zero_zero(measure(r, 7, 7, 0.2f, 0.1f, -1));
    expect_nan_zero_zero_zero(measure(r, 7, 7, 0.3f, 0.3f, 5));  // fine = coarse
    expect_nan_zero_zero_zero(measure(Image(15, 15), 7, 7));     // a window of zeros
}

TEST(Rht14f, SwappingScalesNegatesTheResponses) {
    for (unsigned seed = 0; seed < 10; ++seed) {
        const Image r = random_image(16, 16, seed);
        const auto a = measure(r, 8, 7, 0.2f, 0.1f, 6);
        const auto b = measure(r, 8, 7, 0.1f, 0.2f, 6);
        EXPECT_EQ(b[0], -a[0]);
        EXPECT_NEAR(std::remainder(b[1] - a[1] - kPi, 2 * kPi), 0.0f, 1e-5f);
        EXPECT_NEAR(b[2], kPi - a[2], 1e-5f);
        EXPECT_EQ(b[3], a[3]);
    }
}

TEST(Rht14f, RowOnlyImageHasNoColumnResponse) {
    Image r(21, 17);
    for (int q = 0; q < r.m; ++q)
        for (int p = 0; p < r.l; ++p) r(p, q) = std::sin(0.7f * p) + 0.01f * p * p;
    const auto h = measure(r, 10, 8, 0.2f, 0.1f, 7);
    EXPECT_LT(std::fabs(std::sin(h[1])), 1e-5f);
    EXPECT_GT(std::fabs(h[0]), 0.0f);
}

TEST(Rht14f, LargeResponsesKeepAFinitePhase) {
    // Squares of the responses overflow single precision; the norm in the
    // phase angle does not.
    Image r = random_image(15, 15, 3);
    for (float &v : r.data) v *= 1e22f;
    const auto h = measure(r, 7, 7);
    const auto [E, O1, O2, Q] = responses(r, 7, 7, 0.2f, 0.1f, 7);
    EXPECT_TRUE(std::isinf(h[3]));
    EXPECT_NEAR(h[2], std::atan2(std::sqrt(O1 * O1 + O2 * O2 + Q * Q), E), 1e-5);
    EXPECT_NEAR(h[0], std::hypot(O1, O2) / Q, 1e-4 * std::fabs(std::hypot(O1, O2) / Q));
}

TEST(Rht14f, NanInTheWindowGivesNanPhase) {
    Image r(9, 9, 1.0f);
    r(4, 5) = std::numeric_limits<float>::quiet_NaN();
    const auto h = measure(r, 4, 4, 0.2f, 0.1f, 2);
    EXPECT_TRUE(std::isnan(h[2]));
    EXPECT_TRUE(std::isnan(h[3]));
}

TEST(Rht14f, WindowOverTheEdgeActsAsZeroPadding) {
    const Image small = random_image(6, 5, 11);
    Image padded(6 + 8, 5 + 8);
    for (int q = 0; q < small.m; ++q)
        for (int p = 0; p < small.l; ++p) padded(p + 4, q + 4) = small.data[p + size_t(q) * small.l];
    for (int x : {0, 2, 5})
        for (int y : {0, 4}) {
            const auto a = measure(small, x, y, 0.2f, 0.1f, 4);
            const auto b = measure(padded, x + 4, y + 4, 0.2f, 0.1f, 4);
            for (int c = 0; c < 4; ++c) EXPECT_EQ(a[c], b[c]) << x << " " << y << " " << c;
        }
}

TEST(Cmsht2, EntryForwardsItsArguments) {
    const Image r = random_image(12, 10, 5);
    const int l = r.l, m = r.m, x = 6, y = 4, k = 3;
    const float coarse = 0.25f, fine = 0.05f;
    float h[4] = {};
    cmsht2(&l, &m, r.data.data(), &x, &y, h, &coarse, &fine, &k);
    const auto expect = measure(r, x, y, coarse, fine, k);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(h[c], expect[c]);
}
