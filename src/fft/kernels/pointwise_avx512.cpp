// The element-wise products of the avx512 path.
#if !defined(__AVX512F__) || !defined(__AVX512DQ__) || !defined(__AVX512VL__)
#error "pointwise_avx512.cpp needs -mavx512f -mavx512dq -mavx512vl: see CMakeLists.txt"
#endif

#include "fft/kernels/pointwise_kernel.hpp"
