// The pass chains of the sse2 path, for every layout the drivers use.
#if defined(__AVX2__)
#error "passes_sse2.cpp is the portable path: compile it without -mavx2"
#endif

#include "fft/kernels/pass_chain_instances.hpp"
