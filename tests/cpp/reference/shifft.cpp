#include "reference/shifft.hpp"

#include <algorithm>

#include "core/errors.hpp"

namespace orbelix {

namespace {

// Mathematical remainder of s by m > 0, in 0 ... m-1.
int nonneg_mod(int s, int m) { return (s % m + m) % m; }

// A column-major m1 x m2 view of a scratch vector, which is sized on first use.
View2<cfloat> scratch_block(std::vector<cfloat> &store, int m1, int m2) {
    store.resize(static_cast<std::size_t>(m1) * static_cast<std::size_t>(m2));
    return column_major(store.data(), m1, m2);
}

}  // namespace

void cshift(View1<cfloat> res, View1<cfloat> src, int s) {
    const int m = src.n;
    if (m <= 0) return;
    const int r = nonneg_mod(s, m);
    // Two runs instead of a remainder per element: src[r ... m-1], then src[0 ... r-1].
    for (int j = 0; j < m - r; ++j) res[j] = src[j + r];
    for (int j = m - r; j < m; ++j) res[j] = src[j + r - m];
}

void cshift2(View2<cfloat> res, View2<cfloat> src, int s1, int s2) {
    const int m2 = src.n2;
    if (src.n1 <= 0 || m2 <= 0) return;
    const int r2 = nonneg_mod(s2, m2);
    for (int j = 0; j < m2; ++j) {
        const int from = j + r2 < m2 ? j + r2 : j + r2 - m2;
        cshift(res.col(j), src.col(from), s1);
    }
}

Shifft1::Shifft1(int m) : plan_(m) {}

void Shifft1::operator()(View1<cfloat> res, View1<cfloat> src, int shift) {
    if (src.n <= 0) return;
    if (shift < 0) {
        cshift(res, src, shift);
        plan_.transform("b", res);
        return;
    }
    // Transform a contiguous copy and shift it into res: the same numbers
    // as transforming res in place and shifting it through a temporary.
    spectrum_.resize(static_cast<std::size_t>(src.n));
    const View1<cfloat> f = column_major_vector(spectrum_.data(), src.n);
    for (int j = 0; j < src.n; ++j) f[j] = src[j];
    plan_.transform("f", f);
    cshift(res, f, shift);
}

Shifft2::Shifft2(int m1, int m2) : plan_(m1, m2), m1_(m1), m2_(m2) {
    if (plan_.init_error() != 0) refuse("shifft: the FFT failed");
}

void Shifft2::operator()(View2<cfloat> res, View2<cfloat> src, int shift1, int shift2) {
    if (m1_ <= 0 || m2_ <= 0) return;
    if (shift1 < 0 || shift2 < 0) {
        cshift2(res, src, shift1, shift2);
        if (plan_.transform("b", res) != 0) refuse("shifft: the FFT failed");
        return;
    }
    const View2<cfloat> f = scratch_block(spectrum_, m1_, m2_);
    for (int j = 0; j < m2_; ++j)
        for (int i = 0; i < m1_; ++i) f(i, j) = src(i, j);
    if (plan_.transform("f", f) != 0) refuse("shifft: the FFT failed");
    cshift2(res, f, shift1, shift2);
}

void shifft(View1<cfloat> res, View1<cfloat> src, int shift) {
    if (src.n <= 0) return;
    Shifft1(src.n)(res, src, shift);
}

void shifft2(View2<cfloat> res, View2<cfloat> src, int shift1, int shift2) {
    if (src.n1 <= 0 || src.n2 <= 0) return;
    Shifft2(src.n1, src.n2)(res, src, shift1, shift2);
}

}  // namespace orbelix
