#include "analysis/image/local_frequency_maps.hpp"

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
        // Pixels whose places all equal those of the pixel before start no
        // new run: their results are those of the run's first pixel.
        for (int p = 0; p < n; ++p) {
            bool same = p > 0;
            for (int i = 0; i < nb && same; ++i)
                same = pos[static_cast<std::size_t>(i) * n + p] == pos[static_cast<std::size_t>(i) * n + p - 1];
            if (!same) starts.push_back(p);
        }
        starts.push_back(n);
        // Per run, the position of each band there, side by side.
        for (int run = 0; run + 1 < static_cast<int>(starts.size()); ++run)
            for (int i = 0; i < nb; ++i) run_positions.push_back(pos[static_cast<std::size_t>(i) * n + starts[run]]);
    }
    int width_at(int position) const { return bands[band_of[position]].width; }
    const int *places(int band) const { return &pos[static_cast<std::size_t>(band) * n]; }

    int n;
    std::vector<DostBand> bands;
    std::vector<int> band_of;
    std::vector<int> pos;   // band x pixel -> position
    std::vector<int> runs;  // position -> two pixel runs
    std::vector<int> starts;  // first pixel of each run of equal places, then n
    std::vector<int> run_positions;  // run x band -> position
    int run_count() const { return static_cast<int>(starts.size()) - 1; }
};

inline float squared(cfloat v) { return v.re * v.re + v.im * v.im; }

// best[col], arg[col]: the most energy at column position col over the row
// bands at pixel row p, and its band. Branch-free selections on local
// pointers that cannot alias, so that the loops run in SIMD lanes.
void select_rows(const AxisPlaces &ra, int p, const cfloat *c, int n1, int n2,
                 const float *__restrict col_factor, float *__restrict e,
                 float *__restrict best, int *__restrict arg) {
    const int nbr = static_cast<int>(ra.bands.size());
    for (int i = 0; i < nbr; ++i) {
        const float fr = static_cast<float>(static_cast<double>(ra.bands[i].width) / n1);
        const float *__restrict row = reinterpret_cast<const float *>(c + static_cast<long long>(ra.places(i)[p]) * n2);
        for (int col = 0; col < n2; ++col) {
            const float re = row[2 * col], im = row[2 * col + 1];
            e[col] = (re * re + im * im) * fr * col_factor[col];
        }
        if (i == 0) e[0] = -1.0f;  // the zero-frequency pair takes no part
        for (int col = 0; col < n2; ++col) {
            const float v = e[col], b = best[col];
            const int more = -static_cast<int>(v > b);  // all bits set when v wins
            best[col] = b < v ? v : b;
            arg[col] = (arg[col] & ~more) | (i & more);
        }
    }
}

// Runs body(worker, image, first pixel row, end) over every run of pixel
// rows with equal row places in every image: the body computes the first
// row of the run and copies it to the others (copy_rows).
template <class Body>
void over_row_runs(const PairTables &t, const AxisPlaces &ra, tools::Parallel &par, Body &&body) {
    const long long runs = t.count * ra.run_count();
    const long long per_task = std::max<long long>(1, 4096 / std::max(1, t.n2));
    const long long tasks = (runs + per_task - 1) / per_task;
    if (tasks > 0x7fffffff) throw std::bad_alloc();
    par.run(static_cast<int>(tasks), [&](int w, int task) {
        const long long end = std::min(runs, (task + 1) * per_task);
        for (long long r = task * per_task; r < end; ++r) {
            const int run = static_cast<int>(r % ra.run_count());
            body(w, r / ra.run_count(), ra.starts[run], ra.starts[run + 1]);
        }
    });
}

// Copies row p0 of a plane (count x n1 x n2, image img) to rows p0+1 .. p1-1.
inline void copy_rows(float *plane, const PairTables &t, long long img, int p0, int p1) {
    float *first = plane + (img * t.n1 + p0) * static_cast<long long>(t.n2);
    for (int p = p0 + 1; p < p1; ++p)
        std::copy(first, first + t.n2, first + static_cast<long long>(p - p0) * t.n2);
}

}  // namespace

void dominant_maps(const PairTables &t, float *frequency, float *orientation, tools::Parallel &par) {
    const AxisPlaces ra(t.n1), ca(t.n2);
    const int nbc = static_cast<int>(ca.bands.size());
    const int n1 = t.n1, n2 = t.n2;
    // Per column position: the per-pixel energy factor of its column band.
    std::vector<float> col_factor(n2);
    for (int c = 0; c < n2; ++c) col_factor[c] = static_cast<float>(static_cast<double>(ca.width_at(c)) / n2);
    struct Scratch {
        std::vector<float> best, energy;
        std::vector<int> arg;
    };
    std::vector<Scratch> scratch(par.workers());
    over_row_runs(t, ra, par, [&](int w, long long img, int p, int p_end) {
        Scratch &s = scratch[w];
        if (s.best.empty()) { s.best.resize(n2); s.energy.resize(n2); s.arg.resize(n2); }
        const cfloat *c = t.c + img * n1 * static_cast<long long>(n2);
        // For each column position, the row band with the most energy there
        // (the zero row band not at the zero column: that pair takes no
        // part). Branch-free selections, so the loops run in SIMD lanes.
        std::fill(s.best.begin(), s.best.end(), -1.0f);
        std::fill(s.arg.begin(), s.arg.end(), 0);
        select_rows(ra, p, c, n1, n2, col_factor.data(), s.energy.data(), s.best.data(), s.arg.data());
        float *fo = frequency + (img * n1 + p) * static_cast<long long>(n2);
        float *oo = orientation + (img * n1 + p) * static_cast<long long>(n2);
        for (int run = 0; run < ca.run_count(); ++run) {
            const int q0 = ca.starts[run], q1 = ca.starts[run + 1];
            const int *cols = &ca.run_positions[static_cast<std::size_t>(run) * nbc];
            float e = 0.0f;
            int pair = -1;
            for (int j = 0; j < nbc; ++j) {
                const float b = s.best[cols[j]];
                const bool more = b > e;
                e = more ? b : e;
                pair = more ? s.arg[cols[j]] * nbc + j : pair;
            }
            const float f = pair < 0 ? 0.0f : t.frequency[pair];
            const float o = pair < 0 ? 0.0f : t.orientation[pair];
            std::fill(fo + q0, fo + q1, f);
            std::fill(oo + q0, oo + q1, o);
        }
        copy_rows(frequency, t, img, p, p_end);
        copy_rows(orientation, t, img, p, p_end);
    });
}

void octave_energy(const PairTables &t, float *energy, tools::Parallel &par) {
    const AxisPlaces ra(t.n1), ca(t.n2);
    const int nbr = static_cast<int>(ra.bands.size()), nbc = static_cast<int>(ca.bands.size());
    const int n1 = t.n1, n2 = t.n2, no = t.octaves, runs = ca.run_count();
    const long long plane = t.count * n1 * static_cast<long long>(n2);
    std::vector<float> col_factor(n2);
    for (int c = 0; c < n2; ++c) col_factor[c] = static_cast<float>(static_cast<double>(ca.width_at(c)) / n2);
    // The column positions of each column band: one contiguous range.
    std::vector<int> lo(nbc), hi(nbc);
    for (int j = 0; j < nbc; ++j) {
        const int a = ca.bands[j].position(n2, 0), b = ca.bands[j].position(n2, ca.bands[j].width - 1);
        lo[j] = std::min(a, b);
        hi[j] = std::max(a, b) + 1;
    }
    // Per octave, the column bands that any row band pairs into it.
    std::vector<std::vector<int>> bands_of(no);
    for (int j = 0; j < nbc; ++j)
        for (int o = 0; o < no; ++o)
            for (int i = 0; i < nbr; ++i)
                if (t.octave[i * nbc + j] == o) {
                    bands_of[o].push_back(j);
                    break;
                }
    // The run of equal column places each pixel lies in (n2: past the end).
    std::vector<int> run_of(n2 + 1, runs);
    for (int r = 0; r < runs; ++r)
        for (int q = ca.starts[r]; q < ca.starts[r + 1]; ++q) run_of[q] = r;
    struct Scratch {
        std::vector<float> g, e;  // octave x column position; energies of one row band
        std::vector<double> d;   // differences along the runs
    };
    std::vector<Scratch> scratch(par.workers());
    over_row_runs(t, ra, par, [&](int w, long long img, int p, int p_end) {
        Scratch &s = scratch[w];
        s.g.assign(static_cast<std::size_t>(no) * n2, 0.0f);
        s.e.resize(n2);
        const cfloat *c = t.c + img * n1 * static_cast<long long>(n2);
        // g[o][col]: the energy at column position col of the pairs of
        // octave o, summed over the row bands in their order.
        for (int i = 0; i < nbr; ++i) {
            const float fr = static_cast<float>(static_cast<double>(ra.bands[i].width) / n1);
            const float *__restrict row =
                reinterpret_cast<const float *>(c + static_cast<long long>(ra.places(i)[p]) * n2);
            float *__restrict e = s.e.data();
            const float *__restrict cf = col_factor.data();
            for (int col = 0; col < n2; ++col) {
                const float re = row[2 * col], im = row[2 * col + 1];
                e[col] = (re * re + im * im) * fr * cf[col];
            }
            for (int j = 0; j < nbc; ++j) {
                float *__restrict g = s.g.data() + static_cast<std::size_t>(t.octave[i * nbc + j]) * n2;
                for (int col = lo[j]; col < hi[j]; ++col) g[col] += e[col];
            }
        }
        float *row_out = energy + (img * n1 + p) * static_cast<long long>(n2);
        for (int o = 0; o < no; ++o) {
            s.d.assign(runs + 1, 0.0);
            const float *g = s.g.data() + static_cast<std::size_t>(o) * n2;
            for (int j : bands_of[o]) {
                for (int col = lo[j]; col < hi[j]; ++col) {
                    const int *run = &ca.runs[static_cast<std::size_t>(col) * 4];
                    s.d[run_of[run[0]]] += g[col];
                    s.d[run_of[run[1]]] -= g[col];
                    if (run[3] > run[2]) {
                        s.d[run_of[run[2]]] += g[col];
                        s.d[run_of[run[3]]] -= g[col];
                    }
                }
            }
            float *out = row_out + o * plane;
            double sum = 0.0;
            for (int r = 0; r < runs; ++r) {
                sum += s.d[r];
                std::fill(out + ca.starts[r], out + ca.starts[r + 1], static_cast<float>(std::max(0.0, sum)));
            }
            copy_rows(energy + o * plane, t, img, p, p_end);
        }
    });
}

void band_magnitudes(const PairTables &t, float *magnitudes, tools::Parallel &par) {
    const AxisPlaces ra(t.n1), ca(t.n2);
    const int nbr = static_cast<int>(ra.bands.size()), nbc = static_cast<int>(ca.bands.size());
    const int n1 = t.n1, n2 = t.n2;
    const long long plane = t.count * n1 * static_cast<long long>(n2);
    over_row_runs(t, ra, par, [&](int, long long img, int p, int p_end) {
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
                copy_rows(magnitudes + (static_cast<long long>(i) * nbc + j) * plane, t, img, p, p_end);
            }
        }
    });
}

}  // namespace orbelix::analysis
