// The DOST and local spectrum maps of orbelix_tools._core. Arguments are
// checked in Python; this layer checks again what keeps memory safe
// (shapes, dtypes, table entries) and raises ValueError otherwise. Every
// array here belongs to the Python layer's call (a fresh result or the
// coefficients it computed), so nothing a caller owns is read in place.
#include <nanobind/nanobind.h>
#include <nanobind/ndarray.h>
#include <nanobind/stl/string.h>

#include <complex>
#include <cstdint>
#include <string>

#include "analysis/image/dost.hpp"
#include "analysis/image/local_frequency_maps.hpp"
#include "analysis/signal/parallel.hpp"
#include "_binding.hpp"

namespace nb = nanobind;
using namespace nb::literals;
using orbelix::cfloat;
using orbelix::tools::Interrupted;
using orbelix::tools::Parallel;
using orbelix::tools::binding::as_int;
using orbelix::tools::binding::require_aligned;
using orbelix::tools::binding::run_released;

namespace {

using complex64 = std::complex<float>;
template <class T, std::size_t D>
using Array = nb::ndarray<T, nb::ndim<D>, nb::c_contig, nb::device::cpu>;

void expect(std::size_t got, std::size_t want, const char *what) {
    if (got != want)
        throw nb::value_error((std::string(what) + " has extent " + std::to_string(got) +
                               ", expected " + std::to_string(want)).c_str());
}

// What a transform allocates besides its result, for a MemoryError.
std::string plans_of(const std::string &what) {
    return "the FFT plans and scratch of the DOST of " + what;
}

cfloat *cdata(Array<complex64, 3> &a) { return reinterpret_cast<cfloat *>(a.data()); }

// Whether every value is finite. A NaN or infinity anywhere in a signal
// spreads through its FFT, so the coefficients show a bad input without a
// pass over it before the transform.
bool all_finite(const cfloat *p, std::size_t count) {
    const std::uint32_t *bits = reinterpret_cast<const std::uint32_t *>(p);
    std::uint32_t bad = 0;
    for (std::size_t i = 0; i < 2 * count; ++i)
        bad |= static_cast<std::uint32_t>((bits[i] & 0x7f800000u) == 0x7f800000u);
    return bad == 0;
}

bool dost_inplace(Array<complex64, 2> a, bool inverse, int workers) {
    const long long count = static_cast<long long>(a.shape(0));
    const int n = as_int(a.shape(1), "the signal length");
    if (a.size() == 0) return true;
    require_aligned(a.data(), alignof(float), "a");
    cfloat *p = reinterpret_cast<cfloat *>(a.data());
    bool finite = true;
    run_released(workers, nb::none(), plans_of("signals of " + std::to_string(n) + " samples"),
                 [&](Parallel &par) {
        orbelix::analysis::dost_rows(p, count, n, inverse, par);
        finite = all_finite(p, a.size());
    });
    return finite;
}

bool dost2_inplace(Array<complex64, 3> a, bool inverse, int workers, bool real) {
    const long long count = static_cast<long long>(a.shape(0));
    const int n1 = as_int(a.shape(1), "the image height");
    const int n2 = as_int(a.shape(2), "the image width");
    if (a.size() == 0) return true;
    require_aligned(a.data(), alignof(float), "a");
    cfloat *p = cdata(a);
    bool finite = true;
    run_released(workers, nb::none(),
                 plans_of("images of " + std::to_string(n1) + " x " + std::to_string(n2) + " values"),
                 [&](Parallel &par) {
        orbelix::analysis::dost_images(p, count, n1, n2, inverse, par, real && !inverse);
        finite = all_finite(p, a.size());
    });
    return finite;
}

orbelix::analysis::PairTables tables_of(Array<complex64, 3> &c, std::size_t rows, std::size_t cols) {
    orbelix::analysis::PairTables t;
    t.count = static_cast<long long>(c.shape(0));
    t.n1 = as_int(c.shape(1), "the image height");
    t.n2 = as_int(c.shape(2), "the image width");
    if (t.n1 < 1 || t.n2 < 1) throw nb::value_error("the images are empty");
    expect(rows, orbelix::analysis::dost_bands(t.n1).size(), "the pair table axis 0");
    expect(cols, orbelix::analysis::dost_bands(t.n2).size(), "the pair table axis 1");
    require_aligned(c.data(), alignof(float), "c");
    t.c = cdata(c);
    return t;
}

void expect_planes(const nb::ndarray<float, nb::c_contig, nb::device::cpu> &out,
                   const std::vector<std::size_t> &shape, const char *name) {
    if (out.ndim() != shape.size())
        throw nb::value_error((std::string(name) + " has the wrong number of dimensions").c_str());
    for (std::size_t d = 0; d < shape.size(); ++d) expect(out.shape(d), shape[d], name);
    require_aligned(out.data(), alignof(float), name);
}

void dominant_into(Array<complex64, 3> c, Array<const float, 2> frequency_table,
                   Array<const float, 2> orientation_table, Array<float, 3> frequency,
                   Array<float, 3> orientation, int workers) {
    auto t = tables_of(c, frequency_table.shape(0), frequency_table.shape(1));
    expect(orientation_table.shape(0), frequency_table.shape(0), "orientation_table axis 0");
    expect(orientation_table.shape(1), frequency_table.shape(1), "orientation_table axis 1");
    for (auto *a : {&frequency, &orientation}) {
        expect(a->shape(0), c.shape(0), "the maps' axis 0");
        expect(a->shape(1), c.shape(1), "the maps' axis 1");
        expect(a->shape(2), c.shape(2), "the maps' axis 2");
        require_aligned(a->data(), alignof(float), "the maps");
    }
    t.frequency = frequency_table.data();
    t.orientation = orientation_table.data();
    if (c.size() == 0) return;
    float *pf = frequency.data(), *po = orientation.data();
    run_released(workers, nb::none(), "the maps' working buffers",
                 [&](Parallel &par) { orbelix::analysis::dominant_maps(t, pf, po, par); });
}

void octaves_into(Array<complex64, 3> c, Array<const std::int32_t, 2> octave_table,
                  nb::ndarray<float, nb::c_contig, nb::device::cpu> energy, int workers) {
    auto t = tables_of(c, octave_table.shape(0), octave_table.shape(1));
    const std::size_t octaves = energy.ndim() == 4 ? energy.shape(0) : 0;
    expect_planes(energy, {octaves, c.shape(0), c.shape(1), c.shape(2)}, "energy");
    t.octaves = as_int(octaves, "the number of octaves");
    for (std::size_t i = 0; i < octave_table.size(); ++i)
        if (octave_table.data()[i] < 0 || octave_table.data()[i] >= t.octaves)
            throw nb::value_error("octave_table holds an octave outside the energy's planes");
    t.octave = reinterpret_cast<const int *>(octave_table.data());
    if (c.size() == 0) return;
    float *pe = energy.data();
    run_released(workers, nb::none(), "the maps' working buffers",
                 [&](Parallel &par) { orbelix::analysis::octave_energy(t, pe, par); });
}

void magnitudes_into(Array<complex64, 3> c, nb::ndarray<float, nb::c_contig, nb::device::cpu> out,
                     int workers) {
    if (out.ndim() != 5) throw nb::value_error("out has the wrong number of dimensions");
    auto t = tables_of(c, out.shape(0), out.shape(1));
    expect_planes(out, {out.shape(0), out.shape(1), c.shape(0), c.shape(1), c.shape(2)}, "out");
    if (c.size() == 0) return;
    float *po = out.data();
    run_released(workers, nb::none(), "the maps' working buffers",
                 [&](Parallel &par) { orbelix::analysis::band_magnitudes(t, po, par); });
}

}  // namespace

void bind_dost(nb::module_ &m) {
    m.def("dost_inplace", &dost_inplace, "a"_a.noconvert(), nb::kw_only(), "inverse"_a, "workers"_a,
          "DOST (or its inverse) of each row of a (signals x n, complex64), in place;\n"
          "returns whether every result is finite.");
    m.def("dost2_inplace", &dost2_inplace, "a"_a.noconvert(), nb::kw_only(), "inverse"_a, "workers"_a,
          "real"_a = false,
          "2-D DOST (or its inverse) of each image of a (images x n1 x n2, complex64), in\n"
          "place; returns whether every result is finite. real: the images are real (their\n"
          "imaginary parts zero), which the forward transform may use.");
    m.def("dominant_into", &dominant_into, "c"_a.noconvert(), "frequency_table"_a.noconvert(),
          "orientation_table"_a.noconvert(), "frequency"_a.noconvert(), "orientation"_a.noconvert(),
          nb::kw_only(), "workers"_a,
          "Per pixel of the 2-D DOST coefficients c (images x n1 x n2), the table values of\n"
          "the band pair with the most energy, written into frequency and orientation.");
    m.def("octaves_into", &octaves_into, "c"_a.noconvert(), "octave_table"_a.noconvert(),
          "energy"_a.noconvert(), nb::kw_only(), "workers"_a,
          "Per pixel, the energy of the band pairs of each octave of octave_table (int32),\n"
          "written into energy (octaves x images x n1 x n2).");
    m.def("magnitudes_into", &magnitudes_into, "c"_a.noconvert(), "out"_a.noconvert(), nb::kw_only(),
          "workers"_a,
          "Per pixel, |c| of each band pair, written into out (row bands x column bands x\n"
          "images x n1 x n2).");
}
