#include "st2/dst2_bands.hpp"

#include "core/errors.hpp"

namespace orbelix::dst2_bands {

void require_valid_side(View2<cfloat> a) {
    const int n = a.n1;
    if (n < 0 || n > max_side || (n & (n - 1)) != 0 || a.n2 != n)
        refuse("dst2: the side is not a power of two up to 16384, or the array not square");
}

void transform_copy(int side, const float *in, float *out,
                    void (*transform)(View2<const cfloat>, View2<cfloat>)) {
    if (side == 0) return;
    const View2<cfloat> a = column_major(reinterpret_cast<cfloat *>(out), side, side);
    require_valid_side(a);
    transform(column_major(reinterpret_cast<const cfloat *>(in), side, side), a);
}

void run_in_layout(View2<const cfloat> src, View2<cfloat> dst,
                   void (*transform)(View2<const cfloat>, View2<cfloat>)) {
    if (engine_layout(src) && engine_layout(read_only(dst))) {
        transform(src, dst);
        return;
    }
    const int n1 = dst.n1, n2 = dst.n2;
    std::vector<cfloat> packed(static_cast<std::size_t>(n1) * n2);
    const View2<cfloat> p = column_major(packed.data(), n1, n2);
    for (int c = 0; c < n2; ++c)
        for (int r = 0; r < n1; ++r) p(r, c) = src(r, c);
    transform(read_only(p), p);
    for (int c = 0; c < n2; ++c)
        for (int r = 0; r < n1; ++r) dst(r, c) = p(r, c);
}

}  // namespace orbelix::dst2_bands
