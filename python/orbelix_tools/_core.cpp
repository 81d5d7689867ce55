// orbelix_tools._core: the C++ voices behind the Python layer. Arguments are
// checked in Python; this layer checks again what keeps memory safe (shapes,
// dtypes, bins in range) and raises ValueError otherwise.
#include <nanobind/nanobind.h>
#include <nanobind/ndarray.h>
#include <nanobind/stl/string.h>

#include <climits>
#include <cstdint>
#include <complex>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

#include "core/simd/isa.hpp"
#include "analysis/signal/istransform.hpp"
#include "analysis/signal/parallel.hpp"
#include "analysis/signal/signals.hpp"
#include "analysis/signal/stransform.hpp"
#include "analysis/signal/tfr_power.hpp"
#include "analysis/signal/windows.hpp"
#include "_binding.hpp"

namespace nb = nanobind;
using namespace nb::literals;
using orbelix::cfloat;
using namespace orbelix::tools;
using namespace orbelix::tools::binding;

namespace {

using complex64 = std::complex<float>;
template <class T, std::size_t D>
using Array = nb::ndarray<T, nb::ndim<D>, nb::c_contig, nb::device::cpu>;

template <class T>
using Vector = nb::ndarray<const T, nb::ndim<1>, nb::c_contig, nb::device::cpu>;

// The optional per-voice arrays of a grid (None: not given), kept alive by
// the caller for the call. Checked here for everything that indexes memory.
struct VoiceOptions {
    VoiceOptions(nb::handle bins, nb::handle constants, nb::handle shaped) {
        if (!bins.is_none()) bins_ = nb::cast<Vector<int>>(bins);
        if (!constants.is_none()) constants_ = nb::cast<Vector<float>>(constants);
        if (!shaped.is_none()) {
            auto parts = nb::cast<nb::tuple>(shaped);
            if (parts.size() != 4) throw nb::value_error("shaped must be (values, start, lo, hi)");
            values_ = nb::cast<Vector<complex64>>(parts[0]);
            start_ = nb::cast<Vector<long long>>(parts[1]);
            lo_ = nb::cast<Vector<int>>(parts[2]);
            hi_ = nb::cast<Vector<int>>(parts[3]);
        }
    }

    void apply(VoiceGrid &g) {
        const std::size_t count = static_cast<std::size_t>(g.count);
        if (bins_.is_valid()) {
            expect_count(bins_.shape(0), count, "bins");
            g.bins = bins_.data();
        }
        if (constants_.is_valid()) {
            expect_count(constants_.shape(0), count, "constants");
            for (std::size_t i = 0; i < count; ++i)
                if (!(constants_.data()[i] > 0.0f) || !(constants_.data()[i] <= 3.4e38f))
                    throw nb::value_error("the window constants must be finite and positive");
            g.constants = constants_.data();
        }
        if (values_.is_valid()) {
            expect_count(start_.shape(0), count, "start");
            expect_count(lo_.shape(0), count, "lo");
            expect_count(hi_.shape(0), count, "hi");
            const long long size = static_cast<long long>(values_.shape(0));
            for (std::size_t i = 0; i < count; ++i) {
                const long long lo = lo_.data()[i], hi = hi_.data()[i], start = start_.data()[i];
                if (lo > hi + 1 || start < 0 || start > size - (hi - lo + 1))
                    throw nb::value_error("the shaped windows' offsets exceed their values");
            }
            shaped_.values = reinterpret_cast<const cfloat *>(values_.data());
            shaped_.start = start_.data();
            shaped_.lo = lo_.data();
            shaped_.hi = hi_.data();
            g.shaped = &shaped_;
        }
    }

private:
    static void expect_count(std::size_t got, std::size_t want, const char *what) {
        if (got != want)
            throw nb::value_error((std::string(what) + " must hold one value per voice").c_str());
    }

    Vector<int> bins_;
    Vector<float> constants_;
    Vector<complex64> values_;
    Vector<long long> start_;
    Vector<int> lo_, hi_;
    ShapedWindows shaped_;
};

VoiceGrid make_grid(std::size_t n, int k0, int step, int count, int decim, double width,
                    bool absolute, VoiceOptions &options, int keep = 0) {
    VoiceGrid g;
    if (keep < 0) throw nb::value_error("keep must not be negative");
    g.keep = keep;
    g.n = as_int(n, "the signal length");
    g.k0 = k0;
    g.step = step;
    g.count = count;
    g.decim = decim;
    g.absolute = absolute;
    if (!(width > 0.0) || !(width < 1e18)) throw nb::value_error("width must be finite and positive");
    g.c = window_constant(width);
    if (count < 1) throw nb::value_error("the bins must lie within 0 .. n/2 and sizes be positive");
    options.apply(g);
    if (!g.valid()) throw nb::value_error("the bins must lie within 0 .. n/2 and sizes be positive");
    return g;
}

// Signals from a 3-D array of any supported dtype and strides (outer x
// inner x samples), read in place.
using InputArray = nb::ndarray<nb::ro, nb::ndim<3>, nb::device::cpu>;

Signals signals_of(const InputArray &x, const char *name) {
    Signals s;
    s.data = x.data();
    if (x.dtype() == nb::dtype<float>()) s.type = SampleType::float32;
    else if (x.dtype() == nb::dtype<double>()) s.type = SampleType::float64;
    else if (x.dtype() == nb::dtype<complex64>()) s.type = SampleType::complex64;
    else if (x.dtype() == nb::dtype<std::complex<double>>()) s.type = SampleType::complex128;
    else throw nb::type_error((std::string(name) + " must be float32, float64, complex64 or complex128").c_str());
    require_aligned(s.data, s.type == SampleType::float32 ? alignof(float) : alignof(double), name);
    const std::string signals = "the number of signals of " + std::string(name);
    s.outer = as_int(x.shape(0), signals);
    s.inner = as_int(x.shape(1), signals);
    s.n = as_int(x.shape(2), "the signal length of " + std::string(name));
    if (static_cast<long long>(s.outer) * s.inner > INT_MAX)
        throw nb::value_error((signals + " exceeds 2**31 - 1").c_str());
    s.outer_stride = x.stride(0);
    s.inner_stride = x.stride(1);
    s.sample_stride = x.stride(2);
    return s;
}

void expect_shape(std::size_t got, std::size_t want, const char *what) {
    if (got != want)
        throw nb::value_error((std::string(what) + " has extent " + std::to_string(got) +
                               ", expected " + std::to_string(want))
                                  .c_str());
}

// The working buffers of `workers` threads for signals of n samples and
// voices of `times` samples (a spectrum, voices, FFT tables and work a
// worker; the shared windows), with their estimated size, for a message.
std::string working_buffers(int workers, std::size_t n, std::size_t times) {
    constexpr std::size_t plan_bytes = 96, window_table_bytes = 16 << 20;
    const std::size_t bytes =
        window_table_bytes + workers * ((18 + plan_bytes) * n + (8 + plan_bytes) * times);
    const OutOfMemory described("the working buffers of " + std::to_string(workers) +
                                    (workers == 1 ? " worker" : " workers") + " for signals of " +
                                    std::to_string(n) + " samples",
                                bytes, /*estimated=*/true);
    return described.what();
}

template <class A>
const cfloat *samples(const A &a) {
    return reinterpret_cast<const cfloat *>(a.data());
}

void stransform_into(InputArray x, nb::ndarray<nb::ndim<3>, nb::c_contig, nb::device::cpu> out,
                     int k0, int step, int count, int decim, double width, bool absolute,
                     const std::string &output, int workers, nb::handle owner, nb::handle bins,
                     nb::handle constants, nb::handle shaped, int keep) {
    const Signals signals = signals_of(x, "x");
    VoiceOptions options(bins, constants, shaped);
    const VoiceGrid g = make_grid(signals.n, k0, step, count, decim, width, absolute, options, keep);
    Output kind;
    if (output == "complex") kind = Output::complex;
    else if (output == "power") kind = Output::power;
    else if (output == "magnitude") kind = Output::magnitude;
    else throw nb::value_error("output must be 'complex', 'power' or 'magnitude'");
    const bool is_complex = out.dtype() == nb::dtype<complex64>();
    if (kind == Output::complex ? !is_complex : out.dtype() != nb::dtype<float>())
        throw nb::type_error("out must be complex64 for complex output, float32 otherwise");
    expect_shape(out.shape(0), signals.count(), "out axis 0");
    expect_shape(out.shape(1), g.count, "out axis 1");
    expect_shape(out.shape(2), g.stored(), "out axis 2");
    if (out.size() == 0) return;
    require_aligned(out.data(), alignof(float), "out");
    void *po = out.data();
    run_released(workers, owner, working_buffers(workers, g.n, g.times()),
                 [&](Parallel &par) { stransform(signals, g, kind, po, par); });
}

void istransform_into(Array<const complex64, 3> s, Array<float, 2> out, int k0, bool absolute,
                      int workers, nb::handle owner) {
    VoiceOptions none{nb::none(), nb::none(), nb::none()};
    const VoiceGrid g = make_grid(s.shape(2), k0, 1, as_int(s.shape(1), "the number of voices"), 1,
                                  1.0, absolute, none);
    const int batch = as_int(s.shape(0), "the number of signals of s");
    expect_shape(out.shape(0), batch, "out axis 0");
    expect_shape(out.shape(1), g.n, "out axis 1");
    if (out.size() == 0) return;
    require_aligned(s.data(), alignof(float), "s");
    require_aligned(out.data(), alignof(float), "out");
    const cfloat *ps = samples(s);
    float *po = out.data();
    run_released(workers, owner, working_buffers(workers, g.n, g.n),
                 [&](Parallel &par) { istransform(ps, batch, g, po, par); });
}

void tfr_power_into(InputArray x, Array<float, 3> power, Array<float, 3> itc, int k0, int step,
                    int count, int decim, double width, int workers, nb::handle owner,
                    nb::handle bins, nb::handle constants, nb::handle shaped, int keep) {
    const Signals signals = signals_of(x, "x");
    VoiceOptions options(bins, constants, shaped);
    const VoiceGrid g = make_grid(signals.n, k0, step, count, decim, width, false, options, keep);
    if (signals.outer < 1) throw nb::value_error("x holds no epochs");
    for (auto *a : {&power, &itc}) {
        expect_shape(a->shape(0), signals.inner, "power/itc axis 0");
        expect_shape(a->shape(1), g.count, "power/itc axis 1");
        expect_shape(a->shape(2), g.stored(), "power/itc axis 2");
    }
    if (power.size() == 0) return;
    require_aligned(power.data(), alignof(float), "power");
    require_aligned(itc.data(), alignof(float), "itc");
    float *pp = power.data(), *pi = itc.data();
    run_released(workers, owner, working_buffers(workers, g.n, g.times()),
                 [&](Parallel &par) { tfr_power(signals, g, pp, pi, par); });
}

}  // namespace

void bind_measures(nb::module_ &m);  // _core_measures.cpp
void bind_dost(nb::module_ &m);
void bind_windows(nb::module_ &m);  // _core_windows.cpp

NB_MODULE(_core, m) {
    m.doc() = "C++ voices of orbelix_tools (internal; use the functions of orbelix_tools).";
    // Results are written in place: an output that is not a C-contiguous
    // array of the right dtype is refused, never converted into a copy that
    // would be written and dropped.
    m.def("stransform_into", &stransform_into, "x"_a, "out"_a.noconvert(), nb::kw_only(), "k0"_a, "step"_a,
          "count"_a, "decim"_a, "width"_a, "absolute"_a, "output"_a, "workers"_a, "owner"_a = nb::none(),
          "bins"_a = nb::none(), "constants"_a = nb::none(), "shaped"_a = nb::none(), "keep"_a = 0,
          "Voices k0, k0+step, ... (count of them) of the signals x[i, j, :] (float32,\n"
          "float64, complex64 or complex128, any strides) at every decim-th time, written\n"
          "into out (signals x count x times; complex64 for output 'complex', float32 for\n"
          "'power' and 'magnitude'). owner: the array owning x's memory. Optional, one\n"
          "value per voice: bins (int32, increasing) in place of k0 and step; constants\n"
          "(float32) in place of width's; shaped = (values complex64, start int64, lo int32,\n"
          "hi int32): voice i weights bin offset d in lo[i] .. hi[i] by\n"
          "values[start[i] + d - lo[i]]. keep > 0: out holds the first keep times only.");
    m.def("istransform_into", &istransform_into, "s"_a, "out"_a.noconvert(), nb::kw_only(), "k0"_a,
          "absolute"_a, "workers"_a, "owner"_a = nb::none(),
          "Real signals (rows of out, float32) from full-resolution voices of consecutive\n"
          "bins k0, k0+1, ... (s: signals x voices x n, complex64). owner: the array\n"
          "owning s's memory.");
    m.def("tfr_power_into", &tfr_power_into, "x"_a, "power"_a.noconvert(), "itc"_a.noconvert(),
          nb::kw_only(), "k0"_a,
          "step"_a, "count"_a, "decim"_a, "width"_a, "workers"_a, "owner"_a = nb::none(),
          "bins"_a = nb::none(), "constants"_a = nb::none(), "shaped"_a = nb::none(), "keep"_a = 0,
          "Mean power and inter-trial coherence over the epochs of x (epochs x channels x n,\n"
          "dtypes as for stransform_into), written into power and itc (channels x count x\n"
          "times, float32). owner: the array owning x's memory. bins, constants, shaped:\n"
          "as for stransform_into.");
    m.def("simd_path", [] { return std::string(orbelix::simd::name(orbelix::simd::active())); },
          "The instruction set the transforms run on: 'sse2', 'avx2' or 'avx512'.");
    bind_dost(m);
    bind_measures(m);
    bind_windows(m);
}
