// The synchrosqueezed S-transform and ridges of orbelix_tools._core.
// Arguments are checked in Python; this layer checks again what keeps memory
// safe (shapes, dtypes, bins in range) and raises ValueError otherwise.
#include <nanobind/nanobind.h>
#include <nanobind/ndarray.h>
#include <nanobind/stl/string.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <string>

#include "analysis/signal/ridges.hpp"
#include "analysis/signal/synchrosqueeze.hpp"
#include "_binding.hpp"
#include "_voice_binding.hpp"

namespace nb = nanobind;
using namespace nb::literals;
using orbelix::cfloat;
using namespace orbelix::tools;
using namespace orbelix::tools::binding;

namespace {

using OutArray = nb::ndarray<nb::ndim<3>, nb::c_contig, nb::device::cpu>;

// The grid (absolute phase), the rule and the checks shared by both maps.
struct SqueezeCall {
    SqueezeCall(InputArray x, const OutArray &out, bool is_complex, int k0, int step, int count,
                int decim, double width, nb::handle bins, nb::handle constants, nb::handle shaped,
                int keep, Vector<std::complex<float>> weight, double gamma, bool relative,
                nb::handle scale = nb::none())
        : signals(signals_of(x, "x")), options(bins, constants, shaped), weight_(weight) {
        grid = make_grid(signals.n, k0, step, count, decim, width, true, options, keep);
        if (weight.shape(0) != static_cast<std::size_t>(grid.count))
            throw nb::value_error("weight must hold one value per voice");
        if (!scale.is_none()) {
            scale_ = nb::cast<Vector<std::complex<float>>>(scale);
            if (scale_.shape(0) != static_cast<std::size_t>(grid.count))
                throw nb::value_error("scale must hold one value per voice");
            rule.scale = reinterpret_cast<const cfloat *>(scale_.data());
        }
        if (!(gamma >= 0.0) || !std::isfinite(gamma)) throw nb::value_error("gamma must be finite and not negative");
        rule.gamma = static_cast<float>(gamma);
        rule.relative = relative;
        rule.weight = reinterpret_cast<const cfloat *>(weight.data());
        if (out.dtype() != (is_complex ? nb::dtype<std::complex<float>>() : nb::dtype<float>()))
            throw nb::type_error(is_complex ? "out must be complex64" : "out must be float32");
        expect_shape(out.shape(0), signals.count(), "out axis 0");
        expect_shape(out.shape(1), grid.count, "out axis 1");
        expect_shape(out.shape(2), grid.stored(), "out axis 2");
        require_aligned(out.data(), alignof(float), "out");
    }

    Signals signals;
    VoiceOptions options;
    Vector<std::complex<float>> weight_, scale_;
    VoiceGrid grid;
    SqueezeRule rule;
};

// A worker's scratch: the voices' (a spectrum, two voices and plans); in
// the block scheme the block of voices besides.
std::string squeeze_buffers(int workers, const VoiceGrid &g) {
    return working_buffers(workers, g.n, 2 * static_cast<std::size_t>(g.times()));
}

void sstransform_into(InputArray x, OutArray out, int k0, int step, int count, int decim,
                      double width, int workers, nb::handle owner, nb::handle bins,
                      nb::handle constants, nb::handle shaped, int keep, Vector<std::complex<float>> weight,
                      double gamma, bool relative, nb::handle scale, bool zeroed) {
    if (scale.is_none()) throw nb::value_error("scale must hold one value per voice");
    SqueezeCall call(x, out, true, k0, step, count, decim, width, bins, constants, shaped, keep,
                     weight, gamma, relative, scale);
    if (call.grid.stored() != call.grid.times())
        throw nb::value_error("keep must be 0: the squeezed map holds every time of its voices");
    if (out.size() == 0) return;
    cfloat *po = reinterpret_cast<cfloat *>(out.data());
    run_released(workers, owner, squeeze_buffers(workers, call.grid),
                 [&](Parallel &par) { sstransform(call.signals, call.grid, call.rule, po, par, zeroed); });
}

void instantaneous_frequency_into(InputArray x, OutArray out, int k0, int step, int count,
                                  int decim, double width, int workers, nb::handle owner,
                                  nb::handle bins, nb::handle constants, nb::handle shaped,
                                  int keep, Vector<std::complex<float>> weight, double gamma, bool relative) {
    SqueezeCall call(x, out, false, k0, step, count, decim, width, bins, constants, shaped, keep,
                     weight, gamma, relative);
    if (out.size() == 0) return;
    float *po = static_cast<float *>(out.data());
    run_released(workers, owner, squeeze_buffers(workers, call.grid), [&](Parallel &par) {
        instantaneous_frequency(call.signals, call.grid, call.rule, po, par);
    });
}

void ridge_paths_into(nb::ndarray<const double, nb::ndim<3>, nb::c_contig, nb::device::cpu> m,
                      nb::ndarray<std::int32_t, nb::ndim<2>, nb::c_contig, nb::device::cpu> out,
                      double penalty, int workers) {
    const int batch = as_int(m.shape(0), "the number of maps");
    const int freqs = as_int(m.shape(1), "the number of frequencies");
    const int times = as_int(m.shape(2), "the number of times");
    expect_shape(out.shape(0), m.shape(0), "out axis 0");
    expect_shape(out.shape(1), m.shape(2), "out axis 1");
    if (!(penalty >= 0.0) || !(penalty <= 1e100)) throw nb::value_error("penalty must be from 0 to 1e100");
    if (m.size() == 0) return;
    const double *pm = m.data();
    int *po = reinterpret_cast<int *>(out.data());
    const std::size_t plane = static_cast<std::size_t>(freqs) * times;
    run_released(workers, nb::none(),
                 "the back pointers of " + std::to_string(freqs) + " x " + std::to_string(times) + " values",
                 [&](Parallel &par) {
                     par.run(batch, [&](int, int b) {
                         ridge_path(pm + b * plane, freqs, times, penalty, po + static_cast<std::size_t>(b) * times);
                     });
                 });
}

}  // namespace

void bind_sst(nb::module_ &m) {
    m.def("sstransform_into", &sstransform_into, "x"_a, "out"_a.noconvert(), nb::kw_only(), "k0"_a,
          "step"_a, "count"_a, "decim"_a, "width"_a, "workers"_a, "owner"_a = nb::none(),
          "bins"_a = nb::none(), "constants"_a = nb::none(), "shaped"_a = nb::none(), "keep"_a = 0,
          "weight"_a.noconvert(), "gamma"_a, "relative"_a, "scale"_a, "zeroed"_a = false,
          "Synchrosqueezed voices of the signals x (as for stransform_into, absolute phase),\n"
          "written into out (signals x count x times, complex64): each coefficient times\n"
          "weight[voice] and scale[row] (complex64) added to the row of the voice nearest its\n"
          "instantaneous frequency. Coefficients with |S| below gamma (relative: gamma times the sum of\n"
          "|analytic spectrum| of the signal) are left out. zeroed: out holds zeros already.");
    m.def("instantaneous_frequency_into", &instantaneous_frequency_into, "x"_a, "out"_a.noconvert(),
          nb::kw_only(), "k0"_a, "step"_a, "count"_a, "decim"_a, "width"_a, "workers"_a,
          "owner"_a = nb::none(), "bins"_a = nb::none(), "constants"_a = nb::none(),
          "shaped"_a = nb::none(), "keep"_a = 0, "weight"_a.noconvert(), "gamma"_a, "relative"_a,
          "The instantaneous frequency in bins of every coefficient (float32, NaN below the\n"
          "threshold), arguments as for sstransform_into.");
    m.def("ridge_paths_into", &ridge_paths_into, "m"_a, "out"_a.noconvert(), nb::kw_only(),
          "penalty"_a, "workers"_a,
          "Per map m[b] (frequencies x times, float64), the frequency index per time of the\n"
          "path minimising -sum m + penalty * sum of squared jumps, into out[b] (int32).");
}
