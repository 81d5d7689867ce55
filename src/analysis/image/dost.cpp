#include "analysis/image/dost.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>

#include "core/per_worker.hpp"

namespace orbelix::analysis {

std::vector<DostBand> dost_bands(int n) {
    std::vector<DostBand> bands;
    bands.push_back({0, 1, false});
    const int highest = (n - 1) / 2;  // highest positive frequency
    std::vector<DostBand> octaves;
    for (long long x = 1; x <= highest; x *= 2) {
        const int last = static_cast<int>(std::min<long long>(2 * x - 1, highest));
        octaves.push_back({static_cast<int>(x), last - static_cast<int>(x) + 1, false});
    }
    bands.insert(bands.end(), octaves.begin(), octaves.end());
    if (n % 2 == 0) bands.push_back({n / 2, 1, false});
    for (auto it = octaves.rbegin(); it != octaves.rend(); ++it) bands.push_back({it->first, it->width, true});
    return bands;
}

std::vector<int> dost_band_of_position(int n) {
    std::vector<int> of(n);
    const auto bands = dost_bands(n);
    for (std::size_t i = 0; i < bands.size(); ++i)
        for (int k = 0; k < bands[i].width; ++k) of[bands[i].position(n, k)] = static_cast<int>(i);
    return of;
}

namespace {

// The band transforms of widths 2 and 4, written out: a plan's call costs
// more than their few additions, and every signal has two bands of each.
// backward: unscaled, exponent +; otherwise forward, scaled by 1/w (both
// scalings exact). t holds `lot` bands side by side.
inline bool written_out(int w) { return w == 2 || w == 4; }
inline cfloat add(cfloat a, cfloat b) { return {a.re + b.re, a.im + b.im}; }
inline cfloat sub(cfloat a, cfloat b) { return {a.re - b.re, a.im - b.im}; }
inline cfloat scaled(cfloat a, float s) { return {a.re * s, a.im * s}; }
inline cfloat conj(cfloat a) { return {a.re, -a.im}; }

void small_bands(cfloat *t, int w, bool backward, std::ptrdiff_t lot) {
    cfloat *t0 = t, *t1 = t + lot;
    if (w == 2) {
        for (std::ptrdiff_t s = 0; s < lot; ++s) {
            const cfloat a = t0[s], b = t1[s];
            t0[s] = add(a, b);
            t1[s] = sub(a, b);
            if (!backward) {
                t0[s] = scaled(t0[s], 0.5f);
                t1[s] = scaled(t1[s], 0.5f);
            }
        }
        return;
    }
    cfloat *t2 = t + 2 * lot, *t3 = t + 3 * lot;
    for (std::ptrdiff_t s = 0; s < lot; ++s) {
        // w == 4: y_k = sum_j t_j i^(+-jk).
        const cfloat s02 = add(t0[s], t2[s]), d02 = sub(t0[s], t2[s]);
        const cfloat s13 = add(t1[s], t3[s]), d13 = sub(t1[s], t3[s]);
        // i * d13 for the backward direction, -i * d13 for the forward one.
        const cfloat rot = backward ? cfloat{-d13.im, d13.re} : cfloat{d13.im, -d13.re};
        cfloat y[4] = {add(s02, s13), add(d02, rot), sub(s02, s13), sub(d02, rot)};
        if (!backward)
            for (auto &v : y) v = scaled(v, 0.25f);
        t0[s] = y[0];
        t1[s] = y[1];
        t2[s] = y[2];
        t3[s] = y[3];
    }
}

// sqrt(num/den) in double, rounded once.
float root_ratio(double num, double den) { return static_cast<float>(std::sqrt(num / den)); }

// d = v (conjugated for a negative band), and d = s v (its conjugate),
// over one row of L values.
inline void copy_row(const cfloat *v, cfloat *d, std::ptrdiff_t L, bool negative) {
    if (!negative)
        for (std::ptrdiff_t q = 0; q < L; ++q) d[q] = v[q];
    else
        for (std::ptrdiff_t q = 0; q < L; ++q) d[q] = conj(v[q]);
}
inline void scale_row(const cfloat *v, cfloat *d, std::ptrdiff_t L, float s, bool negative) {
    if (!negative)
        for (std::ptrdiff_t q = 0; q < L; ++q) d[q] = scaled(v[q], s);
    else
        for (std::ptrdiff_t q = 0; q < L; ++q) d[q] = {v[q].re * s, -(v[q].im * s)};
}

// Row m (lot values) of a band: bin first + m of a positive band, bin
// -(first + m) of a negative one, at position first + m or n - first - m.
inline std::ptrdiff_t band_row(const DostBand &b, int n, int m) {
    return b.negative ? n - b.first - m : b.first + m;
}

}  // namespace

Dost1::Dost1(int n) : n_(n), bands_(dost_bands(n)) {
    for (const auto &b : bands_) {
        if (!written_out(b.width) && b.width > 1 && std::find(widths_.begin(), widths_.end(), b.width) == widths_.end()) {
            widths_.push_back(b.width);
            ffts_.push_back(std::make_unique<BatchFft>(b.width));
        }
    }
    if (n > 1) full_ = std::make_unique<BatchFft>(n);
}

BatchFft &Dost1::fft_for(int width) {
    const auto i = std::find(widths_.begin(), widths_.end(), width) - widths_.begin();
    return *ffts_[i];
}

long long Dost1::held_values() const {
    long long values = n_ + static_cast<long long>(t_.capacity() + block_size_);
    if (full_) values += full_->scratch_values();
    for (const auto &f : ffts_) values += f->scratch_values();
    return values;
}

cfloat *Dost1::block(std::size_t values) {
    if (block_size_ < values) {
        block_.reset(new cfloat[values]);  // uninitialised: written before it is read
        block_size_ = values;
    }
    return block_.get();
}

cfloat *Dost1::band_scratch(int width, int lot) {
    const std::size_t need = static_cast<std::size_t>(width) * static_cast<std::size_t>(lot);
    if (t_.size() < need) t_.resize(need);
    return t_.data();
}

void Dost1::forward(cfloat *a, int lot) { lot == 1 ? forward_lot<true>(a, 1) : forward_lot<false>(a, lot); }
void Dost1::inverse(cfloat *a, int lot) { lot == 1 ? inverse_lot<true>(a, 1) : inverse_lot<false>(a, lot); }

template <bool One>
void Dost1::forward_lot(cfloat *a, int lot) {
    const int n = n_;
    const std::ptrdiff_t L = One ? 1 : lot;
    if (full_) full_->transform(true, a, lot);  // spectrum / n
    for (const DostBand &b : bands_) {
        const int w = b.width;
        // sqrt(n) makes the spectrum unitary, 1/sqrt(w) the band's transform.
        const float s = root_ratio(n, w);
        if (w == 1) {
            cfloat *c = a + b.position(n, 0) * L;
            for (std::ptrdiff_t q = 0; q < L; ++q) c[q] = scaled(c[q], s);
            continue;
        }
        // Row j of t = bin (j + h) mod w of the band: its two halves swapped.
        cfloat *t = band_scratch(w, lot);
        const int h = b.middle(), upper = w - h;
        for (int j = 0; j < upper; ++j) copy_row(a + band_row(b, n, h + j) * L, t + j * L, L, b.negative);
        for (int j = 0; j < h; ++j) copy_row(a + band_row(b, n, j) * L, t + (upper + j) * L, L, b.negative);
        if (written_out(w)) small_bands(t, w, true, L);
        else fft_for(w).transform(false, t, lot);
        for (int k = 0; k < w; ++k) scale_row(t + k * L, a + band_row(b, n, k) * L, L, s, b.negative);
    }
}

template <bool One>
void Dost1::inverse_lot(cfloat *a, int lot) {
    const int n = n_;
    const std::ptrdiff_t L = One ? 1 : lot;
    for (const DostBand &b : bands_) {
        const int w = b.width;
        const float r = root_ratio(w, n);
        if (w == 1) {
            cfloat *c = a + b.position(n, 0) * L;
            for (std::ptrdiff_t q = 0; q < L; ++q) c[q] = scaled(c[q], r);
            continue;
        }
        cfloat *t = band_scratch(w, lot);
        for (int k = 0; k < w; ++k) copy_row(a + band_row(b, n, k) * L, t + k * L, L, b.negative);
        if (written_out(w)) small_bands(t, w, false, L);
        else fft_for(w).transform(true, t, lot);
        // Bin (j + h) mod w of the band from row j of t.
        const int h = b.middle(), upper = w - h;
        for (int j = 0; j < upper; ++j) scale_row(t + j * L, a + band_row(b, n, h + j) * L, L, r, b.negative);
        for (int j = 0; j < h; ++j) scale_row(t + (upper + j) * L, a + band_row(b, n, j) * L, L, r, b.negative);
    }
    if (full_) full_->transform(false, a, lot);
}

namespace {

// Transforms kept between calls: building the plans of a length (its FFT
// tables, a chirp-z kernel for awkward band widths) costs more than
// transforming one short signal. Transforms whose lengths and scratch add
// up to kPoolValues values are kept (their tables take a few values per
// length besides); one that does not fit empties the pool of the others.
constexpr long long kPoolValues = 1LL << 23;

class Pool {
public:
    static Pool &instance() {
        static Pool *pool = new Pool;  // never destroyed: used until the process ends
        return *pool;
    }
    std::unique_ptr<Dost1> take(int n) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto it = free_.find(n);
            if (it != free_.end() && !it->second.empty()) {
                std::unique_ptr<Dost1> d = std::move(it->second.back());
                it->second.pop_back();
                held_ -= d->held_values();
                return d;
            }
        }
        return std::make_unique<Dost1>(n);
    }
    void give(std::unique_ptr<Dost1> d) {
        const int n = d->size();
        const long long values = d->held_values();
        if (values > kPoolValues) return;
        std::lock_guard<std::mutex> lock(mutex_);
        if (held_ + values > kPoolValues) {
            free_.clear();
            held_ = 0;
        }
        free_[n].push_back(std::move(d));
        held_ += values;
    }

private:
    std::mutex mutex_;
    std::map<int, std::vector<std::unique_ptr<Dost1>>> free_;
    long long held_ = 0;
};

// One transform object per worker, taken from the pool on first use and
// given back at the end of the call.
struct GiveBack {
    void operator()(Dost1 *d) const { Pool::instance().give(std::unique_ptr<Dost1>(d)); }
};
auto from_pool(int n) {
    return [n] { return std::unique_ptr<Dost1, GiveBack>(Pool::instance().take(n).release()); };
}

// Vectors transformed side by side per task: a block of them, n values
// each, stays in the level-2 cache with the FFT's scratch, and its band
// transforms go through one batched call per band.
constexpr int kMaxLot = 128;
int block_lot(int n) { return std::clamp((1 << 15) / std::max(n, 1) / 8 * 8, 8, kMaxLot); }

// Rows (contiguous vectors) go side by side when they are short and there
// are enough of them; longer ones, one at a time, take the one-vector
// plan's faster passes.
constexpr int kSideBySideUpTo = 2048;
int row_lot(long long count, int n) { return n <= kSideBySideUpTo && count >= 8 ? block_lot(n) : 1; }

// lot rows of n values (row r at rows + r n) into vectors side by side
// (value k of vector r at buf[k lot + r]), and back, a few rows at a time:
// their cache lines stay in the first-level cache while their values are
// read (or written) one after another, even when the rows lie a multiple
// of the cache's way size apart (then the Tile rows' lines share one set).
template <int Tile, class F>
void by_tiles(int n, int lot, F &&move) {
    for (int r0 = 0; r0 < lot; r0 += Tile) {
        const int r1 = std::min(lot, r0 + Tile);
        for (std::ptrdiff_t k = 0; k < n; ++k)
            for (int r = r0; r < r1; ++r) move(k, r);
    }
}
// Rows a multiple of 4 KB apart (n a multiple of 512) go four at a time,
// others eight.
template <class F>
void by_row_tiles(int n, int lot, F &&move) {
    n % 512 == 0 ? by_tiles<4>(n, lot, move) : by_tiles<8>(n, lot, move);
}
void to_side_by_side(const cfloat *rows, int n, int lot, cfloat *buf) {
    by_row_tiles(n, lot, [&](std::ptrdiff_t k, std::ptrdiff_t r) { buf[k * lot + r] = rows[r * n + k]; });
}
void from_side_by_side(const cfloat *buf, int n, int lot, cfloat *rows) {
    by_row_tiles(n, lot, [&](std::ptrdiff_t k, std::ptrdiff_t r) { rows[r * n + k] = buf[k * lot + r]; });
}

int task_count(long long tasks) {
    if (tasks > 0x7fffffff) throw std::bad_alloc();
    return static_cast<int>(tasks);
}

// Transforms columns 0 .. ncols-1 of each image. Columns up to
// kSideBySideUpTo long: a block of them is copied row by row into a block
// of vectors side by side. Longer ones, a few at a time, each gathered into
// a contiguous vector, kept apart by a stride off the powers of two so that
// the gather's writes (one per column) do not all fall into one cache set.
constexpr int kLongColumns = 16;

void columns(cfloat *a, long long count, int n1, int n2, int ncols, bool inverse, tools::Parallel &par) {
    PerWorker dost(par.workers(), from_pool(n1));
    const bool side_by_side = n1 <= kSideBySideUpTo;
    const int lot = side_by_side ? block_lot(n1) : kLongColumns;
    const std::ptrdiff_t ld = side_by_side ? 0 : static_cast<std::ptrdiff_t>(n1) + 8;
    const int blocks = (ncols + lot - 1) / lot;
    par.run(task_count(count * blocks), [&](int w, int task) {
        cfloat *img = a + (task / blocks) * static_cast<long long>(n1) * n2;
        const int j0 = (task % blocks) * lot;
        const int bw = std::min(lot, ncols - j0);
        Dost1 &d = dost(w);
        if (!side_by_side) {
            cfloat *buf = d.block(static_cast<std::size_t>(bw) * ld);
            for (std::ptrdiff_t i = 0; i < n1; ++i) {
                const cfloat *row = img + i * n2 + j0;
                for (int c = 0; c < bw; ++c) buf[c * ld + i] = row[c];
            }
            for (int c = 0; c < bw; ++c) inverse ? d.inverse(buf + c * ld) : d.forward(buf + c * ld);
            for (std::ptrdiff_t i = 0; i < n1; ++i) {
                cfloat *row = img + i * n2 + j0;
                for (int c = 0; c < bw; ++c) row[c] = buf[c * ld + i];
            }
            return;
        }
        cfloat *buf = d.block(static_cast<std::size_t>(n1) * bw);
        for (int i = 0; i < n1; ++i) {
            const cfloat *row = img + static_cast<long long>(i) * n2 + j0;
            std::copy(row, row + bw, buf + static_cast<std::ptrdiff_t>(i) * bw);
        }
        inverse ? d.inverse(buf, bw) : d.forward(buf, bw);
        for (int i = 0; i < n1; ++i) {
            const cfloat *v = buf + static_cast<std::ptrdiff_t>(i) * bw;
            std::copy(v, v + bw, img + static_cast<long long>(i) * n2 + j0);
        }
    });
}

}  // namespace

void dost_rows(cfloat *a, long long count, int n, bool inverse, tools::Parallel &par) {
    if (count <= 0 || n <= 0) return;
    const int lot = row_lot(count, n);
    PerWorker dost(par.workers(), from_pool(n));
    if (lot == 1) {
        par.run(task_count(count), [&](int w, int task) {
            cfloat *row = a + static_cast<long long>(task) * n;
            inverse ? dost(w).inverse(row) : dost(w).forward(row);
        });
        return;
    }
    // Blocks of rows turned into vectors side by side and back.
    par.run(task_count((count + lot - 1) / lot), [&](int w, int task) {
        const long long r0 = static_cast<long long>(task) * lot;
        const int bw = static_cast<int>(std::min<long long>(lot, count - r0));
        cfloat *buf = dost(w).block(static_cast<std::size_t>(n) * bw);
        cfloat *rows = a + r0 * n;
        to_side_by_side(rows, n, bw, buf);
        inverse ? dost(w).inverse(buf, bw) : dost(w).forward(buf, bw);
        from_side_by_side(buf, n, bw, rows);
    });
}

namespace {

// Rows x and y (x + n) at m and its mirror mm from z = D(x + iy)[m] and
// zm = D(x + iy)[mm], both read before any is written.
inline void split_pair(cfloat z, cfloat zm, cfloat *x, std::ptrdiff_t n, std::ptrdiff_t m, std::ptrdiff_t mm) {
    cfloat *y = x + n;
    const cfloat am = {0.5f * (z.re + zm.re), 0.5f * (z.im - zm.im)};
    const cfloat bm = {0.5f * (z.im + zm.im), 0.5f * (zm.re - z.re)};
    x[m] = am;
    y[m] = bm;
    x[mm] = {am.re, -am.im};
    y[mm] = {bm.re, -bm.im};
}

// Real rows two at a time: the transform of a + ib is D(a) + iD(b), and D
// of a real row has the spectrum's symmetry, so D(a)[m] = (z[m] +
// conj(z[-m]))/2 and D(b)[m] = (z[m] - conj(z[-m]))/(2i).
// Rows pair up within each image (the last one of an odd count alone), so
// an image's numbers do not depend on the others of its batch.
void real_rows(cfloat *a, long long count, int n1, int n, tools::Parallel &par) {
    const int slots = (n1 + 1) / 2;
    const long long pairs = count * slots;
    const int lot = row_lot(pairs, n);
    PerWorker dost(par.workers(), from_pool(n));
    auto row_at = [&](long long q) { return a + ((q / slots) * n1 + 2 * (q % slots)) * static_cast<long long>(n); };
    auto paired_at = [&](long long q) { return 2 * (q % slots) + 1 < n1; };
    if (lot == 1) {
        // Long rows: each pair in place, packed into the first row.
        par.run(task_count(pairs), [&](int w, int task) {
            cfloat *x = row_at(task);
            if (!paired_at(task)) {
                dost(w).forward(x);
                return;
            }
            const cfloat *y = x + n;
            for (int m = 0; m < n; ++m) x[m].im = y[m].re;
            dost(w).forward(x);
            for (int m = 0; m <= n / 2; ++m) {
                const int mm = (n - m) % n;
                split_pair(x[m], x[mm], x, n, m, mm);
            }
        });
        return;
    }
    par.run(task_count((pairs + lot - 1) / lot), [&](int w, int task) {
        const long long q0 = static_cast<long long>(task) * lot;
        const int bw = static_cast<int>(std::min<long long>(lot, pairs - q0));
        cfloat *buf = dost(w).block(static_cast<std::size_t>(n) * bw);
        // Vector r = row x + i row y (the real parts of both), or row x alone.
        cfloat *x[kMaxLot];
        const cfloat *y[kMaxLot];
        for (int r = 0; r < bw; ++r) {
            x[r] = row_at(q0 + r);
            y[r] = paired_at(q0 + r) ? x[r] + n : x[r];
        }
        by_tiles<4>(n, bw, [&](std::ptrdiff_t k, int r) {
            buf[k * bw + r] = {x[r][k].re, y[r] != x[r] ? y[r][k].re : x[r][k].im};
        });
        dost(w).forward(buf, bw);
        // Back into the rows, two vectors (four rows) at a time as above:
        // m and its mirror mm from the same two values.
        by_tiles<2>(n / 2 + 1, bw, [&](std::ptrdiff_t m, int r) {
            const std::ptrdiff_t mm = (n - m) % n;
            const cfloat z = buf[m * bw + r], zm = buf[mm * bw + r];
            cfloat *xr = x[r];
            if (y[r] == x[r]) {
                xr[m] = z;
                xr[mm] = zm;
                return;
            }
            split_pair(z, zm, xr, n, m, mm);
        });
    });
}

}  // namespace

namespace {

// dst[m] = conj(src[n - m]) for m = from .. n-1, two values at a time: the
// source pair read as one vector, its halves swapped and the imaginary
// parts' signs flipped (a negation, as for one value).
void mirror_row(const cfloat *src, int n, int from, cfloat *dst) {
    typedef float Pair __attribute__((vector_size(16)));
    typedef unsigned Bits __attribute__((vector_size(16)));
    const Bits sign = {0u, 0x80000000u, 0u, 0x80000000u};
    int m = from;
    for (; m + 1 < n; m += 2) {
        Pair v;
        std::memcpy(&v, src + (n - m - 1), sizeof v);  // src[n-m-1], src[n-m]
        v = __builtin_shufflevector(v, v, 2, 3, 0, 1);
        v = reinterpret_cast<Pair>(reinterpret_cast<Bits>(v) ^ sign);
        std::memcpy(dst + m, &v, sizeof v);
    }
    for (; m < n; ++m) dst[m] = conj(src[n - m]);
}

}  // namespace

void dost_images(cfloat *a, long long count, int n1, int n2, bool inverse, tools::Parallel &par,
                 bool real) {
    if (count <= 0 || n1 <= 0 || n2 <= 0) return;
    if (inverse) {
        columns(a, count, n1, n2, n2, true, par);
        dost_rows(a, count * n1, n2, true, par);
        return;
    }
    if (!real) {
        dost_rows(a, count * n1, n2, false, par);
        columns(a, count, n1, n2, n2, false, par);
        return;
    }
    // Real images: rows two at a time, then the columns up to n2/2; the
    // others are their mirrors, c[r, n2-m] = conj(c[(n1-r) mod n1, m]).
    real_rows(a, count, n1, n2, par);
    const int half = n2 / 2 + 1;
    columns(a, count, n1, n2, std::min(half, n2), false, par);
    for (long long img = 0; img < count; ++img) {
        cfloat *c = a + img * n1 * static_cast<long long>(n2);
        for (int r = 0; r < n1; ++r)
            mirror_row(c + static_cast<long long>((n1 - r) % n1) * n2, n2, half,
                       c + static_cast<long long>(r) * n2);
    }
}

}  // namespace orbelix::analysis
