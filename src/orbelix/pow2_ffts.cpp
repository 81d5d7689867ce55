#include "orbelix/pow2_ffts.hpp"

#include <algorithm>
#include <climits>

#include "fftpack/checks.hpp"
#include "orbelix.h"
#include "orbelix/fatal_stop.hpp"

namespace orbelix {

Pow2Ffts::Pow2Ffts(int n) : n_(n) {
    for (int len = 1, k = 0; len <= n; len *= 2, ++k) {
        const int floats = static_cast<int>(fftpack::table_floats(len));
        tables_.emplace_back(new float[floats]);
        table_floats_.push_back(floats);
        int ier = 0;
        cfftmi(&len, tables_[k].get(), &floats, &ier);
        if (ier != 0) fatal_stop();
    }
}

int Pow2Ffts::batch(int len, int count, int least) {
    const int fit = std::max(kBatchValues / std::max(len, 1), least);
    return std::max(1, std::min(fit, count));
}

cfloat *Pow2Ffts::scratch(std::size_t values) {
    if (scratch_.size() < values) scratch_.resize(values);
    return scratch_.data();
}

void Pow2Ffts::run(bool forward, int len, cfloat *data, int lot, std::ptrdiff_t jump,
                   std::ptrdiff_t inc) {
    if (len <= 1 || lot <= 0) return;
    int k = 0;
    while ((1 << k) < len) ++k;
    if ((1 << k) != len || len > n_) fatal_stop();
    const long long need = 2LL * lot * len;
    if (need > work_floats_) {
        work_.reset(new float[need]);
        work_floats_ = need;
    }
    const long long last = (lot - 1) * jump + (len - 1) * inc;
    if (jump > INT_MAX || inc > INT_MAX || last >= INT_MAX || need > INT_MAX) fatal_stop();
    const int j = static_cast<int>(jump), i = static_cast<int>(inc);
    const int lenc = static_cast<int>(last + 1), lenwrk = static_cast<int>(need);
    int ier = 0;
    (forward ? cfftmf : cfftmb)(&lot, &j, &len, &i, reinterpret_cast<float *>(data), &lenc,
                                tables_[k].get(), &table_floats_[k], work_.get(), &lenwrk, &ier);
    if (ier != 0) fatal_stop();
}

void Pow2Ffts::columns(bool forward, View2<cfloat> block) {
    const int len = block.n1;
    const int cols = batch(len, block.n2);
    for (int c0 = 0; c0 < block.n2; c0 += cols)
        run(forward, len, &block(0, c0), std::min(cols, block.n2 - c0), block.s2, 1);
}

void Pow2Ffts::rows(bool forward, View2<cfloat> a) {
    const int len = a.n2;
    const int lot = std::max(1, std::min(kRowBatchValues / std::max(len, 1), a.n1));
    for (int r0 = 0; r0 < a.n1; r0 += lot)
        run(forward, len, &a(r0, 0), std::min(lot, a.n1 - r0), 1, a.s2);
}

}  // namespace orbelix
