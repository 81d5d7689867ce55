// Complex sample and strided views: the common language of the core.
#pragma once

#include <cstddef>

namespace orbelix {

// One single-precision complex sample, laid out as NumPy's complex64.
struct cfloat {
    float re;
    float im;
};

// A one-dimensional strided view; stride counts elements, not bytes.
template <class T>
struct View1 {
    T *data = nullptr;
    int n = 0;
    std::ptrdiff_t stride = 1;

    T &operator[](std::ptrdiff_t i) const { return data[i * stride]; }
    bool contiguous() const { return stride == 1 || n <= 1; }
};

// A two-dimensional strided view: element (i, j) at data[i*s1 + j*s2].
// A column-major array with leading dimension ld is View2{p, n1, n2, 1, ld}.
template <class T>
struct View2 {
    T *data = nullptr;
    int n1 = 0;
    int n2 = 0;
    std::ptrdiff_t s1 = 1;
    std::ptrdiff_t s2 = 1;

    T &operator()(std::ptrdiff_t i, std::ptrdiff_t j) const { return data[i * s1 + j * s2]; }
    View1<T> row(int i) const { return {data + i * s1, n2, s2}; }
    View1<T> col(int j) const { return {data + j * s2, n1, s1}; }
    // Column-major with leading dimension n1: what the FFT engine takes.
    bool contiguous() const { return s1 == 1 && (n2 <= 1 || s2 == n1); }
};

template <class T>
View1<T> column_major_vector(T *p, int n) { return {p, n, 1}; }

template <class T>
View2<T> column_major(T *p, int n1, int n2) { return {p, n1, n2, 1, n1}; }

}  // namespace orbelix
