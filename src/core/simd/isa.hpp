// The instruction set the wide kernels run on, chosen once per process.
//
// Every path gives the same numbers: the kernels use the same operations in
// the same order in each lane, and nothing is contracted into fused
// multiply-adds. ORBELIX_SIMD=sse2|avx2|avx512 forces a path (a path the CPU
// lacks falls back to the best one it has), so tests can compare them.
#pragma once

namespace orbelix::simd {

enum class Isa { sse2 = 0, avx2 = 1, avx512 = 2 };

// Whether this CPU (and this build) can run the path.
bool supported(Isa isa);

// The path in use: ORBELIX_SIMD if set and supported, else the widest
// supported one. Fixed at the first call unless force() changes it.
Isa active();

// Sets the path for the rest of the process (tests and benchmarks); an
// unsupported path is ignored and false returned.
bool force(Isa isa);

const char *name(Isa isa);

}  // namespace orbelix::simd
