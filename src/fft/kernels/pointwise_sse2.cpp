// The element-wise products of the sse2 path.
#if defined(__AVX2__)
#error "pointwise_sse2.cpp is the portable path: compile it without -mavx2"
#endif

#include "fft/kernels/pointwise_kernel.hpp"
