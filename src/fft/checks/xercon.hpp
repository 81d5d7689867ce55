// Consistency of a batch layout.
#pragma once

namespace orbelix::fftpack {

// True when no two (sequence, element) pairs of `lot` sequences of n
// elements (element stride inc, sequence stride jump) address the same
// complex element.
bool xercon(int inc, int jump, int n, int lot);

}  // namespace orbelix::fftpack
