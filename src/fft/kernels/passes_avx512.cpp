// The pass chains of the avx512 path, for every layout the drivers use.
#if !defined(__AVX512F__) || !defined(__AVX512DQ__) || !defined(__AVX512VL__)
#error "passes_avx512.cpp needs -mavx512f -mavx512dq -mavx512vl: see CMakeLists.txt"
#endif

#include "fft/kernels/pass_chain_instances.hpp"
