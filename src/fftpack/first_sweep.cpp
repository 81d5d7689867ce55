#include "fftpack/first_sweep.hpp"

namespace orbelix::fftpack {

namespace {

int factor_count(int n, const float *wsave) { return static_cast<int>(wsave[2L * n]); }
int factor(int n, const float *wsave, int k) { return static_cast<int>(wsave[2L * n + 1 + k]); }

// Appends one block of rows: row(r, part) points at the cosines (part 0)
// or sines (part 1) of row r, indexed by group; groups first ..
// first + kTableBlock - 1, zeros from end on.
template <class Row>
void append_block(std::vector<float> &t, int rows, int first, int end, Row &&row) {
    for (int r = 0; r < rows; ++r)
        for (int part = 0; part < 2; ++part) {
            const float *values = row(r, part);
            for (int i = first; i < first + kTableBlock; ++i) t.push_back(i < end ? values[i] : 0.0f);
        }
}

}  // namespace

std::vector<float> fused_sweep_table(int n, const float *wsave) {
    std::vector<float> t;
    if (n <= 0 || factor_count(n, wsave) < 3) return t;
    const int p = factor(n, wsave, 0), q = factor(n, wsave, 1);
    if (p > 5 || q > 5) return t;
    const int ido = n / p, idb = ido / q;
    t.reserve(static_cast<std::size_t>(idb + kTableBlock) * 2 * (q * (p - 1) + q - 1));
    const Twiddles ta{wsave, ido, p}, tb{wsave + 2L * (p - 1) * ido, idb, q};
    for (int i0 = 0; i0 < idb; i0 += kTableBlock)
        append_block(t, q * (p - 1) + q - 1, i0, idb, [&](int r, int part) {
            // A's rows for group i' read i' + idb*m'; B's read i'.
            if (r < q * (p - 1)) {
                const int mq = r / (p - 1), j = r % (p - 1) + 1;
                return (part == 0 ? ta.cos_row(j) : ta.sin_row(j)) + idb * mq;
            }
            const int jq = r - q * (p - 1) + 1;
            return part == 0 ? tb.cos_row(jq) : tb.sin_row(jq);
        });
    return t;
}

std::vector<float> single_sweep_table(int n, const float *wsave) {
    std::vector<float> t;
    if (n <= 0 || factor_count(n, wsave) < 2) return t;
    const int p = factor(n, wsave, 0);
    if (p > 5) return t;
    const int ido = n / p;
    t.reserve(static_cast<std::size_t>(ido + kTableBlock) * 2 * (p - 1));
    const Twiddles ta{wsave, ido, p};
    for (int i0 = 1; i0 < ido; i0 += kTableBlock)
        append_block(t, p - 1, i0, ido, [&](int r, int part) {
            return part == 0 ? ta.cos_row(r + 1) : ta.sin_row(r + 1);
        });
    return t;
}

}  // namespace orbelix::fftpack
