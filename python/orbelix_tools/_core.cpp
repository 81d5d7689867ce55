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
#include "_voice_binding.hpp"

namespace nb = nanobind;
using namespace nb::literals;
using orbelix::cfloat;
using namespace orbelix::tools;
using namespace orbelix::tools::binding;

namespace {

using complex64 = std::complex<float>;
template <class T, std::size_t D>
using Array = nb::ndarray<T, nb::ndim<D>, nb::c_contig, nb::device::cpu>;

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
void bind_finite(nb::module_ &m);  // _core_finite.cpp
void bind_sst(nb::module_ &m);  // _core_sst.cpp
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
    bind_finite(m);
    bind_sst(m);
    bind_windows(m);
}
