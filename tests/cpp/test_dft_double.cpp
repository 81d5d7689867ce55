// The double-precision DFT of built-once tables against the sum itself.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "fft/plans/dft_double.hpp"

using cd = std::complex<double>;

TEST(DftDouble, MatchesTheSumAtSmoothAndPrimeLengths) {
    for (int n : {1, 2, 3, 5, 7, 12, 64, 97, 360, 1000, 6400}) {
        std::mt19937 gen(n);
        std::normal_distribution<double> d;
        std::vector<cd> x(n);
        for (auto &v : x) v = {d(gen), d(gen)};
        for (int sign : {-1, +1}) {
            std::vector<cd> got = x;
            orbelix::fftpack::dft_double(got, sign);
            ASSERT_EQ(static_cast<int>(got.size()), n);
            double err = 0, norm = 0;
            // Every bin below 400, a sample above (the sum costs n per bin).
            for (int k = 0; k < n; k += (k < 400 ? 1 : 37)) {
                cd want = 0;
                for (long long j = 0; j < n; ++j)
                    want += x[j] * std::polar(1.0, sign * 2.0 * M_PI * static_cast<double>(j * k % n) / n);
                err = std::max(err, std::abs(got[k] - want));
                norm = std::max(norm, std::abs(want));
            }
            EXPECT_LE(err, 1e-13 * norm) << "n " << n << ", sign " << sign;
        }
    }
}
