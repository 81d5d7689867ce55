// Cached voice stores on the avx2 path: 4 x 4 tiles.
#include "st1/voice_store.hpp"
#include "st1/voice_store_kernel.hpp"

namespace orbelix::voice_store_paths {

void avx2(const cfloat *buf, std::size_t ldb, int n, int nb, View2<cfloat> s, int k0) {
    VoiceTiles<4>::store_block(buf, ldb, n, nb, s, k0);
}

}  // namespace orbelix::voice_store_paths
