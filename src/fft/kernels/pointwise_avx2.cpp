// The element-wise products of the avx2 path.
#if !defined(__AVX2__) || defined(__AVX512F__)
#error "pointwise_avx2.cpp needs -mavx2 (and no AVX-512): see CMakeLists.txt"
#endif

#include "fft/kernels/pointwise_kernel.hpp"
