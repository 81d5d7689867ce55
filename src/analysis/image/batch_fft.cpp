#include "analysis/image/batch_fft.hpp"

#include <algorithm>
#include <stdexcept>

#include "fft/checks/checks.hpp"
#include "fft/kernels/passes.hpp"
#include "fft/plans/factor.hpp"

namespace orbelix::analysis {

BatchFft::BatchFft(int n) : n_(n), plan_(n) {}

void BatchFft::transform(bool forward, cfloat *p, int lot) {
    if (n_ <= 1 || lot <= 0) return;
    const char *dir = forward ? "f" : "b";
    if (lot == 1) {
        plan_.transform(dir, {p, n_, 1});
        return;
    }
    const std::ptrdiff_t L = lot;
    if (table_.empty() && !plan_.uses_chirp()) {
        // The batched passes' table, built on first use (one vector at a
        // time needs only the plan).
        table_.resize(static_cast<std::size_t>(fftpack::table_floats(n_)));
        float *t = table_.data();
        fftpack::mcfti1(n_, t, t + 2L * n_, t + 2L * n_ + 1);
    }
    if (plan_.uses_chirp()) {
        if (work_.size() < static_cast<std::size_t>(n_)) work_.resize(n_);
        cfloat *v = work_.data();
        for (std::ptrdiff_t s = 0; s < L; ++s) {
            for (int e = 0; e < n_; ++e) v[e] = p[e * L + s];
            plan_.transform(dir, {v, n_, 1});
            for (int e = 0; e < n_; ++e) p[e * L + s] = v[e];
        }
        return;
    }
    const std::size_t need = static_cast<std::size_t>(n_) * static_cast<std::size_t>(lot);
    if (work_.size() < need) work_.resize(need);
    const fftpack::Interleaved data{p, L}, scratch{work_.data(), L};
    if (forward)
        fftpack::drive<true, true>(lot, n_, data, scratch, table_.data());
    else
        fftpack::drive<false, true>(lot, n_, data, scratch, table_.data());
}

}  // namespace orbelix::analysis
