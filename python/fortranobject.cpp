// Array conversion and the routine object type "fortran".
#include "fortranobject.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/huge_buffer.hpp"

namespace {

// A message built piece by piece in a fixed buffer; what does not fit is cut.
template <size_t Size>
class BoundedMessage {
  public:
    void append(const char *format, ...) __attribute__((format(printf, 2, 3))) {
        if (used_ + 1 >= Size) return;
        va_list ap;
        va_start(ap, format);
        const int n = std::vsnprintf(text_ + used_, Size - used_, format, ap);
        va_end(ap);
        if (n > 0) used_ = std::min(Size - 1, used_ + static_cast<size_t>(n));
    }
    const char *c_str() const { return text_; }

  private:
    char text_[Size] = "";
    size_t used_ = 0;
};

// ---------------------------------------------------------------------------
// Array conversion

enum class Kind { boolean, integer, floating, complex, other };

Kind kind_of(int type_num) {
    if (type_num == NPY_BOOL) return Kind::boolean;
    if (type_num >= NPY_BYTE && type_num <= NPY_ULONGLONG) return Kind::integer;
    if ((type_num >= NPY_FLOAT && type_num <= NPY_LONGDOUBLE) || type_num == NPY_HALF)
        return Kind::floating;
    if (type_num >= NPY_CFLOAT && type_num <= NPY_CLONGDOUBLE) return Kind::complex;
    return Kind::other;
}

// An array the entry routine may read in place: same element size and kind,
// column-major contiguous, aligned, not byte-swapped.
bool usable_in_place(PyArrayObject *arr, int type_num, npy_intp elsize) {
    const PyArray_Descr *descr = PyArray_DESCR(arr);
    const int required = NPY_ARRAY_F_CONTIGUOUS | NPY_ARRAY_ALIGNED;
    return PyDataType_ELSIZE(descr) == elsize && kind_of(descr->type_num) == kind_of(type_num) &&
           (PyArray_FLAGS(arr) & required) == required && descr->byteorder != '>';
}

// A large result written whole takes its memory from the kept result pages
// (core/huge_buffer.hpp): a call that follows one whose result is gone
// finds the pages mapped, instead of the system clearing fresh ones. While
// a KeptPagesHandler lives, NumPy allocates new arrays through them; the
// array remembers the handler and frees through it, so the array is an
// ordinary one that owns its data. The handler calls exist from NumPy 1.22
// (C-API feature version 15) on; before that, or for small results,
// NumPy's own allocator serves.
void *kept_malloc(void *, size_t size) { return orbelix::result_pages::allocate(size); }
void *kept_calloc(void *, size_t nelem, size_t elsize) { return std::calloc(nelem, elsize); }
void *kept_realloc(void *, void *p, size_t size) { return orbelix::result_pages::resize(p, size); }
void kept_free(void *, void *p, size_t size) { orbelix::result_pages::release(p, size); }

PyDataMem_Handler kept_pages = {
    "orbelix_kept_result_pages", 1, {nullptr, kept_malloc, kept_calloc, kept_realloc, kept_free}};

class KeptPagesHandler {
  public:
    explicit KeptPagesHandler(std::size_t bytes) {
        constexpr int kHandlerFeatureVersion = 15;
        constexpr int kSetHandler = 304;  // PyDataMem_SetHandler in the C-API table
        if (bytes < orbelix::result_pages::kKeptFrom || PyArray_RUNTIME_VERSION < kHandlerFeatureVersion)
            return;
        set_ = reinterpret_cast<PyObject *(*)(PyObject *)>(PyArray_API[kSetHandler]);
        static PyObject *capsule = PyCapsule_New(&kept_pages, "mem_handler", nullptr);  // kept
        if (capsule != nullptr) previous_ = set_(capsule);
        if (previous_ == nullptr) PyErr_Clear();  // go on with NumPy's allocator
    }
    ~KeptPagesHandler() {
        if (previous_ == nullptr) return;
        PyObject *ours = set_(previous_);
        Py_XDECREF(ours);
        Py_DECREF(previous_);
    }
    KeptPagesHandler(const KeptPagesHandler &) = delete;
    KeptPagesHandler &operator=(const KeptPagesHandler &) = delete;

  private:
    PyObject *(*set_)(PyObject *) = nullptr;
    PyObject *previous_ = nullptr;  // owned
};

// New column-major result of extents dims, zero-filled unless the routine
// writes all of it.
PyArrayObject *new_result(int type_num, npy_intp *dims, int rank, bool zeroed) {
    if (count_negative_dimensions(rank, dims) > 0) {
        BoundedMessage<200> msg;
        msg.append("failed to create intent(cache|hide)|optional array-- must have defined "
                   "dimensions but got (");
        for (int i = 0; i < rank; ++i) msg.append("%ld,", static_cast<long>(dims[i]));
        msg.append(")");
        PyErr_SetString(PyExc_ValueError, msg.c_str());
        return nullptr;
    }
    // NumPy zero-fills through calloc: fresh pages of a large result come
    // zeroed from the system, but memory reused from the heap is cleared
    // with a pass of its own, which a result written whole does not need.
    PyArray_Descr *descr = PyArray_DescrFromType(type_num);  // stolen
    if (zeroed) return reinterpret_cast<PyArrayObject *>(PyArray_Zeros(rank, dims, descr, 1));
    if (descr == nullptr) return nullptr;
    // The size in bytes, 0 where it overflows (NumPy then refuses the array).
    std::size_t bytes = static_cast<std::size_t>(PyDataType_ELSIZE(descr));
    for (int i = 0; i < rank; ++i)
        if (__builtin_mul_overflow(bytes, static_cast<std::size_t>(dims[i]), &bytes)) bytes = 0;
    KeptPagesHandler handler(bytes);
    return reinterpret_cast<PyArrayObject *>(PyArray_Empty(rank, dims, descr, /*is_f_order=*/1));
}

// A column-major copy of arr with arr's own extents, cast to type_num.
PyArrayObject *column_major_copy(PyArrayObject *arr, int type_num) {
    auto *copy = reinterpret_cast<PyArrayObject *>(
        PyArray_New(&PyArray_Type, PyArray_NDIM(arr), PyArray_DIMS(arr), type_num, nullptr, nullptr,
                    1, 1, nullptr));
    if (copy == nullptr) return nullptr;
    if (PyArray_CopyInto(copy, arr) < 0) {
        Py_DECREF(copy);
        return nullptr;
    }
    return copy;
}

// An array built from any other object (list, scalar, array interface).
PyArrayObject *array_from_other(PyObject *obj, int type_num, int rank, npy_intp *dims) {
    PyArray_Descr *descr = PyArray_DescrFromType(type_num);  // stolen below
    if (descr == nullptr) return nullptr;
    auto *arr = reinterpret_cast<PyArrayObject *>(
        PyArray_FromAny(obj, descr, 0, 0, NPY_ARRAY_FARRAY | NPY_ARRAY_FORCECAST, nullptr));
    if (arr == nullptr) return nullptr;
    if (check_and_fix_dimensions(arr, rank, dims) != 0) {
        Py_DECREF(arr);
        return nullptr;
    }
    return arr;
}

}  // namespace

int count_negative_dimensions(int rank, const npy_intp *dims) {
    int count = 0;
    for (int i = 0; i < rank; ++i)
        if (dims[i] < 0) ++count;
    return count;
}

int check_and_fix_dimensions(const PyArrayObject *arr, int rank, npy_intp *dims) {
    auto *a = const_cast<PyArrayObject *>(arr);
    const int nd = PyArray_NDIM(a);
    const npy_intp *shape = PyArray_DIMS(a);
    const npy_intp size = PyArray_SIZE(a);

    if (nd == rank) {
        for (int i = 0; i < rank; ++i) dims[i] = shape[i];
        return 0;
    }
    if (nd < rank) {
        // Missing trailing axes: the first takes what is left of the size,
        // the others are 1. Empty axes count as 1 so the division is safe.
        npy_intp new_size = 1;
        for (int i = 0; i < nd; ++i) {
            dims[i] = shape[i] == 0 ? 1 : shape[i];
            new_size *= dims[i];
        }
        dims[nd] = size / new_size;
        for (int i = nd + 1; i < rank; ++i) dims[i] = 1;
        return 0;
    }
    // More axes than declared: drop axes of extent 1 and fold the surplus
    // into the last declared axis; column-major order keeps the elements.
    int effrank = 0;
    for (int i = 0; i < nd; ++i)
        if (shape[i] > 1) ++effrank;
    int j = 0;
    for (int k = 0; k < rank; ++k) {
        while (j < nd && shape[j] <= 1) ++j;
        dims[k] = j < nd ? shape[j++] : 1;
    }
    for (; j < nd; ++j)
        if (shape[j] > 1) dims[rank - 1] *= shape[j];
    npy_intp product = 1;
    for (int k = 0; k < rank; ++k) product *= dims[k];
    if (product == size) return 0;

    BoundedMessage<200> msg;
    msg.append("unexpected array size: size=%ld, arr_size=%ld, rank=%d, effrank=%d, arr.nd=%d, dims=[",
               static_cast<long>(product), static_cast<long>(size), rank, effrank, nd);
    for (int k = 0; k < rank; ++k) msg.append(" %ld", static_cast<long>(dims[k]));
    msg.append(" ], arr.dims=[");
    for (int i = 0; i < nd; ++i) msg.append(" %ld", static_cast<long>(shape[i]));
    msg.append(" ]\n");
    PyErr_SetString(PyExc_ValueError, msg.c_str());
    return 1;
}

PyArrayObject *array_from_pyobj(int type_num, npy_intp *dims, int rank, int intent,
                                PyObject *obj) {
    if (intent & F2PY_INTENT_HIDE)
        return new_result(type_num, dims, rank, (intent & F2PY_INTENT_OVERWRITTEN) == 0);

    PyArray_Descr *descr = PyArray_DescrFromType(type_num);
    if (descr == nullptr) return nullptr;
    const npy_intp elsize = PyDataType_ELSIZE(descr);
    Py_DECREF(descr);

    if (!PyArray_Check(obj)) return array_from_other(obj, type_num, rank, dims);

    auto *arr = reinterpret_cast<PyArrayObject *>(obj);
    if (check_and_fix_dimensions(arr, rank, dims) != 0) return nullptr;
    if (usable_in_place(arr, type_num, elsize)) return arr;  // borrowed
    return column_major_copy(arr, type_num);
}

// ---------------------------------------------------------------------------
// The routine object type

namespace {

PyFortranObject *as_fortran(PyObject *self) { return reinterpret_cast<PyFortranObject *>(self); }

bool names_covered_routine(const PyFortranObject *fp, const char *name) {
    for (int i = 0; i < fp->len; ++i)
        if (std::strcmp(name, fp->defs[i].name) == 0) return true;
    return false;
}

// Store value (a new reference, may be null) in the object's dictionary
// under name; returns value, or null if storing failed.
PyObject *cache_attribute(PyFortranObject *fp, const char *name, PyObject *value) {
    if (value == nullptr) return nullptr;
    if (PyDict_SetItemString(fp->dict, name, value) < 0) {
        Py_DECREF(value);
        return nullptr;
    }
    return value;
}

void fortran_dealloc(PyObject *self) {
    Py_XDECREF(as_fortran(self)->dict);
    PyObject_Free(self);
}

PyObject *fortran_getattr(PyObject *self, char *name) {
    PyFortranObject *fp = as_fortran(self);
    if (fp->dict == nullptr && (fp->dict = PyDict_New()) == nullptr) return nullptr;
    // Cached and user-set attributes first.
    if (PyObject *value = PyDict_GetItemString(fp->dict, name)) {
        Py_INCREF(value);
        return value;
    }
    // A routine's own name is no attribute of it: fall through to the
    // generic lookup.
    if (std::strcmp(name, "__dict__") == 0) {
        Py_INCREF(fp->dict);
        return fp->dict;
    }
    if (std::strcmp(name, "__doc__") == 0)
        return cache_attribute(fp, name, PyUnicode_FromFormat("%s\n", fp->defs[0].doc));
    if (std::strcmp(name, "_cpointer") == 0)
        return cache_attribute(
            fp, name, PyCapsule_New(reinterpret_cast<void *>(fp->defs[0].data), nullptr, nullptr));

    PyObject *key = PyUnicode_FromString(name);
    if (key == nullptr) return nullptr;
    PyObject *value = PyObject_GenericGetAttr(self, key);
    Py_DECREF(key);
    return value;
}

int fortran_setattr(PyObject *self, char *name, PyObject *value) {
    PyFortranObject *fp = as_fortran(self);
    if (names_covered_routine(fp, name)) {
        PyErr_SetString(PyExc_AttributeError, "over-writing fortran routine");
        return -1;
    }
    if (fp->dict == nullptr && (fp->dict = PyDict_New()) == nullptr) return -1;
    if (value != nullptr) return PyDict_SetItemString(fp->dict, name, value);
    if (PyDict_DelItemString(fp->dict, name) < 0) {
        PyErr_SetString(PyExc_AttributeError, "delete non-existing fortran attribute");
        return -1;
    }
    return 0;
}

PyObject *fortran_repr(PyObject *self) {
    PyObject *name = fortran_getattr(self, const_cast<char *>("__name__"));
    PyErr_Clear();
    PyObject *repr = name != nullptr && PyUnicode_Check(name)
                         ? PyUnicode_FromFormat("<fortran %U>", name)
                         : PyUnicode_FromString("<fortran object>");
    Py_XDECREF(name);
    return repr;
}

PyObject *fortran_call(PyObject *self, PyObject *args, PyObject *kwds) {
    const FortranDataDef &def = as_fortran(self)->defs[0];
    if (def.rank != -1 || def.func == nullptr) {
        PyErr_Format(PyExc_TypeError, "this fortran object is not callable");
        return nullptr;
    }
    return def.func(self, args, kwds, def.data);
}

}  // namespace

PyTypeObject PyFortran_Type;

int PyFortran_Type_Init() {
    const PyVarObject head = {PyObject_HEAD_INIT(nullptr) 0};
    PyFortran_Type.ob_base = head;
    PyFortran_Type.tp_name = "fortran";
    PyFortran_Type.tp_basicsize = sizeof(PyFortranObject);
    PyFortran_Type.tp_itemsize = 0;
    PyFortran_Type.tp_dealloc = fortran_dealloc;
    PyFortran_Type.tp_getattr = fortran_getattr;
    PyFortran_Type.tp_setattr = fortran_setattr;
    PyFortran_Type.tp_repr = fortran_repr;
    PyFortran_Type.tp_call = fortran_call;
    // Readied rather than only given a type, so the generic attribute
    // lookup finds a complete type.
    return PyType_Ready(&PyFortran_Type);
}

PyObject *PyFortranObject_NewAsAttr(FortranDataDef *def) {
    PyFortranObject *fp = PyObject_New(PyFortranObject, &PyFortran_Type);
    if (fp == nullptr) return nullptr;
    fp->dict = PyDict_New();
    fp->len = 1;
    fp->defs = def;
    if (fp->dict == nullptr) {
        Py_DECREF(fp);
        return nullptr;
    }
    return reinterpret_cast<PyObject *>(fp);
}

void set_exception_text(PyObject *type, const char *message) {
    PyObject *text = PyUnicode_FromString(message);
    if (text == nullptr) return;
    PyObject *exc = PyObject_CallOneArg(type, text);
    if (exc != nullptr && PyExceptionInstance_Check(exc)) {
        PyErr_SetObject(reinterpret_cast<PyObject *>(Py_TYPE(exc)), exc);
        Py_DECREF(exc);
        Py_DECREF(text);
        return;
    }
    Py_XDECREF(exc);
    PyErr_Clear();
    PyObject *base = PyExc_Exception;
    if (PyType_Check(type)) {
        PyObject *mro = reinterpret_cast<PyTypeObject *>(type)->tp_mro;
        for (Py_ssize_t i = 0; mro != nullptr && i < PyTuple_GET_SIZE(mro); ++i) {
            PyObject *cls = PyTuple_GET_ITEM(mro, i);
            if (!(reinterpret_cast<PyTypeObject *>(cls)->tp_flags & Py_TPFLAGS_HEAPTYPE) &&
                PyExceptionClass_Check(cls)) {
                base = cls;
                break;
            }
        }
    }
    PyErr_SetObject(base, text);
    Py_DECREF(text);
}
