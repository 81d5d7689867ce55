#include "reference/symmetry.hpp"

#include "core/complex.hpp"

namespace orbelix {

void hsymm2(View2<cfloat> a) {
    const int nr = a.n1;
    const int mid = nr / 2;
    // Source columns 1 ... mid-1 and destination columns mid+1 ... lie
    // apart, so the mirror needs no temporary.
    for (int c = mid + 1; c < a.n2; ++c) {
        const int from = 2 * mid - c;
        a(0, c) = conj(a(0, from));
        for (int r = 1; r < mid; ++r) a(r, c) = conj(a(nr - r, from));
        if (mid > 0) a(mid, c) = conj(a(mid, from));
        for (int r = mid + 1; r < nr; ++r) a(r, c) = conj(a(2 * mid - r, from));
    }
}

void diagi(View2<cfloat> src, View2<cfloat> res) {
    for (int c = 0; c < res.n2; ++c)
        for (int r = 0; r < res.n1; ++r) res(r, c) = {0.0f, 0.0f};
    const int mid = src.n1 / 2;
    const int keep[6][2] = {{0, 0}, {mid, 0}, {0, mid}, {mid, 1}, {1, mid}, {mid, mid}};
    for (const auto &p : keep)
        if (p[0] < res.n1 && p[1] < res.n2) res(p[0], p[1]) = src(p[0], p[1]);
}

}  // namespace orbelix
