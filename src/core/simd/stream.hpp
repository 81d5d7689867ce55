// Non-temporal stores of complex values, for results too large to stay in
// the caches: whole lines are filled in the write-combining buffers without
// being read first. Elsewhere than x86-64 they are ordinary stores.
#pragma once

#include <cstring>
#if defined(__x86_64__)
#include <emmintrin.h>
#endif

#include "core/view.hpp"

namespace orbelix {

// Stores z at p (8-byte aligned) as a non-temporal store.
inline void stream_store(cfloat *p, cfloat z) {
#if defined(__x86_64__)
    long long bits;
    std::memcpy(&bits, &z, sizeof bits);
    _mm_stream_si64(reinterpret_cast<long long *>(p), bits);
#else
    *p = z;
#endif
}

// Stores *first and *second at p (16-byte aligned) as one non-temporal
// store.
inline void stream_store_pair(cfloat *p, const cfloat *first, const cfloat *second) {
#if defined(__x86_64__)
    __m128 v = _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double *>(first)));
    v = _mm_loadh_pi(v, reinterpret_cast<const __m64 *>(second));
    _mm_stream_ps(&p->re, v);
#else
    p[0] = *first;
    p[1] = *second;
#endif
}

// Orders the non-temporal stores before anything that follows.
inline void end_streams() {
#if defined(__x86_64__)
    _mm_sfence();
#endif
}

}  // namespace orbelix
