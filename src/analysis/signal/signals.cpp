#include "analysis/signal/signals.hpp"

#include <complex>

namespace orbelix::tools {

namespace {

template <class T>
void copy_real(const T *p, std::ptrdiff_t stride, int n, cfloat *out) {
    for (int t = 0; t < n; ++t) out[t] = {static_cast<float>(p[t * stride]), 0.0f};
}

template <class T>
void copy_complex(const std::complex<T> *p, std::ptrdiff_t stride, int n, cfloat *out) {
    for (int t = 0; t < n; ++t) {
        const std::complex<T> z = p[t * stride];
        out[t] = {static_cast<float>(z.real()), static_cast<float>(z.imag())};
    }
}

}  // namespace

void Signals::load(int i, cfloat *out) const {
    const std::ptrdiff_t offset = (i / inner) * outer_stride + (i % inner) * inner_stride;
    switch (type) {
    case SampleType::float32:
        copy_real(static_cast<const float *>(data) + offset, sample_stride, n, out);
        break;
    case SampleType::float64:
        copy_real(static_cast<const double *>(data) + offset, sample_stride, n, out);
        break;
    case SampleType::complex64:
        copy_complex(static_cast<const std::complex<float> *>(data) + offset, sample_stride, n, out);
        break;
    case SampleType::complex128:
        copy_complex(static_cast<const std::complex<double> *>(data) + offset, sample_stride, n, out);
        break;
    }
}

}  // namespace orbelix::tools
