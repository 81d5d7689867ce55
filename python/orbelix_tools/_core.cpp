// orbelix_tools._core: the C++ voices behind the Python layer. Arguments are
// checked in Python; this layer checks again what keeps memory safe (shapes,
// dtypes, bins in range) and raises ValueError otherwise.
#include <nanobind/nanobind.h>
#include <nanobind/ndarray.h>
#include <nanobind/stl/string.h>

#include <climits>
#include <complex>
#include <string>
#include <utility>

#include "tools/istransform.hpp"
#include "tools/parallel.hpp"
#include "tools/stransform.hpp"
#include "tools/tfr_power.hpp"

namespace nb = nanobind;
using namespace nb::literals;
using orbelix::cfloat;
using namespace orbelix::tools;

namespace {

using complex64 = std::complex<float>;
template <class T, std::size_t D>
using Array = nb::ndarray<T, nb::ndim<D>, nb::c_contig, nb::device::cpu>;

int as_int(std::size_t v, const char *what) {
    if (v > static_cast<std::size_t>(INT_MAX))
        throw nb::value_error((std::string(what) + " exceeds 2**31 - 1").c_str());
    return static_cast<int>(v);
}

VoiceGrid make_grid(std::size_t n, int k0, int step, int count, int decim, double width,
                    bool absolute) {
    VoiceGrid g;
    g.n = as_int(n, "the signal length");
    g.k0 = k0;
    g.step = step;
    g.count = count;
    g.decim = decim;
    g.absolute = absolute;
    if (!(width > 0.0) || !(width < 1e18)) throw nb::value_error("width must be finite and positive");
    g.c = window_constant(width);
    if (!g.valid()) throw nb::value_error("the bins must lie within 0 .. n/2 and sizes be positive");
    return g;
}

void expect_shape(std::size_t got, std::size_t want, const char *what) {
    if (got != want)
        throw nb::value_error((std::string(what) + " has extent " + std::to_string(got) +
                               ", expected " + std::to_string(want))
                                  .c_str());
}

// Runs the computation with the interpreter lock released; the waiting
// thread takes it back every 20 ms to let Python handle signals (Ctrl-C).
template <class F>
void run_released(int workers, F &&compute) {
    if (workers < 1) throw nb::value_error("workers must be positive");
    Parallel par(workers, [] {
        nb::gil_scoped_acquire hold;
        return PyErr_CheckSignals() != 0;
    });
    bool interrupted = false;
    {
        nb::gil_scoped_release release;
        try {
            compute(par);
        } catch (const Interrupted &) {
            interrupted = true;
        }
    }
    if (interrupted) throw nb::python_error();  // what the signal handler raised
}

template <class A>
const cfloat *samples(const A &a) {
    return reinterpret_cast<const cfloat *>(a.data());
}

void stransform_into(Array<const complex64, 2> x, nb::ndarray<nb::ndim<3>, nb::c_contig, nb::device::cpu> out,
                     int k0, int step, int count, int decim, double width, bool absolute,
                     const std::string &output, int workers) {
    const VoiceGrid g = make_grid(x.shape(1), k0, step, count, decim, width, absolute);
    const int batch = as_int(x.shape(0), "the number of signals");
    Output kind;
    if (output == "complex") kind = Output::complex;
    else if (output == "power") kind = Output::power;
    else if (output == "magnitude") kind = Output::magnitude;
    else throw nb::value_error("output must be 'complex', 'power' or 'magnitude'");
    const bool is_complex = out.dtype() == nb::dtype<complex64>();
    if (kind == Output::complex ? !is_complex : out.dtype() != nb::dtype<float>())
        throw nb::type_error("out must be complex64 for complex output, float32 otherwise");
    expect_shape(out.shape(0), batch, "out axis 0");
    expect_shape(out.shape(1), g.count, "out axis 1");
    expect_shape(out.shape(2), g.times(), "out axis 2");
    if (out.size() == 0) return;
    const cfloat *px = samples(x);
    void *po = out.data();
    run_released(workers, [&](Parallel &par) { stransform(px, batch, g, kind, po, par); });
}

void istransform_into(Array<const complex64, 3> s, Array<float, 2> out, int k0, bool absolute,
                      int workers) {
    const VoiceGrid g = make_grid(s.shape(2), k0, 1, as_int(s.shape(1), "the number of voices"), 1,
                                  1.0, absolute);
    const int batch = as_int(s.shape(0), "the number of signals");
    expect_shape(out.shape(0), batch, "out axis 0");
    expect_shape(out.shape(1), g.n, "out axis 1");
    if (out.size() == 0) return;
    const cfloat *ps = samples(s);
    float *po = out.data();
    run_released(workers, [&](Parallel &par) { istransform(ps, batch, g, po, par); });
}

void tfr_power_into(Array<const complex64, 3> x, Array<float, 3> power, Array<float, 3> itc, int k0,
                    int step, int count, int decim, double width, int workers) {
    const VoiceGrid g = make_grid(x.shape(2), k0, step, count, decim, width, false);
    const int epochs = as_int(x.shape(0), "the number of epochs");
    const int channels = as_int(x.shape(1), "the number of channels");
    if (epochs < 1) throw nb::value_error("x holds no epochs");
    if (static_cast<long long>(epochs) * channels > INT_MAX)
        throw nb::value_error("the number of signals exceeds 2**31 - 1");
    for (auto *a : {&power, &itc}) {
        expect_shape(a->shape(0), channels, "power/itc axis 0");
        expect_shape(a->shape(1), g.count, "power/itc axis 1");
        expect_shape(a->shape(2), g.times(), "power/itc axis 2");
    }
    if (power.size() == 0) return;
    const cfloat *px = samples(x);
    float *pp = power.data(), *pi = itc.data();
    run_released(workers, [&](Parallel &par) { tfr_power(px, epochs, channels, g, pp, pi, par); });
}

}  // namespace

NB_MODULE(_core, m) {
    m.doc() = "C++ voices of orbelix_tools (internal; use the functions of orbelix_tools).";
    m.def("stransform_into", &stransform_into, "x"_a, "out"_a, nb::kw_only(), "k0"_a, "step"_a,
          "count"_a, "decim"_a, "width"_a, "absolute"_a, "output"_a, "workers"_a,
          "Voices k0, k0+step, ... (count of them) of each row of x (complex64, C order) at\n"
          "every decim-th time, written into out (rows x count x times; complex64 for\n"
          "output 'complex', float32 for 'power' and 'magnitude').");
    m.def("istransform_into", &istransform_into, "s"_a, "out"_a, nb::kw_only(), "k0"_a,
          "absolute"_a, "workers"_a,
          "Real signals (rows of out, float32) from full-resolution voices of consecutive\n"
          "bins k0, k0+1, ... (s: signals x voices x n, complex64).");
    m.def("tfr_power_into", &tfr_power_into, "x"_a, "power"_a, "itc"_a, nb::kw_only(), "k0"_a,
          "step"_a, "count"_a, "decim"_a, "width"_a, "workers"_a,
          "Mean power and inter-trial coherence over the epochs of x (epochs x channels x n,\n"
          "complex64), written into power and itc (channels x count x times, float32).");
}
