#include "analysis/image/local_spectrum.hpp"

#include <algorithm>
#include <cmath>

#include "analysis/image/dost.hpp"

namespace orbelix::analysis {

namespace {

// The bands of one axis and, per band, the coefficient position that covers
// each pixel.
struct AxisPlaces {
    explicit AxisPlaces(int n) : n(n), bands(dost_bands(n)), band_of(dost_band_of_position(n)) {
        const int nb = static_cast<int>(bands.size());
        pos.resize(static_cast<std::size_t>(nb) * n);
        for (int i = 0; i < nb; ++i) {
            const long long w = bands[i].width;
            for (int p = 0; p < n; ++p) {
                const int k = static_cast<int>(((2 * p * w + n) / (2LL * n)) % w);
                pos[static_cast<std::size_t>(i) * n + p] = bands[i].position(n, k);
            }
        }
        // The pixels each position covers: one circular run, as at most two
        // plain runs [start, end).
        runs.assign(static_cast<std::size_t>(n) * 4, 0);
        for (int i = 0; i < nb; ++i) {
            const int *pi = &pos[static_cast<std::size_t>(i) * n];
            for (int p = 0; p < n;) {
                int e = p;
                while (e < n && pi[e] == pi[p]) ++e;
                int *r = &runs[static_cast<std::size_t>(pi[p]) * 4];
                if (r[1] == r[0]) { r[0] = p; r[1] = e; } else { r[2] = p; r[3] = e; }
                p = e;
            }
        }
    }
    int width_at(int position) const { return bands[band_of[position]].width; }
    const int *places(int band) const { return &pos[static_cast<std::size_t>(band) * n]; }

    int n;
    std::vector<DostBand> bands;
    std::vector<int> band_of;
    std::vector<int> pos;   // band x pixel -> position
    std::vector<int> runs;  // position -> two pixel runs
};

inline float squared(cfloat v) { return v.re * v.re + v.im * v.im; }

// Runs body(worker, image, pixel row) over every pixel row of every image.
template <class Body>
void over_rows(const PairTables &t, tools::Parallel &par, Body &&body) {
    const long long rows = t.count * t.n1;
    const long long per_task = std::max<long long>(1, 16384 / std::max(1, t.n2));
    const long long tasks = (rows + per_task - 1) / per_task;
    if (tasks > 0x7fffffff) throw std::bad_alloc();
    par.run(static_cast<int>(tasks), [&](int w, int task) {
        const long long end = std::min(rows, (task + 1) * per_task);
        for (long long r = task * per_task; r < end; ++r)
            body(w, static_cast<long long>(r / t.n1), static_cast<int>(r % t.n1));
    });
}

}  // namespace

void dominant_maps(const PairTables &t, float *frequency, float *orientation, tools::Parallel &par) {
    const AxisPlaces ra(t.n1), ca(t.n2);
    const int nbr = static_cast<int>(ra.bands.size()), nbc = static_cast<int>(ca.bands.size());
    const int n1 = t.n1, n2 = t.n2;
    // Per column position: the per-pixel energy factor of its column band.
    std::vector<float> col_factor(n2);
    for (int c = 0; c < n2; ++c) col_factor[c] = static_cast<float>(static_cast<double>(ca.width_at(c)) / n2);
    struct Scratch {
        std::vector<float> best;
        std::vector<int> arg;
    };
    std::vector<Scratch> scratch(par.workers());
    over_rows(t, par, [&](int w, long long img, int p) {
        Scratch &s = scratch[w];
        if (s.best.empty()) { s.best.resize(n2); s.arg.resize(n2); }
        const cfloat *c = t.c + img * n1 * static_cast<long long>(n2);
        // For each column position, the row band with the most energy there
        // (the zero row band not at the zero column: that pair takes no part).
        std::fill(s.best.begin(), s.best.end(), -1.0f);
        for (int i = 0; i < nbr; ++i) {
            const int r = ra.places(i)[p];
            const float fr = static_cast<float>(static_cast<double>(ra.bands[i].width) / n1);
            const cfloat *row = c + static_cast<long long>(r) * n2;
            for (int col = (i == 0 ? 1 : 0); col < n2; ++col) {
                const float e = squared(row[col]) * fr * col_factor[col];
                if (e > s.best[col]) { s.best[col] = e; s.arg[col] = i; }
            }
        }
        float *fo = frequency + (img * n1 + p) * static_cast<long long>(n2);
        float *oo = orientation + (img * n1 + p) * static_cast<long long>(n2);
        for (int q = 0; q < n2; ++q) {
            float e = 0.0f;
            int bi = -1, bj = -1;
            for (int j = 0; j < nbc; ++j) {
                const int col = ca.places(j)[q];
                if (s.best[col] > e) { e = s.best[col]; bi = s.arg[col]; bj = j; }
            }
            if (bi < 0) { fo[q] = 0.0f; oo[q] = 0.0f; continue; }
            fo[q] = t.frequency[bi * nbc + bj];
            oo[q] = t.orientation[bi * nbc + bj];
        }
    });
}

void octave_energy(const PairTables &t, float *energy, tools::Parallel &par) {
    const AxisPlaces ra(t.n1), ca(t.n2);
    const int nbr = static_cast<int>(ra.bands.size()), nbc = static_cast<int>(ca.bands.size());
    const int n1 = t.n1, n2 = t.n2, no = t.octaves;
    const long long plane = t.count * n1 * static_cast<long long>(n2);
    std::vector<float> col_factor(n2);
    for (int c = 0; c < n2; ++c) col_factor[c] = static_cast<float>(static_cast<double>(ca.width_at(c)) / n2);
    std::vector<std::vector<double>> scratch(par.workers());
    (void)nbc;
    over_rows(t, par, [&](int w, long long img, int p) {
        auto &d = scratch[w];  // per octave, differences along the pixel row
        d.assign(static_cast<std::size_t>(no) * (n2 + 1), 0.0);
        const cfloat *c = t.c + img * n1 * static_cast<long long>(n2);
        for (int i = 0; i < nbr; ++i) {
            const int r = ra.places(i)[p];
            const float fr = static_cast<float>(static_cast<double>(ra.bands[i].width) / n1);
            const cfloat *row = c + static_cast<long long>(r) * n2;
            const int *oct = t.octave + i * nbc;
            for (int col = 0; col < n2; ++col) {
                const double e = squared(row[col]) * fr * col_factor[col];
                double *dd = d.data() + static_cast<std::size_t>(oct[ca.band_of[col]]) * (n2 + 1);
                const int *run = &ca.runs[static_cast<std::size_t>(col) * 4];
                dd[run[0]] += e;
                dd[run[1]] -= e;
                if (run[3] > run[2]) { dd[run[2]] += e; dd[run[3]] -= e; }
            }
        }
        for (int o = 0; o < no; ++o) {
            const double *dd = d.data() + static_cast<std::size_t>(o) * (n2 + 1);
            float *out = energy + o * plane + (img * n1 + p) * static_cast<long long>(n2);
            double sum = 0.0;
            for (int q = 0; q < n2; ++q) {
                sum += dd[q];
                out[q] = static_cast<float>(std::max(0.0, sum));
            }
        }
    });
}

void band_magnitudes(const PairTables &t, float *magnitudes, tools::Parallel &par) {
    const AxisPlaces ra(t.n1), ca(t.n2);
    const int nbr = static_cast<int>(ra.bands.size()), nbc = static_cast<int>(ca.bands.size());
    const int n1 = t.n1, n2 = t.n2;
    const long long plane = t.count * n1 * static_cast<long long>(n2);
    over_rows(t, par, [&](int, long long img, int p) {
        const cfloat *c = t.c + img * n1 * static_cast<long long>(n2);
        for (int i = 0; i < nbr; ++i) {
            const cfloat *row = c + static_cast<long long>(ra.places(i)[p]) * n2;
            for (int j = 0; j < nbc; ++j) {
                const int *cols = ca.places(j);
                float *out = magnitudes + (static_cast<long long>(i) * nbc + j) * plane +
                             (img * n1 + p) * static_cast<long long>(n2);
                for (int q = 0; q < n2; ++q) {
                    const double re = row[cols[q]].re, im = row[cols[q]].im;
                    out[q] = static_cast<float>(std::sqrt(re * re + im * im));
                }
            }
        }
    });
}

}  // namespace orbelix::analysis
