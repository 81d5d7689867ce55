// cfft1f against FFTW inside one C++ process, both called back to back
// with nothing between the calls (no interpreter, so no call cost and no
// disturbed caches), rounds interleaved, medians of thread CPU time. FFTW
// is a black box loaded at run time: its single-precision library (for
// instance the one pyfftw ships), planned with FFTW_MEASURE, out of place
// on aligned arrays, as pyfftw plans it. Build as transform_plan_timing.cpp
// with -ldl, then
//   /tmp/cfft1f_fftw $(python -c "import glob, os, pyfftw; print(glob.glob(os.path.join(
//       os.path.dirname(pyfftw.__file__), '..', 'pyfftw.libs', 'libfftw3f-*'))[0])") [N ...]
#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench_support.hpp"
#include "fft/checks/checks.hpp"
#include "orbelix.h"

namespace {

// The few FFTW entry points used, declared by their documented signatures.
struct Fftw {
    using Plan = void *;
    Plan (*plan_dft_1d)(int, float *, float *, int, unsigned);
    void (*execute)(Plan);
    void (*destroy_plan)(Plan);
    float *(*malloc)(std::size_t);
    void (*free)(void *);
    static constexpr int kForward = -1;
    static constexpr unsigned kMeasure = 0;
};

template <class F>
void bind(void *lib, const char *name, F &f) {
    f = reinterpret_cast<F>(dlsym(lib, name));
    if (!f) {
        std::fprintf(stderr, "%s: not in the library\n", name);
        std::exit(1);
    }
}

// Appends the seconds per call of f over reps calls.
template <class F>
void time_round(F &&f, long reps, std::vector<double> &t) {
    const double t0 = cpu_now();
    for (long i = 0; i < reps; ++i) f();
    t.push_back((cpu_now() - t0) / reps);
}

double median(std::vector<double> t) {
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s LIBFFTW3F [N ...]\n", argv[0]);
        return 2;
    }
    void *lib = dlopen(argv[1], RTLD_NOW);
    if (!lib) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    Fftw fftw;
    bind(lib, "fftwf_plan_dft_1d", fftw.plan_dft_1d);
    bind(lib, "fftwf_execute", fftw.execute);
    bind(lib, "fftwf_destroy_plan", fftw.destroy_plan);
    bind(lib, "fftwf_malloc", fftw.malloc);
    bind(lib, "fftwf_free", fftw.free);

    std::vector<int> sizes;
    for (int i = 2; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty()) sizes = {256, 1000, 1024, 2048, 4096, 8192, 65536};
    std::printf("%8s %12s %12s %8s\n", "N", "FFTW ns", "cfft1f ns", "ratio");
    for (int n : sizes) {
        float *in = fftw.malloc(8 * static_cast<std::size_t>(n));
        float *out = fftw.malloc(8 * static_cast<std::size_t>(n));
        Fftw::Plan plan = fftw.plan_dft_1d(n, in, out, Fftw::kForward, Fftw::kMeasure);
        for (int i = 0; i < 2 * n; ++i) in[i] = 0.001f * static_cast<float>(i % 13);

        int lensav = static_cast<int>(orbelix::fftpack::table_floats(n)), lenwrk = 2 * n;
        int inc = 1, ier = 0;
        // In place, as the routine works: its 1/N scaling takes the values
        // to zero within a few dozen calls, which run as fast as any others.
        std::vector<float> c(in, in + 2 * n), wsave(lensav), work(lenwrk);
        cfft1i(&n, wsave.data(), &lensav, &ier);

        const long reps = std::max(1L, 100000000L / (12L * n));
        std::vector<double> tf, to;
        for (int r = 0; r < 9; ++r) {
            time_round([&] { fftw.execute(plan); }, reps, tf);
            time_round([&] { cfft1f(&n, &inc, c.data(), &n, wsave.data(), &lensav, work.data(),
                                    &lenwrk, &ier); },
                       reps, to);
        }
        const double f = median(tf), o = median(to);
        std::printf("%8d %12.1f %12.1f %8.2f\n", n, f * 1e9, o * 1e9, o / f);
        fftw.destroy_plan(plan);
        fftw.free(in);
        fftw.free(out);
    }
}
