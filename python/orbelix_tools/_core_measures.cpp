// orbelix_tools._core: the whole-image local measures. Arguments are checked
// in Python; this layer checks again what keeps memory safe (dtypes, shapes,
// window sizes) and raises ValueError or TypeError otherwise.
#include <nanobind/nanobind.h>
#include <nanobind/ndarray.h>
#include <nanobind/stl/string.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>

#include "analysis/image/local_measures.hpp"
#include "analysis/signal/parallel.hpp"
#include "_binding.hpp"

namespace nb = nanobind;
using namespace nb::literals;
using orbelix::analysis::Border;
using orbelix::tools::Parallel;
using namespace orbelix::tools::binding;

namespace {

using Maps = nb::ndarray<float, nb::ndim<3>, nb::c_contig, nb::device::cpu>;
using Images = nb::ndarray<nb::ro, nb::ndim<3>, nb::device::cpu>;

Border border_of(const std::string &name) {
    if (name == "reflect") return Border::reflect;
    if (name == "wrap") return Border::wrap;
    if (name == "constant") return Border::constant;
    if (name == "valid") return Border::valid;
    throw nb::value_error("border must be 'reflect', 'wrap', 'constant' or 'valid'");
}

void local_measures_into(Images image, Maps ratio, Maps orientation, Maps phase, Maps energy,
                         double coarse, double fine, int kernel_size, const std::string &border,
                         int workers, nb::handle owner) {
    orbelix::analysis::ImageBatch x;
    if (image.dtype() == nb::dtype<float>()) x.is_double = false;
    else if (image.dtype() == nb::dtype<double>()) x.is_double = true;
    else throw nb::type_error("image must be float32 or float64");
    x.data = image.data();
    require_aligned(x.data, x.is_double ? alignof(double) : alignof(float), "image");
    x.batch = as_int(image.shape(0), "the number of images");
    x.rows = as_int(image.shape(1), "the number of rows");
    x.cols = as_int(image.shape(2), "the number of columns");
    x.s0 = image.stride(0);
    x.s1 = image.stride(1);
    x.s2 = image.stride(2);
    const Border b = border_of(border);
    if (kernel_size < 0) throw nb::value_error("kernel_size must not be negative");
    const long long side = std::min(x.rows, x.cols);
    if (b == Border::valid && 2LL * kernel_size + 1 > side)
        throw nb::value_error("the valid window does not fit in the image");
    if ((b == Border::reflect || b == Border::wrap) && kernel_size >= side)
        throw nb::value_error("kernel_size must be below the image's sides for this border");
    const int out_rows = orbelix::analysis::measured_extent(x.rows, kernel_size, b);
    const int out_cols = orbelix::analysis::measured_extent(x.cols, kernel_size, b);
    for (const Maps *m : {&ratio, &orientation, &phase, &energy}) {
        if (m->shape(0) != image.shape(0) || m->shape(1) != static_cast<std::size_t>(out_rows) ||
            m->shape(2) != static_cast<std::size_t>(out_cols))
            throw nb::value_error("the results must have the measured shape");
        if (m->size() != 0) require_aligned(m->data(), alignof(float), "a result");
    }
    if (x.batch == 0 || x.rows == 0 || x.cols == 0) return;
    const orbelix::analysis::MeasureMaps maps{ratio.data(), orientation.data(), phase.data(),
                                               energy.data()};
    const float c = static_cast<float>(coarse), f = static_cast<float>(fine);
    const std::string buffers = "the weights and the scratch of " + std::to_string(workers) +
                                (workers == 1 ? " worker" : " workers") + " for images of " +
                                std::to_string(x.rows) + " x " + std::to_string(x.cols) + " pixels";
    run_released(workers, owner, buffers, [&](Parallel &par) {
        orbelix::analysis::local_measures(x, c, f, kernel_size, b, maps, par);
    });
}

}  // namespace

void bind_measures(nb::module_ &m) {
    // Results are written in place: a result that is not a C-contiguous
    // float32 array of the measured shape is refused, never converted.
    m.def("local_measures_into", &local_measures_into, "image"_a, "ratio"_a.noconvert(),
          "orientation"_a.noconvert(), "phase"_a.noconvert(), "energy"_a.noconvert(), nb::kw_only(),
          "coarse"_a, "fine"_a, "kernel_size"_a, "border"_a, "workers"_a, "owner"_a = nb::none(),
          "The four local measures of every image image[b] (float32 or float64, any\n"
          "strides), each written into its result (images x rows x columns, float32;\n"
          "2 kernel_size fewer rows and columns for border 'valid'). owner: the array\n"
          "owning image's memory.");
}
