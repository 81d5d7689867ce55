// Transforms of one length over a batch of sequences laid side by side:
// value e of sequence s at p[e * lot + s], the layout whose passes go a
// vector of sequences at a time. The numbers are those of
// fftpack::TransformPlan of the length, sequence by sequence: lengths the
// plan sends through the radix passes go through the engine's batched
// passes (the same arithmetic per sequence), the others one sequence at a
// time through the plan. One object per thread (it holds scratch).
#pragma once

#include <vector>

#include "fft/plans/transform_plan.hpp"

namespace orbelix::analysis {

class BatchFft {
public:
    // Throws std::bad_alloc, std::runtime_error if the plan cannot be built.
    explicit BatchFft(int n);

    int size() const { return n_; }
    // Forward scaled by 1/n, backward unscaled, as TransformPlan's "f" and
    // "b"; lot = 1 is one contiguous sequence. Throws std::bad_alloc.
    void transform(bool forward, cfloat *p, int lot);

    // Complex values of scratch held.
    long long scratch_values() const { return static_cast<long long>(work_.capacity()); }

private:
    int n_;
    fftpack::TransformPlan plan_;
    std::vector<float> table_;  // the batched passes' table, once used; never on the chirp-z path
    std::vector<cfloat> work_;
};

}  // namespace orbelix::analysis
