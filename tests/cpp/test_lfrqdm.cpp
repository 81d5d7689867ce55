#include "local/lfrqdm.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <vector>

#include "orbelix.h"

using orbelix::cfloat;
using orbelix::lfrqdm;
using orbelix::lfrqdm_bands;
using orbelix::lfrqdm_offsets;

namespace {

// An l x l matrix whose element (p, q) is p + i q, so that every picked value
// names the element it came from.
std::vector<cfloat> position_matrix(int l) {
    std::vector<cfloat> s(static_cast<size_t>(l) * l);
    for (int q = 0; q < l; ++q)
        for (int p = 0; p < l; ++p) s[p + static_cast<size_t>(q) * l] = {float(p), float(q)};
    return s;
}

struct Picked {
    int M;
    std::vector<cfloat> h;
    // Row and column of s read by entry (i, j).
    int row(int i, int j) const { return int(at(i, j).re); }
    int col(int i, int j) const { return int(at(i, j).im); }
    const cfloat &at(int i, int j) const { return h[(i + M) + (j + M) * (2 * M + 1)]; }
};

Picked pick(int l, int x, int y) {
    const std::vector<cfloat> s = position_matrix(l);
    Picked out{lfrqdm_bands(l), lfrqdm(orbelix::column_major(s.data(), l, l), x, y)};
    if (out.M >= 0) {
        EXPECT_EQ(out.h.size(), size_t(2 * out.M + 1) * size_t(2 * out.M + 1));
    }
    return out;
}

}  // namespace

TEST(LfrqdmBands, HighestSetBitLessOne) {
    EXPECT_EQ(lfrqdm_bands(0), -1);
    EXPECT_EQ(lfrqdm_bands(1), -1);
    EXPECT_EQ(lfrqdm_bands(2), 0);
    EXPECT_EQ(lfrqdm_bands(3), 0);
    EXPECT_EQ(lfrqdm_bands(4), 1);
    EXPECT_EQ(lfrqdm_bands(7), 1);
    EXPECT_EQ(lfrqdm_bands(16), 3);
    EXPECT_EQ(lfrqdm_bands(255), 6);
    EXPECT_EQ(lfrqdm_bands(256), 7);
    EXPECT_EQ(lfrqdm_bands(1 << 30), 29);
    EXPECT_EQ(lfrqdm_bands(INT_MAX), 29);
}

TEST(LfrqdmOffsets, SideFour) {
    EXPECT_EQ(lfrqdm_offsets(4, 0), (std::vector<long>{0, 0}));
    EXPECT_EQ(lfrqdm_offsets(4, 1), (std::vector<long>{0, 0}));  // 0.25
    EXPECT_EQ(lfrqdm_offsets(4, 2), (std::vector<long>{0, 1}));  // 0.5 rounds up
    EXPECT_EQ(lfrqdm_offsets(4, 3), (std::vector<long>{0, 1}));  // 0.75
}

TEST(LfrqdmOffsets, SideSixteenRoundsHalvesAwayFromZero) {
    EXPECT_EQ(lfrqdm_offsets(16, 0), (std::vector<long>{0, 0, 1, 2}));
    EXPECT_EQ(lfrqdm_offsets(16, 4), (std::vector<long>{0, 0, 2, 3}));
    EXPECT_EQ(lfrqdm_offsets(16, 8), (std::vector<long>{0, 1, 2, 4}));
    EXPECT_EQ(lfrqdm_offsets(16, 12), (std::vector<long>{0, 1, 3, 5}));  // 2.5 -> 3
    EXPECT_EQ(lfrqdm_offsets(16, 15), (std::vector<long>{0, 1, 3, 6}));
}

TEST(LfrqdmOffsets, Side256Middle) {
    EXPECT_EQ(lfrqdm_offsets(256, 128), (std::vector<long>{0, 1, 2, 4, 8, 16, 32, 64}));
}

TEST(LfrqdmOffsets, StayBetweenPreviousWidthAndCentre) {
    for (int l : {4, 5, 12, 64, 100, 1024}) {
        const int M = lfrqdm_bands(l);
        for (int x = 0; x < l; ++x) {
            const std::vector<long> I = lfrqdm_offsets(l, x);
            ASSERT_EQ(int(I.size()), M + 1);
            EXPECT_EQ(I[0], 0);
            for (int b = 1; b <= M; ++b) {
                const long width_prev = b == 1 ? 0 : 1L << (b - 2);
                const long centre = (1L << (b - 1)) + width_prev;
                EXPECT_GE(I[b], width_prev) << "l=" << l << " x=" << x << " b=" << b;
                EXPECT_LE(I[b], centre) << "l=" << l << " x=" << x << " b=" << b;
            }
        }
    }
}

TEST(Lfrqdm, SidesTwoAndThreeGiveTheFirstElement) {
    for (int l : {2, 3}) {
        const Picked p = pick(l, l - 1, 0);
        ASSERT_EQ(p.M, 0);
        EXPECT_EQ(p.row(0, 0), 0);
        EXPECT_EQ(p.col(0, 0), 0);
    }
}

TEST(Lfrqdm, SideOneIsEmpty) {
    const Picked p = pick(1, 0, 0);
    EXPECT_EQ(p.M, -1);
    EXPECT_TRUE(p.h.empty());
}

TEST(Lfrqdm, SideFourCorner) {
    const Picked p = pick(4, 0, 0);
    for (int i = -1; i <= 1; ++i)
        for (int j = -1; j <= 1; ++j) {
            EXPECT_EQ(p.row(i, j), 1);
            EXPECT_EQ(p.col(i, j), 1);
        }
}

TEST(Lfrqdm, SideFourMiddleIsTheLeadingBlock) {
    const Picked p = pick(4, 2, 2);
    for (int i = -1; i <= 1; ++i)
        for (int j = -1; j <= 1; ++j) {
            EXPECT_EQ(p.row(i, j), i + 1);
            EXPECT_EQ(p.col(i, j), j + 1);
        }
}

TEST(Lfrqdm, PicksReferencePlusSignedOffsets) {
    for (int l : {8, 12, 16, 31, 256}) {
        const int c0 = l / 2 - 1;
        for (int x : {0, 1, l / 3, l / 2, l - 1})
            for (int y : {0, l / 4, l / 2 + 1, l - 1}) {
                const Picked p = pick(l, x, y);
                const std::vector<long> I = lfrqdm_offsets(l, x), J = lfrqdm_offsets(l, y);
                for (int i = -p.M; i <= p.M; ++i)
                    for (int j = -p.M; j <= p.M; ++j) {
                        const long ri = c0 + (i < 0 ? -I[-i] : I[i]);
                        const long cj = c0 + (j < 0 ? -J[-j] : J[j]);
                        ASSERT_EQ(p.row(i, j), ri) << l << " " << x << " " << y << " " << i << " " << j;
                        ASSERT_EQ(p.col(i, j), cj) << l << " " << x << " " << y << " " << i << " " << j;
                    }
            }
    }
}

TEST(Lfrqdm, PointSymmetricThroughTheReference) {
    const int l = 64, c0 = l / 2 - 1;
    for (int x : {0, 17, 40, 63})
        for (int y : {5, 32, 63}) {
            const Picked p = pick(l, x, y);
            for (int i = -p.M; i <= p.M; ++i)
                for (int j = -p.M; j <= p.M; ++j) {
                    EXPECT_EQ(p.row(i, j) + p.row(-i, -j), 2 * c0);
                    EXPECT_EQ(p.col(i, j) + p.col(-i, -j), 2 * c0);
                }
            // The column band alone chooses the column.
            for (int i = -p.M; i <= p.M; ++i) EXPECT_EQ(p.col(i, 0), c0);
        }
}

TEST(Lfrqdm, PixelOutsideTheMatrixReadsZerosOutside) {
    const int l = 16;
    const std::vector<cfloat> s(l * l, cfloat{1.0f, 1.0f});
    const std::vector<cfloat> h = lfrqdm(orbelix::column_major(s.data(), l, l), -100, 1000);
    ASSERT_EQ(h.size(), 49u);
    EXPECT_EQ(h[3 + 3 * 7].re, 1.0f);  // (0, 0) is the reference element
    int zeros = 0;
    for (const cfloat &v : h) zeros += v.re == 0.0f;
    EXPECT_GT(zeros, 0);
}

TEST(Imfreq, EntryPlacesBandIJAtIPlusMJPlusM) {
    const int l = 32, m = 4, x = 9, y = 27;
    const std::vector<cfloat> s = position_matrix(l);
    const int side = 2 * m + 1;
    std::vector<cfloat> h(side * side, cfloat{-1.0f, -1.0f});
    imfreq(&l, &m, reinterpret_cast<const float *>(s.data()), &x, &y, reinterpret_cast<float *>(h.data()));
    const std::vector<cfloat> expect = lfrqdm(orbelix::column_major(s.data(), l, l), x, y);
    ASSERT_EQ(expect.size(), h.size());
    for (size_t k = 0; k < h.size(); ++k) {
        EXPECT_EQ(h[k].re, expect[k].re) << k;
        EXPECT_EQ(h[k].im, expect[k].im) << k;
    }
}
