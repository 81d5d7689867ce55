#include "analysis/image/dost.hpp"

#include <algorithm>
#include <cmath>
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
// scalings exact).
inline bool written_out(int w) { return w == 2 || w == 4; }
inline cfloat add(cfloat a, cfloat b) { return {a.re + b.re, a.im + b.im}; }
inline cfloat sub(cfloat a, cfloat b) { return {a.re - b.re, a.im - b.im}; }
inline cfloat scaled(cfloat a, float s) { return {a.re * s, a.im * s}; }

void small_band(cfloat *t, int w, bool backward) {
    if (w == 2) {
        const cfloat a = t[0], b = t[1];
        t[0] = add(a, b);
        t[1] = sub(a, b);
        if (!backward) {
            t[0] = scaled(t[0], 0.5f);
            t[1] = scaled(t[1], 0.5f);
        }
        return;
    }
    // w == 4: y_k = sum_j t_j i^(+-jk).
    const cfloat s02 = add(t[0], t[2]), d02 = sub(t[0], t[2]);
    const cfloat s13 = add(t[1], t[3]), d13 = sub(t[1], t[3]);
    // i * d13 for the backward direction, -i * d13 for the forward one.
    const cfloat rot = backward ? cfloat{-d13.im, d13.re} : cfloat{d13.im, -d13.re};
    t[0] = add(s02, s13);
    t[1] = add(d02, rot);
    t[2] = sub(s02, s13);
    t[3] = sub(d02, rot);
    if (!backward)
        for (int k = 0; k < 4; ++k) t[k] = scaled(t[k], 0.25f);
}

// sqrt(num/den) in double, rounded once.
float root_ratio(double num, double den) { return static_cast<float>(std::sqrt(num / den)); }

}  // namespace

Dost1::Dost1(int n) : n_(n), bands_(dost_bands(n)) {
    int widest = 1;
    for (const auto &b : bands_) {
        widest = std::max(widest, b.width);
        if (!written_out(b.width) && b.width > 1 && std::find(widths_.begin(), widths_.end(), b.width) == widths_.end()) {
            widths_.push_back(b.width);
            plans_.push_back(std::make_unique<fftpack::TransformPlan>(b.width));
        }
    }
    if (n > 1) full_ = std::make_unique<fftpack::TransformPlan>(n);
    t_.resize(widest);
}

fftpack::TransformPlan &Dost1::plan_for(int width) {
    const auto i = std::find(widths_.begin(), widths_.end(), width) - widths_.begin();
    return *plans_[i];
}

void Dost1::forward(cfloat *a) {
    const int n = n_;
    if (full_) full_->transform("f", {a, n, 1});  // spectrum / n
    cfloat *t = t_.data();
    for (const DostBand &b : bands_) {
        const int w = b.width;
        // sqrt(n) makes the spectrum unitary, 1/sqrt(w) the band's transform.
        const float s = root_ratio(n, w);
        if (w == 1) {
            cfloat &c = a[b.position(n, 0)];
            c = {c.re * s, c.im * s};
            continue;
        }
        // t[j] = bin (j + h) mod w of the band: its two halves swapped.
        const int h = b.middle(), upper = w - h;
        if (!b.negative) {
            const cfloat *v = a + b.first;
            for (int j = 0; j < upper; ++j) t[j] = v[h + j];
            for (int j = 0; j < h; ++j) t[upper + j] = v[j];
        } else {
            const cfloat *v = a + (n - b.first);  // v[-m]: bin -(first + m)
            for (int j = 0; j < upper; ++j) t[j] = {v[-(h + j)].re, -v[-(h + j)].im};
            for (int j = 0; j < h; ++j) t[upper + j] = {v[-j].re, -v[-j].im};
        }
        if (written_out(w)) small_band(t, w, true);
        else plan_for(w).transform("b", {t, w, 1});
        if (!b.negative) {
            for (int k = 0; k < w; ++k) a[b.first + k] = {t[k].re * s, t[k].im * s};
        } else {
            for (int k = 0; k < w; ++k) a[n - b.first - k] = {t[k].re * s, -(t[k].im * s)};
        }
    }
}

void Dost1::inverse(cfloat *a) {
    const int n = n_;
    cfloat *t = t_.data();
    for (const DostBand &b : bands_) {
        const int w = b.width;
        const float r = root_ratio(w, n);
        if (w == 1) {
            cfloat &c = a[b.position(n, 0)];
            c = {c.re * r, c.im * r};
            continue;
        }
        const int h = b.middle(), upper = w - h;
        if (!b.negative) {
            for (int k = 0; k < w; ++k) t[k] = a[b.first + k];
        } else {
            for (int k = 0; k < w; ++k) {
                const cfloat v = a[n - b.first - k];
                t[k] = {v.re, -v.im};
            }
        }
        if (written_out(w)) small_band(t, w, false);
        else plan_for(w).transform("f", {t, w, 1});
        // Bin (j + h) mod w of the band from t[j].
        if (!b.negative) {
            cfloat *v = a + b.first;
            for (int j = 0; j < upper; ++j) v[h + j] = {t[j].re * r, t[j].im * r};
            for (int j = 0; j < h; ++j) v[j] = {t[upper + j].re * r, t[upper + j].im * r};
        } else {
            cfloat *v = a + (n - b.first);
            for (int j = 0; j < upper; ++j) v[-(h + j)] = {t[j].re * r, -(t[j].im * r)};
            for (int j = 0; j < h; ++j) v[-j] = {t[upper + j].re * r, -(t[upper + j].im * r)};
        }
    }
    if (full_) full_->transform("b", {a, n, 1});
}

namespace {

// Transforms kept between calls: building the plans of a length (its FFT
// tables, a chirp-z kernel for awkward band widths) costs more than
// transforming one short signal. Up to kPoolValues values of lengths are
// kept; a length that does not fit empties the pool of the others.
constexpr long long kPoolValues = 1LL << 22;

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
                held_ -= n;
                return d;
            }
        }
        return std::make_unique<Dost1>(n);
    }
    void give(std::unique_ptr<Dost1> d) {
        const int n = d->size();
        if (n > kPoolValues) return;
        std::lock_guard<std::mutex> lock(mutex_);
        if (held_ + n > kPoolValues) {
            free_.clear();
            held_ = 0;
        }
        free_[n].push_back(std::move(d));
        held_ += n;
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

// Columns gathered per task of the column pass: whole cache lines of each row.
constexpr int kColumnBlock = 16;

// Transforms columns 0 .. ncols-1 of each image.
void columns(cfloat *a, long long count, int n1, int n2, int ncols, bool inverse, tools::Parallel &par) {
    PerWorker dost(par.workers(), from_pool(n1));
    std::vector<std::vector<cfloat>> bufs(par.workers());
    const int blocks = (ncols + kColumnBlock - 1) / kColumnBlock;
    // Columns kept apart by a stride off the powers of two, so that the
    // gather's writes (one per column) do not all fall into one cache set.
    const std::size_t ld = static_cast<std::size_t>(n1) + 8;
    const long long tasks = count * blocks;
    if (tasks > 0x7fffffff) throw std::bad_alloc();
    par.run(static_cast<int>(tasks), [&](int w, int task) {
        cfloat *img = a + (task / blocks) * static_cast<long long>(n1) * n2;
        const int j0 = (task % blocks) * kColumnBlock;
        const int bw = std::min(kColumnBlock, ncols - j0);
        auto &buf = bufs[w];
        if (buf.empty()) buf.resize(kColumnBlock * ld);
        for (int i = 0; i < n1; ++i) {
            const cfloat *row = img + static_cast<long long>(i) * n2 + j0;
            for (int c = 0; c < bw; ++c) buf[c * ld + i] = row[c];
        }
        Dost1 &d = dost(w);
        for (int c = 0; c < bw; ++c) {
            cfloat *col = buf.data() + c * ld;
            inverse ? d.inverse(col) : d.forward(col);
        }
        for (int i = 0; i < n1; ++i) {
            cfloat *row = img + static_cast<long long>(i) * n2 + j0;
            for (int c = 0; c < bw; ++c) row[c] = buf[c * ld + i];
        }
    });
}

}  // namespace

void dost_rows(cfloat *a, long long count, int n, bool inverse, tools::Parallel &par) {
    if (count <= 0 || n <= 0) return;
    // Tasks of whole rows, several short rows each so that the claim costs little.
    const long long per_task = std::max<long long>(1, 4096 / n);
    const long long tasks = (count + per_task - 1) / per_task;
    if (tasks > 0x7fffffff) throw std::bad_alloc();
    PerWorker dost(par.workers(), from_pool(n));
    par.run(static_cast<int>(tasks), [&](int w, int task) {
        Dost1 &d = dost(w);
        const long long end = std::min(count, (task + 1) * per_task);
        for (long long r = task * per_task; r < end; ++r) {
            cfloat *row = a + r * n;
            inverse ? d.inverse(row) : d.forward(row);
        }
    });
}

namespace {

// Real rows two at a time: the transform of a + ib is D(a) + iD(b), and D
// of a real row has the spectrum's symmetry, so D(a)[m] = (z[m] +
// conj(z[-m]))/2 and D(b)[m] = (z[m] - conj(z[-m]))/(2i).
// Rows pair up within each image (the last one of an odd count alone), so
// an image's numbers do not depend on the others of its batch.
void real_rows(cfloat *a, long long count, int n1, int n, tools::Parallel &par) {
    const int slots = (n1 + 1) / 2;
    const long long pairs = count * slots;
    const long long per_task = std::max<long long>(1, 2048 / n);
    const long long tasks = (pairs + per_task - 1) / per_task;
    if (tasks > 0x7fffffff) throw std::bad_alloc();
    PerWorker dost(par.workers(), from_pool(n));
    par.run(static_cast<int>(tasks), [&](int w, int task) {
        Dost1 &d = dost(w);
        const long long end = std::min(pairs, (task + 1) * per_task);
        for (long long q = task * per_task; q < end; ++q) {
            const int row = 2 * static_cast<int>(q % slots);
            cfloat *x = a + ((q / slots) * n1 + row) * static_cast<long long>(n);
            if (row + 1 == n1) {
                d.forward(x);
                continue;
            }
            cfloat *y = x + n;
            for (int m = 0; m < n; ++m) x[m].im = y[m].re;
            d.forward(x);
            for (int m = 0; m <= n / 2; ++m) {
                const int mm = (n - m) % n;
                const cfloat z = x[m], zm = x[mm];
                // m and its mirror mm, from the same two values.
                const cfloat am = {0.5f * (z.re + zm.re), 0.5f * (z.im - zm.im)};
                const cfloat bm = {0.5f * (z.im + zm.im), 0.5f * (zm.re - z.re)};
                x[m] = am;
                y[m] = bm;
                x[mm] = {am.re, -am.im};
                y[mm] = {bm.re, -bm.im};
            }
        }
    });
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
        for (int r = 0; r < n1; ++r) {
            const cfloat *src = c + static_cast<long long>((n1 - r) % n1) * n2;
            cfloat *dst = c + static_cast<long long>(r) * n2;
            for (int m = half; m < n2; ++m) dst[m] = {src[n2 - m].re, -src[n2 - m].im};
        }
    }
}

}  // namespace orbelix::analysis
