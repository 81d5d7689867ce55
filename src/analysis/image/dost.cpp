#include "analysis/image/dost.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <stdexcept>

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

void check(int ier) {
    if (ier != 0) throw std::runtime_error("FFT failed");
}

// sqrt(num/den) in double, rounded once.
float root_ratio(double num, double den) { return static_cast<float>(std::sqrt(num / den)); }

}  // namespace

Dost1::Dost1(int n) : n_(n), bands_(dost_bands(n)) {
    int widest = 1;
    for (const auto &b : bands_) {
        widest = std::max(widest, b.width);
        if (b.width > 1 && std::find(widths_.begin(), widths_.end(), b.width) == widths_.end()) {
            widths_.push_back(b.width);
            plans_.push_back(std::make_unique<fftpack::TransformPlan>(b.width));
            check(plans_.back()->init_error());
        }
    }
    if (n > 1) {
        full_ = std::make_unique<fftpack::TransformPlan>(n);
        check(full_->init_error());
    }
    t_.resize(widest);
}

fftpack::TransformPlan &Dost1::plan_for(int width) {
    const auto i = std::find(widths_.begin(), widths_.end(), width) - widths_.begin();
    return *plans_[i];
}

void Dost1::forward(cfloat *a) {
    const int n = n_;
    if (full_) check(full_->transform("f", {a, n, 1}));  // spectrum / n
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
        check(plan_for(w).transform("b", {t, w, 1}));
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
        check(plan_for(w).transform("f", {t, w, 1}));
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
    if (full_) check(full_->transform("b", {a, n, 1}));
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
class PerWorker {
public:
    PerWorker(int workers, int n) : n_(n), slots_(workers) {}
    ~PerWorker() {
        for (auto &d : slots_)
            if (d) Pool::instance().give(std::move(d));
    }
    PerWorker(const PerWorker &) = delete;
    PerWorker &operator=(const PerWorker &) = delete;
    Dost1 &operator[](int w) {
        if (!slots_[w]) slots_[w] = Pool::instance().take(n_);
        return *slots_[w];
    }

private:
    int n_;
    std::vector<std::unique_ptr<Dost1>> slots_;
};

// Columns gathered per task of the column pass: whole cache lines of each row.
constexpr int kColumnBlock = 16;

void columns(cfloat *a, long long count, int n1, int n2, bool inverse, tools::Parallel &par) {
    PerWorker dost(par.workers(), n1);
    std::vector<std::vector<cfloat>> bufs(par.workers());
    const int blocks = (n2 + kColumnBlock - 1) / kColumnBlock;
    // Columns kept apart by a stride off the powers of two, so that the
    // gather's writes (one per column) do not all fall into one cache set.
    const std::size_t ld = static_cast<std::size_t>(n1) + 8;
    const long long tasks = count * blocks;
    if (tasks > 0x7fffffff) throw std::bad_alloc();
    par.run(static_cast<int>(tasks), [&](int w, int task) {
        cfloat *img = a + (task / blocks) * static_cast<long long>(n1) * n2;
        const int j0 = (task % blocks) * kColumnBlock;
        const int bw = std::min(kColumnBlock, n2 - j0);
        auto &buf = bufs[w];
        if (buf.empty()) buf.resize(kColumnBlock * ld);
        for (int i = 0; i < n1; ++i) {
            const cfloat *row = img + static_cast<long long>(i) * n2 + j0;
            for (int c = 0; c < bw; ++c) buf[c * ld + i] = row[c];
        }
        Dost1 &d = dost[w];
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
    PerWorker dost(par.workers(), n);
    par.run(static_cast<int>(tasks), [&](int w, int task) {
        Dost1 &d = dost[w];
        const long long end = std::min(count, (task + 1) * per_task);
        for (long long r = task * per_task; r < end; ++r) {
            cfloat *row = a + r * n;
            inverse ? d.inverse(row) : d.forward(row);
        }
    });
}

void dost_images(cfloat *a, long long count, int n1, int n2, bool inverse, tools::Parallel &par) {
    if (count <= 0 || n1 <= 0 || n2 <= 0) return;
    if (!inverse) {
        dost_rows(a, count * n1, n2, false, par);
        columns(a, count, n1, n2, false, par);
    } else {
        columns(a, count, n1, n2, true, par);
        dost_rows(a, count * n1, n2, true, par);
    }
}

}  // namespace orbelix::analysis
