// The weights of windows given by a shape in time against a direct DFT in
// double, through every split of the circle the builder takes (one
// transform of the whole circle, residues of a divisor, real shapes by
// their mirror images), the transform lengths it picks and the runs it
// refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <stdexcept>
#include <vector>

#include "analysis/signal/window_weights.hpp"

namespace {

using orbelix::cfloat;
using namespace orbelix::tools;
using cd = std::complex<double>;

// A skewed bump: a half Gaussian of width a before lag 0 and b after, times
// (1 + 0.3 i tanh(lag / b)) when complex; samples at first .. first+count-1.
struct Shape {
    std::vector<double> re, im;
    int first = 0;
};

Shape bump(int first, int count, double a, double b, bool complex_shape) {
    Shape s;
    s.first = first;
    for (int t = 0; t < count; ++t) {
        const double j = first + t, g = j < 0 ? a : b;
        const double v = std::exp(-0.5 * (j / g) * (j / g));
        s.re.push_back(v);
        if (complex_shape) s.im.push_back(0.3 * v * std::tanh(j / b));
    }
    return s;
}

// W[d] for d = -k .. n/2 - k, by the definition.
std::vector<cd> direct(const Shape &s, int n, int k) {
    cd sum = 0.0;
    for (std::size_t t = 0; t < s.re.size(); ++t) sum += cd(s.re[t], s.im.empty() ? 0.0 : s.im[t]);
    std::vector<cd> w;
    const double pi = 3.14159265358979323846;
    for (int d = -k; d <= n / 2 - k; ++d) {
        cd acc = 0.0;
        for (std::size_t t = 0; t < s.re.size(); ++t) {
            const long long j = s.first + static_cast<long long>(t);
            const long long q = ((j * d) % n + n) % n;
            acc += cd(s.re[t], s.im.empty() ? 0.0 : s.im[t]) * std::polar(1.0, -2.0 * pi * q / n);
        }
        w.push_back(acc / sum);
    }
    return w;
}

struct Case {
    int n, k, first, count;
    double a, b;
};

TEST(WindowWeights, MatchTheirDefinitionOnEverySplit) {
    const Case cases[] = {
        {101, 7, -50, 101, 30.0, 60.0},  // prime: the whole circle at once
        {96, 5, -6, 12, 2.0, 3.0},       // residues of 48
        {96, 48, -1, 3, 0.4, 0.7},       // the last bin, three samples
        {2400, 3, -1200, 2400, 400.0, 900.0},
        {2400, 300, -20, 61, 4.0, 9.0},  // residues of 300, the mirror images of residue 0 .. 4
        {3000, 1499, -3, 9, 0.6, 1.5},   // odd residue count
    };
    for (const Case &c : cases) {
        for (bool complex_shape : {false, true}) {
            const Shape s = bump(c.first, c.count, c.a, c.b, complex_shape);
            ShapeRun run;
            run.bin = c.k;
            run.first = s.first;
            run.count = c.count;
            run.re = s.re.data();
            run.im = complex_shape ? s.im.data() : nullptr;
            WeightBuilder builder(c.n);
            std::vector<cfloat> w(c.n / 2 + 1, {-7.0f, -7.0f});
            int lo = 1, hi = -1;
            builder.build(run, w.data(), lo, hi);
            const std::vector<cd> want = direct(s, c.n, c.k);
            ASSERT_LE(lo, 0);
            ASSERT_GE(hi, 0);
            for (int d = -c.k; d <= c.n / 2 - c.k; ++d) {
                const cd ref = want[d + c.k];
                if (d < lo || d > hi) {
                    // trimmed: negligible by the definition
                    EXPECT_LT(std::abs(ref), kWeightTrim + 2e-6) << c.n << " " << c.k << " " << d;
                    continue;
                }
                const cfloat got = w[d + c.k];
                EXPECT_LT(std::abs(cd(got.re, got.im) - ref), 2e-6)
                    << "n " << c.n << " k " << c.k << " d " << d << " complex " << complex_shape;
            }
        }
    }
}

TEST(WindowWeights, TransformLengthsAreDivisorsTheRadixPassesTake) {
    const WeightBuilder hour(921600);  // 2^12 3^2 5^2
    EXPECT_EQ(hour.transform_length(127), 512);
    EXPECT_EQ(hour.transform_length(10129), 46080);
    EXPECT_EQ(hour.transform_length(300000), 921600);
    const WeightBuilder prime(101), twice(2 * 4099);
    EXPECT_EQ(prime.transform_length(1), 101);
    EXPECT_EQ(twice.transform_length(1), 8198);  // 4099 is beyond the radix passes
    const WeightBuilder small(96);
    EXPECT_EQ(small.transform_length(3), 12);
    EXPECT_EQ(small.transform_length(13), 96);
}

TEST(WindowWeights, RefusesRunsItCannotNormalise) {
    WeightBuilder builder(64);
    std::vector<cfloat> w(33);
    int lo, hi;
    const double zero_sum[] = {1.0, -2.0, 1.0};
    const double not_finite[] = {1.0, NAN, 1.0};
    ShapeRun run;
    run.bin = 3;
    run.first = -1;
    run.count = 3;
    run.re = zero_sum;
    EXPECT_THROW(builder.build(run, w.data(), lo, hi), std::domain_error);
    run.re = not_finite;
    EXPECT_THROW(builder.build(run, w.data(), lo, hi), std::domain_error);
    const double ones[] = {1.0, 1.0, 1.0};
    run.re = ones;
    run.first = 30;  // reaches lag 32, past the circle's last lag 31
    EXPECT_THROW(builder.build(run, w.data(), lo, hi), std::invalid_argument);
    run.first = -1;
    run.bin = 33;
    EXPECT_THROW(builder.build(run, w.data(), lo, hi), std::invalid_argument);
}

}  // namespace
