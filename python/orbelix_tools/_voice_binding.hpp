// The arguments that describe voices in the bindings of orbelix_tools._core:
// the grid with its optional per-voice arrays, signals read in place, and
// the size of the working buffers for a message. Checked here for
// everything that indexes memory.
#pragma once

#include <nanobind/nanobind.h>
#include <nanobind/ndarray.h>

#include <climits>
#include <complex>
#include <string>

#include "analysis/signal/parallel.hpp"
#include "analysis/signal/signals.hpp"
#include "analysis/signal/voice_grid.hpp"
#include "analysis/signal/windows.hpp"
#include "_binding.hpp"

namespace orbelix::tools::binding {

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
            values_ = nb::cast<Vector<std::complex<float>>>(parts[0]);
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
    Vector<std::complex<float>> values_;
    Vector<long long> start_;
    Vector<int> lo_, hi_;
    ShapedWindows shaped_;
};

inline VoiceGrid make_grid(std::size_t n, int k0, int step, int count, int decim, double width,
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

inline Signals signals_of(const InputArray &x, const char *name) {
    Signals s;
    s.data = x.data();
    if (x.dtype() == nb::dtype<float>()) s.type = SampleType::float32;
    else if (x.dtype() == nb::dtype<double>()) s.type = SampleType::float64;
    else if (x.dtype() == nb::dtype<std::complex<float>>()) s.type = SampleType::complex64;
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

inline void expect_shape(std::size_t got, std::size_t want, const char *what) {
    if (got != want)
        throw nb::value_error((std::string(what) + " has extent " + std::to_string(got) +
                               ", expected " + std::to_string(want))
                                  .c_str());
}

// The working buffers of `workers` threads for signals of n samples and
// voices of `times` samples (a spectrum, voices, FFT tables and work a
// worker; the shared windows), with their estimated size, for a message.
inline std::string working_buffers(int workers, std::size_t n, std::size_t times) {
    constexpr std::size_t plan_bytes = 96, window_table_bytes = 16 << 20;
    const std::size_t bytes =
        window_table_bytes + workers * ((18 + plan_bytes) * n + (8 + plan_bytes) * times);
    const OutOfMemory described("the working buffers of " + std::to_string(workers) +
                                    (workers == 1 ? " worker" : " workers") + " for signals of " +
                                    std::to_string(n) + " samples",
                                bytes, /*estimated=*/true);
    return described.what();
}


}  // namespace orbelix::tools::binding
