// The windowed spectra of the sse2 path.
#if defined(__AVX2__)
#error "window_product_sse2.cpp is the portable path: compile it without -mavx2"
#endif

#include "st1/window_product_kernel.hpp"
