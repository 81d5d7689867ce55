// The element-wise products of pointwise.hpp, written once over cvec<W> and
// compiled once per instruction set.

#include "fft/kernels/complex_product.hpp"
#include "fft/kernels/pointwise.hpp"

namespace orbelix::fftpack {
inline namespace ORBELIX_KERNEL_ISA {

template <Product K, class V>
ORBELIX_INLINE inline V apply(V a, V b) {
    if constexpr (K == Product::plain)
        return product(a, b);
    else if constexpr (K == Product::conj_first)
        return product(conj(a), b);
    else
        return conj(product(a, b));
}

template <Product K>
void multiply_all(const cfloat *a, const cfloat *b, cfloat *out, int count) {
    using V = cvec<kWidest>;
    int i = 0;
    for (; i + kWidest <= count; i += kWidest)
        apply<K>(V::load(a + i), V::load(b + i)).store(out + i);
    for (; i < count; ++i) out[i] = apply<K>(a[i], b[i]);
}

void multiply_arrays(Product kind, const cfloat *a, const cfloat *b, cfloat *out, int count) {
    switch (kind) {
    case Product::plain: multiply_all<Product::plain>(a, b, out, count); break;
    case Product::conj_first: multiply_all<Product::conj_first>(a, b, out, count); break;
    default: multiply_all<Product::conj_result>(a, b, out, count); break;
    }
}

}  // namespace ORBELIX_KERNEL_ISA
}  // namespace orbelix::fftpack
