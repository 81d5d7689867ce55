// Cached voice stores of one SIMD path: 2 x 2 tiles on the portable path,
// 4 x 4 on the wide ones (the AVX-512 path in its encoding); compiled once
// per instruction set.
#include "core/simd/paths.hpp"
#include "st1/voice_store.hpp"
#include "st1/voice_store_kernel.hpp"

namespace orbelix::voice_store_paths::ORBELIX_KERNEL_ISA {

void store_tiles(const cfloat *buf, std::size_t ldb, int n, int nb, View2<cfloat> s, int k0) {
#if defined(__AVX2__)
    VoiceTiles<4>::store_block(buf, ldb, n, nb, s, k0);
#else
    VoiceTiles<2>::store_block(buf, ldb, n, nb, s, k0);
#endif
}

}  // namespace orbelix::voice_store_paths::ORBELIX_KERNEL_ISA
