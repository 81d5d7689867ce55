// The windowed spectra of the avx2 path.
#if !defined(__AVX2__) || defined(__AVX512F__)
#error "window_product_avx2.cpp needs -mavx2 (and no AVX-512): see CMakeLists.txt"
#endif

#include "st1/window_product_kernel.hpp"
