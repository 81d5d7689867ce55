// The weights of windows given by a shape in time, for orbelix_tools._core.
// The Python layer samples each voice's shape on its support (the user's
// function, or the named shapes); the transforms of the samples run here.
// Every array belongs to the Python layer's call.
#include <nanobind/nanobind.h>
#include <nanobind/ndarray.h>

#include <complex>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "analysis/signal/parallel.hpp"
#include "analysis/signal/window_weights.hpp"
#include "_binding.hpp"

namespace nb = nanobind;
using namespace nb::literals;
using orbelix::tools::Parallel;
using orbelix::tools::ShapeRun;
using orbelix::tools::WeightBuilder;
using orbelix::tools::binding::as_int;
using orbelix::tools::binding::run_released;

namespace {

template <class T>
using Vector = nb::ndarray<const T, nb::ndim<1>, nb::c_contig, nb::device::cpu>;
template <class T>
using Owned = nb::ndarray<nb::numpy, T, nb::ndim<1>>;

// A NumPy array that takes over v.
template <class T>
Owned<T> to_numpy(std::vector<T> &&v) {
    auto *held = new std::vector<T>(std::move(v));
    nb::capsule owner(held, [](void *p) noexcept { delete static_cast<std::vector<T> *>(p); });
    return Owned<T>(held->data(), {held->size()}, owner);
}

nb::tuple window_weights(int n, Vector<int> bins, Vector<int> first, Vector<int> count,
                         Vector<double> re, nb::handle im,
                         nb::ndarray<std::complex<float>, nb::ndim<2>, nb::c_contig, nb::device::cpu> out,
                         int workers) {
    const std::size_t voices = bins.shape(0);
    if (first.shape(0) != voices || count.shape(0) != voices)
        throw nb::value_error("bins, first and count must hold one value per voice");
    if (n < 2) throw nb::value_error("n must be at least 2");
    const std::size_t half = static_cast<std::size_t>(n / 2) + 1;
    if (out.shape(0) != voices || out.shape(1) != half)
        throw nb::value_error("out must hold n/2 + 1 weights a voice");
    orbelix::tools::binding::require_aligned(out.data(), alignof(float), "out");
    Vector<double> imag;
    if (!im.is_none()) {
        imag = nb::cast<Vector<double>>(im);
        if (imag.shape(0) != re.shape(0)) throw nb::value_error("re and im must have one extent");
    }
    // Where each voice's samples start; every run checked against the circle.
    std::vector<std::size_t> start(voices + 1, 0);
    for (std::size_t i = 0; i < voices; ++i) {
        const long long k = bins.data()[i], f = first.data()[i], c = count.data()[i];
        if (k < 1 || k > n / 2 || c < 1 || c > n || f < -(n / 2) || f + c > n - n / 2)
            throw nb::value_error("a voice's bin or samples lie outside the circle of the signal");
        start[i + 1] = start[i] + static_cast<std::size_t>(c);
    }
    if (start[voices] != re.shape(0)) throw nb::value_error("count must sum to the number of samples");

    std::vector<std::int32_t> lo(voices), hi(voices);
    const double *pr = re.data();
    const double *pi = im.is_none() ? nullptr : imag.data();
    auto *po = reinterpret_cast<orbelix::cfloat *>(out.data());
    const std::string buffers = "the scratch of the weights of windows for signals of " +
                                std::to_string(n) + " samples";
    run_released(workers, nb::none(), buffers, [&](Parallel &par) {
        std::vector<std::unique_ptr<WeightBuilder>> builders(par.workers());
        par.run(as_int(voices, "the number of voices"), [&](int w, int i) {
            if (!builders[w]) builders[w] = std::make_unique<WeightBuilder>(n);
            ShapeRun s;
            s.bin = bins.data()[i];
            s.first = first.data()[i];
            s.count = count.data()[i];
            s.re = pr + start[i];
            s.im = pi != nullptr ? pi + start[i] : nullptr;
            builders[w]->build(s, po + half * i, lo[i], hi[i]);
        });
    });
    return nb::make_tuple(to_numpy(std::move(lo)), to_numpy(std::move(hi)));
}

}  // namespace

void bind_windows(nb::module_ &m) {
    m.def("window_weights", &window_weights, "n"_a, "bins"_a, "first"_a, "count"_a, "re"_a,
          "im"_a.none(), "out"_a.noconvert(), nb::kw_only(), "workers"_a = 1,
          "The weights of windows given by their samples in time, for signals of n samples.\n"
          "Voice i (bin bins[i], 1 .. n/2) has count[i] samples at the lags first[i],\n"
          "first[i]+1, ... of the circle (-floor(n/2) .. ceil(n/2)-1), taken in turn from re\n"
          "(float64) and im (float64, or None for real shapes). Writes row i of out (voices x\n"
          "n/2+1, complex64): the DFT of the samples divided by their sum at the offsets\n"
          "d = -k .. n/2-k the voice reads, at d + k. Returns (lo, hi), int32: the offsets left\n"
          "once both ends are trimmed where below 2**-24 of the weight at offset 0.");
}
