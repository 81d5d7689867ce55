// local_measures against rht14f pixel by pixel, on every SIMD path, with
// every border, on images narrower and wider than a vector block.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "analysis/image/local_measures.hpp"
#include "local/rht14f.hpp"
#include "test_support.hpp"

using namespace orbelix;
using analysis::Border;

namespace {

std::uint32_t bits(float v) {
    std::uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

struct Maps {
    explicit Maps(std::size_t n) : r(n), o(n), p(n), e(n) {}
    std::vector<float> r, o, p, e;
    analysis::MeasureMaps view() { return {r.data(), o.data(), p.data(), e.data()}; }
};

// Row-major rows x cols image, one image.
Maps measure(const std::vector<float> &img, int rows, int cols, int k, Border border, int workers = 1,
             float coarse = 0.2f, float fine = 0.1f) {
    analysis::ImageBatch x;
    x.data = img.data();
    x.batch = 1;
    x.rows = rows;
    x.cols = cols;
    x.s0 = static_cast<std::ptrdiff_t>(rows) * cols;
    x.s1 = cols;
    x.s2 = 1;
    const int orows = analysis::measured_extent(rows, k, border);
    const int ocols = analysis::measured_extent(cols, k, border);
    Maps m(static_cast<std::size_t>(orows) * ocols);
    tools::Parallel par(workers);
    analysis::local_measures(x, coarse, fine, k, border, m.view(), par);
    return m;
}

std::vector<float> random_image(int rows, int cols, unsigned seed) {
    std::mt19937 gen(seed);
    std::normal_distribution<float> dist;
    std::vector<float> img(static_cast<std::size_t>(rows) * cols);
    for (auto &v : img) v = dist(gen);
    return img;
}

// Every pixel against rht14f on the same row-major image (viewed with
// rows along the first index); edge pixels only for the constant border.
void expect_rht14f(const std::vector<float> &img, int rows, int cols, int k, Border border,
                   const Maps &m, float coarse = 0.2f, float fine = 0.1f) {
    const View2<const float> view{img.data(), rows, cols, cols, 1};
    const int off = border == Border::valid ? k : 0;
    const int orows = analysis::measured_extent(rows, k, border);
    const int ocols = analysis::measured_extent(cols, k, border);
    int compared = 0;
    for (int x = 0; x < orows; ++x) {
        for (int y = 0; y < ocols; ++y) {
            const int cx = x + off, cy = y + off;
            const bool inside = cx >= k && cy >= k && cx < rows - k && cy < cols - k;
            if (!inside && border != Border::constant) continue;
            float h[4];
            local::rht14f(view, cx, cy, coarse, fine, k, h);
            const std::size_t at = static_cast<std::size_t>(x) * ocols + y;
            ASSERT_EQ(bits(h[0]), bits(m.r[at])) << "ratio at " << x << ", " << y;
            ASSERT_EQ(bits(h[1]), bits(m.o[at])) << "orientation at " << x << ", " << y;
            ASSERT_EQ(bits(h[2]), bits(m.p[at])) << "phase at " << x << ", " << y;
            ASSERT_EQ(bits(h[3]), bits(m.e[at])) << "energy at " << x << ", " << y;
            ++compared;
        }
    }
    EXPECT_GT(compared, 0);
}

TEST(LocalMeasures, EqualsRht14fOnEveryPath) {
    for (simd::Isa isa : orbelix::testing::supported_paths()) {
        orbelix::testing::ForcedPath path(isa);
        SCOPED_TRACE(simd::name(isa));
        for (auto [rows, cols] : {std::pair{9, 7}, {20, 37}, {33, 70}}) {
            const auto img = random_image(rows, cols, rows * 100 + cols);
            for (int k : {0, 1, 3}) {
                for (Border b : {Border::reflect, Border::wrap, Border::constant, Border::valid}) {
                    if (b == Border::valid && 2 * k + 1 > std::min(rows, cols)) continue;
                    expect_rht14f(img, rows, cols, k, b, measure(img, rows, cols, k, b));
                }
            }
            // Scales swapped, and the constant border with windows wider
            // than the image.
            expect_rht14f(img, rows, cols, 2, Border::reflect,
                          measure(img, rows, cols, 2, Border::reflect, 1, 0.1f, 0.2f), 0.1f, 0.2f);
            expect_rht14f(img, rows, cols, 40, Border::constant,
                          measure(img, rows, cols, 40, Border::constant));
        }
    }
}

TEST(LocalMeasures, WorkersAndPathsGiveTheSameBits) {
    const int rows = 61, cols = 45, k = 4;
    const auto img = random_image(rows, cols, 7);
    const Maps one = measure(img, rows, cols, k, Border::reflect, 1);
    for (simd::Isa isa : orbelix::testing::supported_paths()) {
        orbelix::testing::ForcedPath path(isa);
        for (int workers : {1, 3}) {
            const Maps m = measure(img, rows, cols, k, Border::reflect, workers);
            EXPECT_EQ(0, std::memcmp(one.e.data(), m.e.data(), m.e.size() * sizeof(float)));
            EXPECT_EQ(0, std::memcmp(one.r.data(), m.r.data(), m.r.size() * sizeof(float)));
            EXPECT_EQ(0, std::memcmp(one.o.data(), m.o.data(), m.o.size() * sizeof(float)));
            EXPECT_EQ(0, std::memcmp(one.p.data(), m.p.data(), m.p.size() * sizeof(float)));
        }
    }
}

TEST(LocalMeasures, BordersCompleteTheWindowAsStated) {
    // A 2 x 5 image through a 3 x 3 window against its explicit paddings
    // through the valid border: reflect repeats the edge pixel, wrap brings
    // the far end, constant zeros.
    const std::vector<float> img{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    auto padded = [&](std::vector<float> p, int rows, int cols) {
        return measure(p, rows, cols, 1, Border::valid);
    };
    // Rows 2, columns 5, k = 1; explicit paddings of rows (-1, 0, 1, 2)
    // and columns (-1 .. 5).
    const std::vector<float> reflect{1, 1, 2, 3, 4, 5, 5, 1, 1, 2, 3, 4, 5, 5,
                                     6, 6, 7, 8, 9, 10, 10, 6, 6, 7, 8, 9, 10, 10};
    const std::vector<float> wrap{10, 6, 7, 8, 9, 10, 6, 5, 1, 2, 3, 4, 5, 1,
                                  10, 6, 7, 8, 9, 10, 6, 5, 1, 2, 3, 4, 5, 1};
    const std::vector<float> zeros{0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 0,
                                   0, 6, 7, 8, 9, 10, 0, 0, 0, 0, 0, 0, 0, 0};
    for (auto [border, pad] : {std::pair{Border::reflect, &reflect}, {Border::wrap, &wrap},
                               {Border::constant, &zeros}}) {
        const Maps m = measure(img, 2, 5, 1, border);
        const Maps want = padded(*pad, 4, 7);
        for (std::size_t i = 0; i < m.e.size(); ++i) {
            EXPECT_EQ(bits(want.e[i]), bits(m.e[i])) << static_cast<int>(border) << " at " << i;
            EXPECT_EQ(bits(want.o[i]), bits(m.o[i])) << static_cast<int>(border) << " at " << i;
        }
    }
}

}  // namespace
