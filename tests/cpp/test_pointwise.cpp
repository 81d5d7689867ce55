// The element-wise complex products give, on every SIMD path, the bits of
// the scalar formula re = a.re*b.re - a.im*b.im, im = a.re*b.im + a.im*b.re
// (with the conjugations where asked), for any count and in place; NaNs
// come out with the same bits on every path.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "fft/kernels/pointwise.hpp"
#include "core/simd/isa.hpp"
#include "test_support.hpp"

using orbelix::cfloat;
using orbelix::fftpack::multiply;
using orbelix::fftpack::Product;
using orbelix::simd::Isa;

namespace {

cfloat conj(cfloat a) { return {a.re, -a.im}; }
cfloat product(cfloat a, cfloat b) {
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}

cfloat expected(Product kind, cfloat a, cfloat b) {
    switch (kind) {
    case Product::plain: return product(a, b);
    case Product::conj_first: return product(conj(a), b);
    default: return conj(product(a, b));
    }
}

// Random values with signed zeros, infinities and values whose products
// round differently under any other order of the operations.
std::vector<cfloat> values(int count, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> exponent(-20.0f, 20.0f), sign(-1.0f, 1.0f);
    const float special[] = {0.0f, -0.0f, std::numeric_limits<float>::infinity(), 1.0f};
    std::vector<cfloat> v(count);
    for (int i = 0; i < count; ++i) {
        auto part = [&] {
            if (gen() % 16 == 0) return special[gen() % 4];
            return std::copysign(std::exp2(exponent(gen)), sign(gen));
        };
        v[i].re = part();
        v[i].im = part();
    }
    return v;
}

bool same_bits(const std::vector<cfloat> &x, const std::vector<cfloat> &y) {
    return x.size() == y.size() &&
           (x.empty() || std::memcmp(x.data(), y.data(), x.size() * sizeof(cfloat)) == 0);
}

// Equal bits, or both NaN (the scalar formula's NaN sign is not the point).
bool same_values(const std::vector<cfloat> &x, const std::vector<cfloat> &y) {
    auto same = [](float u, float v) {
        return (std::isnan(u) && std::isnan(v)) || std::memcmp(&u, &v, sizeof u) == 0;
    };
    for (std::size_t i = 0; i < x.size(); ++i)
        if (!same(x[i].re, y[i].re) || !same(x[i].im, y[i].im)) return false;
    return x.size() == y.size();
}

}  // namespace

TEST(Pointwise, EveryPathGivesTheScalarProductBitForBit) {
    for (Product kind : {Product::plain, Product::conj_first, Product::conj_result})
        for (int count : {0, 1, 3, 4, 5, 8, 17, 1000}) {
            const auto a = values(count, 2 * count + 1), b = values(count, 2 * count + 2);
            std::vector<cfloat> want(count);
            for (int i = 0; i < count; ++i) want[i] = expected(kind, a[i], b[i]);
            std::vector<cfloat> portable;
            for (Isa isa : orbelix::testing::supported_paths()) {
                const orbelix::testing::ForcedPath path(isa);
                ASSERT_TRUE(path.forced());
                std::vector<cfloat> out(count, cfloat{7.0f, 7.0f});
                multiply(kind, a.data(), b.data(), out.data(), count);
                EXPECT_TRUE(same_values(out, want)) << static_cast<int>(isa) << " " << count;
                if (isa == Isa::sse2) portable = out;
                EXPECT_TRUE(same_bits(out, portable)) << static_cast<int>(isa) << " " << count;
                auto in_place = a;
                multiply(kind, in_place.data(), b.data(), in_place.data(), count);
                EXPECT_TRUE(same_bits(in_place, out)) << static_cast<int>(isa) << " " << count;
            }
        }
}
