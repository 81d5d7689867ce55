#include "reference/cfft2_plan.hpp"

#include <algorithm>
#include <climits>
#include <vector>

#include "fft/checks/checks.hpp"
#include "orbelix.h"

namespace orbelix::fftpack {

namespace {

bool is_direction(const char *dir) { return dir[0] == 'f' || dir[0] == 'b'; }

}  // namespace

Cfft2Plan::Cfft2Plan(int l, int m) : l_(std::max(l, 0)), m_(std::max(m, 0)) {
    if (l_ == 0 || m_ == 0) return;
    if (2LL * l_ * m_ > INT_MAX) {
        init_ier_ = 30;  // the engine counts its scratch in 32-bit integers
        return;
    }
    lensav_ = static_cast<int>(table_floats(l_) + table_floats(m_));
    wsave_.reset(new float[lensav_]);
    cfft2i(&l_, &m_, wsave_.get(), &lensav_, &init_ier_);
}

// Complex values of one batch of rows or columns of a 2-D transform: a
// bounded scratch (8 MB), yet enough rows that each pass streams through
// whole cache lines of them.
constexpr long long kBatch2Values = 1 << 20;

static int batch_of(long long n, int count) {
    return static_cast<int>(std::clamp(kBatch2Values / n, 1LL, 1LL * count));
}

int Cfft2Plan::transform(const char *dir, View2<cfloat> c) {
    if (l_ == 0 || m_ == 0) return 0;
    if (init_ier_ != 0) return init_ier_;
    if (!is_direction(dir)) return 1;
    // Columns with a longer leading dimension are transformed where they
    // lie; any other layout through a column-major copy.
    const bool in_place = c.s1 == 1 && (m_ == 1 || (c.s2 >= l_ && c.s2 <= INT_MAX &&
                                                    c.s2 * (m_ - 1) + l_ <= INT_MAX));
    if (!in_place) {
        std::vector<cfloat> packed(static_cast<std::size_t>(l_) * m_);
        const View2<cfloat> tmp = column_major(packed.data(), l_, m_);
        for (int j = 0; j < m_; ++j)
            for (int i = 0; i < l_; ++i) tmp(i, j) = c(i, j);
        const int ier = transform(dir, tmp);
        if (ier == 0)
            for (int j = 0; j < m_; ++j)
                for (int i = 0; i < l_; ++i) c(i, j) = tmp(i, j);
        return ier;
    }
    // What cfft2f/cfft2b compute: the multiple transform along the second
    // dimension (each row a sequence), then along the first (each column),
    // here in batches of rows and of columns so that the scratch stays
    // small. Each sequence gets the same arithmetic either way.
    const int ldim = m_ == 1 ? l_ : static_cast<int>(c.s2);
    const int rows = batch_of(m_, l_), cols = batch_of(l_, m_);
    const long long need = 2LL * std::max(1LL * rows * m_, 1LL * cols * l_);
    if (need > lenwrk_) {
        work_.reset(new float[need]);
        lenwrk_ = static_cast<int>(need);
    }
    auto run = dir[0] == 'b' ? cfftmb : cfftmf;
    float *data = reinterpret_cast<float *>(c.data);
    const int one = 1;
    const int lensav_m = static_cast<int>(table_floats(m_));
    const int lensav_l = static_cast<int>(table_floats(l_));
    const float *wsave_m = wsave_.get() + m_table_offset(l_);
    int ier = 0;
    for (int r0 = 0; r0 < l_ && ier == 0; r0 += rows) {
        const int lot = std::min(rows, l_ - r0);
        const int lenc = static_cast<int>((lot - 1) + 1LL * ldim * (m_ - 1) + 1);
        run(&lot, &one, &m_, &ldim, data + 2LL * r0, &lenc, wsave_m, &lensav_m, work_.get(),
            &lenwrk_, &ier);
    }
    for (int c0 = 0; c0 < m_ && ier == 0; c0 += cols) {
        const int lot = std::min(cols, m_ - c0);
        const int lenc = static_cast<int>(1LL * (lot - 1) * ldim + l_);
        run(&lot, &ldim, &l_, &one, data + 2LL * c0 * ldim, &lenc, wsave_.get(), &lensav_l,
            work_.get(), &lenwrk_, &ier);
    }
    return ier == 0 ? 0 : 20;
}

void cfft2_(const char *dir, View2<cfloat> c, int &ier) {
    Cfft2Plan plan(c.n1, c.n2);
    ier = plan.init_error();
    if (ier == 0) ier = plan.transform(dir, c);
}

}  // namespace orbelix::fftpack
