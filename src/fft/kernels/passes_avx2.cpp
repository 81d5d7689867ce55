// The pass chains of the avx2 path, for every layout the drivers use.
#if !defined(__AVX2__) || defined(__AVX512F__)
#error "passes_avx2.cpp needs -mavx2 (and no AVX-512 flags): see CMakeLists.txt"
#endif

#include "fft/kernels/pass_chain_instances.hpp"
