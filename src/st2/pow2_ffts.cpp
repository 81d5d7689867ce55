#include "st2/pow2_ffts.hpp"

#include <algorithm>
#include <climits>

#include "core/errors.hpp"
#include "core/interrupt.hpp"
#include "fft/checks/checks.hpp"
#include "fft/plans/batch.hpp"
#include "fft/plans/factor.hpp"

namespace orbelix {

Pow2Ffts &Pow2Ffts::of_this_thread() {
    thread_local Pow2Ffts ffts;
    return ffts;
}

const float *Pow2Ffts::table(int log2_len) {
    if (static_cast<int>(tables_.size()) <= log2_len) tables_.resize(log2_len + 1);
    if (!tables_[log2_len]) {
        const int len = 1 << log2_len;
        const int size = static_cast<int>(fftpack::table_floats(len));
        std::unique_ptr<float[]> t(new float[size]);
        fftpack::fill_table(len, t.get());
        tables_[log2_len] = std::move(t);
    }
    return tables_[log2_len].get();
}

int Pow2Ffts::batch(int len, int count) {
    return std::max(1, std::min(kBatchValues / std::max(len, 1), count));
}

cfloat *Pow2Ffts::scratch(std::size_t values) {
    if (scratch_values_ < values) {
        // Released first, and the size forgotten until the new one stands,
        // so that a failed allocation leaves a consistent (empty) buffer.
        scratch_.reset();
        scratch_values_ = 0;
        scratch_.reset(new cfloat[values]);
        scratch_values_ = values;
    }
    return scratch_.get();
}

void Pow2Ffts::run(bool forward, int len, cfloat *data, int lot, std::ptrdiff_t jump,
                   std::ptrdiff_t inc) {
    if (len <= 1 || lot <= 0) return;
    int k = 0;
    while (k < 30 && (1 << k) < len) ++k;
    if ((1 << k) != len) refuse("dst2: an FFT length is not a power of two");
    const long long need = 2LL * lot * len;
    const long long last = (lot - 1) * jump + (len - 1) * inc;
    if (jump > INT_MAX || inc > INT_MAX || last >= INT_MAX || need > INT_MAX)
        refuse("dst2: a layout beyond 32-bit sizes");
    if (need > work_floats_) {
        work_.reset();
        work_floats_ = 0;
        work_.reset(new float[need]);
        work_floats_ = need;
    }
    const float *wsave = table(k);
    const int j = static_cast<int>(jump), i = static_cast<int>(inc);
    (forward ? fftpack::transform_batch<true> : fftpack::transform_batch<false>)(
        lot, j, len, i, data, wsave, work_.get());
}

void Pow2Ffts::columns(bool forward, View2<cfloat> block) {
    const int len = block.n1;
    const int cols = batch(len, block.n2);
    for (int c0 = 0; c0 < block.n2; c0 += cols) {
        poll_interrupt();
        run(forward, len, &block(0, c0), std::min(cols, block.n2 - c0), block.s2, 1);
    }
}

void Pow2Ffts::rows(bool forward, View2<cfloat> a) {
    const int len = a.n2;
    const int lot = std::max(1, std::min(kRowBatchValues / std::max(len, 1), a.n1));
    for (int r0 = 0; r0 < a.n1; r0 += lot) {
        poll_interrupt();
        run(forward, len, &a(r0, 0), std::min(lot, a.n1 - r0), 1, a.s2);
    }
}

}  // namespace orbelix
