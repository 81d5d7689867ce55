#include "fft/kernels/first_sweep.hpp"

namespace orbelix::fftpack {

namespace {

int factor_count(int n, const float *wsave) { return static_cast<int>(wsave[2L * n]); }
int factor(int n, const float *wsave, int k) { return static_cast<int>(wsave[2L * n + 1 + k]); }

// Writes one block of rows at out and returns its end: row(r, part) points
// at the cosines (part 0) or sines (part 1) of row r, indexed by group;
// groups first .. first + kTableBlock - 1, zeros from end on.
template <class Row>
float *put_block(float *out, int rows, int first, int end, Row &&row) {
    for (int r = 0; r < rows; ++r)
        for (int part = 0; part < 2; ++part) {
            const float *values = row(r, part);
            for (int i = first; i < first + kTableBlock; ++i) *out++ = i < end ? values[i] : 0.0f;
        }
    return out;
}

// A table of whole blocks of `rows` rows for groups from .. end - 1.
template <class Row>
std::vector<float> block_table(int rows, int from, int end, Row &&row) {
    const std::size_t blocks = (end - from + kTableBlock - 1) / kTableBlock;
    std::vector<float> t(blocks * rows * 2 * kTableBlock);
    float *out = t.data();
    for (int i0 = from; i0 < end; i0 += kTableBlock) out = put_block(out, rows, i0, end, row);
    return t;
}

}  // namespace

std::vector<float> fused_sweep_table(int n, const float *wsave) {
    if (n <= 0 || factor_count(n, wsave) < 3) return {};
    const int p = factor(n, wsave, 0), q = factor(n, wsave, 1);
    if (p > 5 || q > 5) return {};
    const int ido = n / p, idb = ido / q;
    const Twiddles ta{wsave, ido, p}, tb{wsave + 2L * (p - 1) * ido, idb, q};
    return block_table(q * (p - 1) + q - 1, 0, idb, [&](int r, int part) {
        // A's rows for group i' read i' + idb*m'; B's read i'.
        if (r < q * (p - 1)) {
            const int mq = r / (p - 1), j = r % (p - 1) + 1;
            return (part == 0 ? ta.cos_row(j) : ta.sin_row(j)) + idb * mq;
        }
        const int jq = r - q * (p - 1) + 1;
        return part == 0 ? tb.cos_row(jq) : tb.sin_row(jq);
    });
}

std::vector<float> single_sweep_table(int n, const float *wsave) {
    if (n <= 0 || factor_count(n, wsave) < 2) return {};
    const int p = factor(n, wsave, 0);
    if (p > 5) return {};
    const int ido = n / p;
    const Twiddles ta{wsave, ido, p};
    return block_table(p - 1, 1, ido, [&](int r, int part) {
        return part == 0 ? ta.cos_row(r + 1) : ta.sin_row(r + 1);
    });
}

}  // namespace orbelix::fftpack
