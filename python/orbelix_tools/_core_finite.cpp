// orbelix_tools._core: the finite check of an input read in place. NumPy's
// reductions release the interpreter lock, and another thread may then give
// the array owning the input new data (__setstate__, which nothing can
// refuse), freeing the memory being read. Here the input is read only with
// the lock held, a block at a time; between blocks other threads run, and
// the owner's memory is checked again before the next block is read.
#include <nanobind/nanobind.h>
#include <nanobind/ndarray.h>
#include <nanobind/stl/string.h>

#include <algorithm>
#include <cstring>
#include <complex>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "_binding.hpp"

namespace nb = nanobind;
using namespace nb::literals;
using orbelix::tools::binding::OwnerWatch;

namespace {

using AnyArray = nb::ndarray<nb::ro, nb::device::cpu>;

// Values read between two turns of the other threads.
constexpr std::int64_t kBlock = std::int64_t{1} << 16;

// Finite, and finite once rounded to single precision: an exponent field
// not all ones (a test on the bits, which vectorises).
template <class T>
bool finite_value(T v) {
    const float f = static_cast<float>(v);
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return (bits & 0x7f800000u) != 0x7f800000u;
}
template <class T>
bool finite_value(std::complex<T> v) {
    return finite_value(v.real()) && finite_value(v.imag());
}

// Index of the first value that is not finite among the `count` values of
// the last axis from `at` (stride `step`), or -1. The common case, all
// finite, is decided without a branch per value.
template <class T>
std::int64_t first_bad(const T *at, std::int64_t step, std::int64_t count) {
    unsigned bad = 0;
    if (step == 1) {
        for (std::int64_t i = 0; i < count; ++i) bad |= !finite_value(at[i]);
    } else {
        for (std::int64_t i = 0; i < count; ++i) bad |= !finite_value(at[i * step]);
    }
    if (bad == 0) return -1;
    std::int64_t i = 0;
    while (finite_value(at[i * step])) ++i;
    return i;
}

class Scan {
public:
    Scan(const AnyArray &a, nb::handle owner, const std::string &name)
        : a_(a), watch_(owner), name_(name) {}

    template <class T>
    std::int64_t run() {
        const int nd = static_cast<int>(a_.ndim());
        if (a_.size() == 0) return -1;
        const auto *base = static_cast<const T *>(a_.data());
        const std::int64_t last = nd > 0 ? static_cast<std::int64_t>(a_.shape(nd - 1)) : 1;
        const std::int64_t step = nd > 0 ? a_.stride(nd - 1) : 1;
        std::vector<std::int64_t> index(nd > 0 ? nd - 1 : 0, 0);
        std::int64_t row = 0, read = 0;  // C-order rows of the last axis
        while (true) {
            std::int64_t offset = 0;
            for (int d = 0; d + 1 < nd; ++d) offset += index[d] * a_.stride(d);
            for (std::int64_t from = 0; from < last;) {
                const std::int64_t count = std::min(last - from, kBlock - read);
                const std::int64_t bad = first_bad(base + offset + from * step, step, count);
                if (bad >= 0) return row * last + from + bad;
                from += count;
                read += count;
                if (read == kBlock) {
                    let_others_run();
                    read = 0;
                }
            }
            ++row;
            int d = nd - 2;
            for (; d >= 0; --d) {
                if (++index[d] < static_cast<std::int64_t>(a_.shape(d))) break;
                index[d] = 0;
            }
            if (d < 0) return -1;
        }
    }

private:
    // Other threads (and signal handlers) run; the memory must be the same
    // afterwards.
    void let_others_run() {
        { nb::gil_scoped_release release; }
        if (PyErr_CheckSignals() != 0) throw nb::python_error();
        if (!watch_.intact())
            throw std::runtime_error("the array holding the memory of " + name_ +
                                     " was resized or given new data during the call");
    }

    const AnyArray &a_;
    const OwnerWatch watch_;
    const std::string &name_;
};

// Index in C order of the first value of a (float32, float64, complex64 or
// complex128, any strides) that is NaN or infinite or beyond single
// precision; -1 when there is none.
std::int64_t first_not_finite(const AnyArray &a, nb::handle owner, const std::string &name) {
    Scan scan(a, owner, name);
    if (a.dtype() == nb::dtype<float>()) return scan.run<float>();
    if (a.dtype() == nb::dtype<double>()) return scan.run<double>();
    if (a.dtype() == nb::dtype<std::complex<float>>()) return scan.run<std::complex<float>>();
    if (a.dtype() == nb::dtype<std::complex<double>>()) return scan.run<std::complex<double>>();
    throw nb::type_error(("the finite check takes float32, float64, complex64 or complex128, not " +
                          name + "'s dtype").c_str());
}

}  // namespace

void bind_finite(nb::module_ &m) {
    m.def("first_not_finite", &first_not_finite, "a"_a, "owner"_a.none(), "name"_a,
          "Index in C order of the first value of a (float32, float64, complex64 or\n"
          "complex128, any strides) that is NaN or infinite, or infinite in single\n"
          "precision; -1 if none. a is read with the interpreter lock held, a block at a\n"
          "time; between blocks other threads run and owner (the array owning a's memory)\n"
          "must keep its memory, else RuntimeError naming `name`.");
}
