// What the binding files of orbelix_tools._core share: 32-bit extents,
// alignment checks, the watch on an input read in place, and running a
// computation with the interpreter lock released.
#pragma once

#include <nanobind/nanobind.h>

#include <climits>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>

#include "analysis/signal/parallel.hpp"

namespace orbelix::tools::binding {

namespace nb = nanobind;

inline int as_int(std::size_t v, const std::string &what) {
    if (v > static_cast<std::size_t>(INT_MAX))
        throw nb::value_error((what + " exceeds 2**31 - 1").c_str());
    return static_cast<int>(v);
}

// The extension reads and writes whole elements: data at an address that is
// no multiple of the element's alignment (np.frombuffer with an offset) is
// refused. Strides are whole elements already.
inline void require_aligned(const void *data, std::size_t alignment, const char *name) {
    if (reinterpret_cast<std::uintptr_t>(data) % alignment != 0)
        throw nb::value_error((std::string(name) + " is not aligned to its element size").c_str());
}

// The array that owns the memory an input is read from in place, as it
// was when the call started (None: nothing to watch). A signal handler run
// during the call may give it new data (__setstate__), which frees that
// memory. The owner is read through NumPy's own getters of ndarray, called
// on it directly: a property of the same name on a subclass would run
// Python code while the workers are held at the read gate.
class OwnerWatch {
public:
    explicit OwnerWatch(nb::handle owner) : owner_(owner) {
        if (owner.is_none()) return;
        if (!PyObject_TypeCheck(owner.ptr(), getters().ndarray))
            throw nb::type_error("owner must be a NumPy array or None");
        data_ = address();
        nbytes_ = nbytes();
    }

    // With the interpreter lock held.
    bool intact() const { return owner_.is_none() || (address() == data_ && nbytes() == nbytes_); }

private:
    // numpy.ndarray and its getters, looked up once; kept for the life of
    // the process.
    struct Getters {
        PyTypeObject *ndarray;
        PyObject *interface, *nbytes;
    };
    static const Getters &getters() {
        static const Getters g = [] {
            nb::object ndarray = nb::module_::import_("numpy").attr("ndarray");
            nb::object dict = ndarray.attr("__dict__");
            return Getters{reinterpret_cast<PyTypeObject *>(ndarray.release().ptr()),
                           nb::object(dict["__array_interface__"]).release().ptr(),
                           nb::object(dict["nbytes"]).release().ptr()};
        }();
        return g;
    }
    nb::object get(PyObject *getter) const {
        PyObject *value = Py_TYPE(getter)->tp_descr_get(getter, owner_.ptr(), nullptr);
        if (value == nullptr) throw nb::python_error();
        return nb::steal(value);
    }
    std::uintptr_t address() const {
        return nb::cast<std::uintptr_t>(get(getters().interface)["data"][0]);
    }
    std::size_t nbytes() const { return nb::cast<std::size_t>(get(getters().nbytes)); }

    nb::handle owner_;  // held by the caller for the call
    std::uintptr_t data_ = 0;
    std::size_t nbytes_ = 0;
};

// Runs the computation with the interpreter lock released. The calling
// thread (worker 0) takes it back every 20 ms to let Python handle signals
// (Ctrl-C); the run's reads of the input wait meanwhile, and a handler
// that gave the input new data stops the call. A working buffer that cannot
// be allocated raises MemoryError naming it (`buffers` names them all, with
// their estimated size, where the allocation did not say which it was).
template <class F>
void run_released(int workers, nb::handle owner, const std::string &buffers, F &&compute) {
    if (workers < 1) throw nb::value_error("workers must be positive");
    const OwnerWatch watch(owner);
    Parallel par(workers, [&watch] {
        nb::gil_scoped_acquire hold;
        if (PyErr_CheckSignals() != 0) return true;
        try {
            if (watch.intact()) return false;
            PyErr_SetString(PyExc_RuntimeError,
                            "the input array was resized or given new data during the call");
        } catch (nb::python_error &e) {
            e.restore();
        }
        return true;
    });
    bool interrupted = false;
    std::string no_memory;
    {
        nb::gil_scoped_release release;
        try {
            compute(par);
        } catch (const Interrupted &) {
            interrupted = true;
        } catch (const OutOfMemory &e) {
            no_memory = e.what();
        } catch (const std::bad_alloc &) {
            no_memory = buffers;
        } catch (const std::length_error &) {
            no_memory = buffers;
        }
    }
    if (interrupted) throw nb::python_error();  // what the signal handler raised
    if (!no_memory.empty()) {
        PyErr_SetString(PyExc_MemoryError, no_memory.c_str());
        throw nb::python_error();
    }
}


}  // namespace orbelix::tools::binding
