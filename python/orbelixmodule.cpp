// The orbelix module: NumPy's C-API table, the routine table and the module
// dictionary.
#include "module.h"
#include "orbelix.h"

// NumPy's C-API table for every file of the module (see fortranobject.h)
// and the feature version of the running NumPy, which NumPy's descriptor
// accessors consult.
void **PyArray_API = nullptr;
int PyArray_RUNTIME_VERSION = 0;

PyObject *orbelix_error = nullptr;

namespace {

// ABI version of every NumPy 1 release.
constexpr unsigned int numpy1_abi_version = 0x01000009;

// Lowest NumPy C-API feature version the module runs with: the target it is
// built for (NumPy 1.20, feature 14), and never below 14.
constexpr unsigned int required_feature_version =
    NPY_FEATURE_VERSION > 14 ? NPY_FEATURE_VERSION : 14;

// Import NumPy's C-API table and check that the running NumPy matches the
// headers the module was built with; 0, or -1 with an exception set.
int import_numpy() {
    // NumPy 2 keeps its core in numpy._core and refuses to hand out the table
    // from the old location, which remains for NumPy 1.
    PyObject *numpy = PyImport_ImportModule("numpy._core._multiarray_umath");
    if (numpy == nullptr && PyErr_ExceptionMatches(PyExc_ModuleNotFoundError)) {
        PyErr_Clear();
        numpy = PyImport_ImportModule("numpy.core._multiarray_umath");
    }
    if (numpy == nullptr) return -1;

    PyObject *c_api = PyObject_GetAttrString(numpy, "_ARRAY_API");
    Py_DECREF(numpy);
    if (c_api == nullptr) {
        if (PyErr_ExceptionMatches(PyExc_AttributeError))
            PyErr_SetString(PyExc_AttributeError, "_ARRAY_API not found");
        return -1;
    }
    if (!PyCapsule_CheckExact(c_api)) {
        PyErr_SetString(PyExc_RuntimeError, "_ARRAY_API is not PyCapsule object");
        Py_DECREF(c_api);
        return -1;
    }
    PyArray_API = static_cast<void **>(PyCapsule_GetPointer(c_api, nullptr));
    Py_DECREF(c_api);
    if (PyArray_API == nullptr) {
        PyErr_SetString(PyExc_RuntimeError, "_ARRAY_API is NULL pointer");
        return -1;
    }

    // The module runs on the NumPy 1 ABI and on that of the headers it is
    // built with (NumPy 2, which keeps the NumPy 1 calls the module makes);
    // the message names the NumPy 1 ABI the module is made for.
    const unsigned int abi_version = PyArray_GetNDArrayCVersion();
    if (abi_version != numpy1_abi_version && abi_version != NPY_ABI_VERSION) {
        PyErr_Format(PyExc_RuntimeError,
                     "module compiled against ABI version 0x%x but this version of numpy is 0x%x",
                     static_cast<int>(numpy1_abi_version), static_cast<int>(abi_version));
        return -1;
    }
    const unsigned int feature_version = PyArray_GetNDArrayCFeatureVersion();
    if (feature_version < required_feature_version) {
        PyErr_Format(PyExc_RuntimeError,
                     "module compiled against API version 0x%x but this version of numpy is 0x%x",
                     static_cast<int>(required_feature_version), static_cast<int>(feature_version));
        return -1;
    }
    PyArray_RUNTIME_VERSION = static_cast<int>(feature_version);

    const int endianness = PyArray_GetEndianness();
    if (endianness == NPY_CPU_UNKNOWN_ENDIAN) {
        PyErr_SetString(PyExc_RuntimeError, "FATAL: module compiled as unknown endian");
        return -1;
    }
#if NPY_BYTE_ORDER == NPY_BIG_ENDIAN
    if (endianness != NPY_CPU_BIG) {
        PyErr_SetString(PyExc_RuntimeError,
                        "FATAL: module compiled as big endian, but detected different "
                        "endianness at runtime");
        return -1;
    }
#else
    if (endianness != NPY_CPU_LITTLE) {
        PyErr_SetString(PyExc_RuntimeError,
                        "FATAL: module compiled as little endian, but detected different "
                        "endianness at runtime");
        return -1;
    }
#endif
    return 0;
}

template <typename Routine>
EntryRoutine entry(Routine routine) {
    return reinterpret_cast<EntryRoutine>(routine);
}

FortranDataDef f2py_routine_defs[] = {
    {"cmsht2", -1, {-1}, 0, entry(cmsht2), f2py_rout_orbelix_cmsht2, doc_f2py_rout_orbelix_cmsht2},
    {"imfreq", -1, {-1}, 0, entry(imfreq), f2py_rout_orbelix_imfreq, doc_f2py_rout_orbelix_imfreq},
    {"idst2", -1, {-1}, 0, entry(idst2), f2py_rout_orbelix_idst2, doc_f2py_rout_orbelix_idst2},
    {"dst2", -1, {-1}, 0, entry(dst2), f2py_rout_orbelix_dst2, doc_f2py_rout_orbelix_dst2},
    {"ifst", -1, {-1}, 0, entry(ifst), f2py_rout_orbelix_ifst, doc_f2py_rout_orbelix_ifst},
    {"fst", -1, {-1}, 0, entry(fst), f2py_rout_orbelix_fst, doc_f2py_rout_orbelix_fst},
    {nullptr, 0, {0}, 0, nullptr, nullptr, nullptr},
};

const char module_doc[] =
    "This module 'orbelix' is auto-generated with f2py (version:1.21.5).\n"
    "Functions:\n"
    "  h = cmsht2(r,x,y,l=shape(r,0),m=shape(r,1),coarse=0.2,fine=0.1,kernel_size=7)\n"
    "  h = imfreq(s,x,y,l=shape(s,0))\n"
    "  h = idst2(s,n=shape(s,0))\n"
    "  s = dst2(h,n=shape(h,0))\n"
    "  h = ifst(s,n=(shape(s,0)-1.0)/(0.5))\n"
    "  s = fst(h,n=len(h))\n"
    ".";

PyMethodDef f2py_module_methods[] = {{nullptr, nullptr, 0, nullptr}};

PyModuleDef moduledef = {
    PyModuleDef_HEAD_INIT, "orbelix", nullptr, -1, f2py_module_methods,
    nullptr,               nullptr,   nullptr, nullptr,
};

// Store value (a new reference, may be null) in dict under name, giving up
// the reference; 0, or -1 with an exception set.
int put(PyObject *dict, const char *name, PyObject *value) {
    if (value == nullptr) return -1;
    const int status = PyDict_SetItemString(dict, name, value);
    Py_DECREF(value);
    return status;
}

int fill_module_dict(PyObject *d) {
    if (put(d, "__version__", PyUnicode_FromString("1.21.5")) < 0 ||
        put(d, "__doc__", PyUnicode_FromString(module_doc)) < 0 ||
        put(d, "__f2py_numpy_version__", PyUnicode_FromString("1.21.5")) < 0)
        return -1;
    // The module keeps its own reference besides the dictionary's, so that
    // deleting the attribute cannot leave the wrappers raising a freed class.
    orbelix_error = PyErr_NewException("orbelix.error", nullptr, nullptr);
    if (orbelix_error == nullptr || PyDict_SetItemString(d, "_orbelix_error", orbelix_error) < 0)
        return -1;
    for (FortranDataDef *def = f2py_routine_defs; def->name != nullptr; ++def)
        if (put(d, def->name, PyFortranObject_NewAsAttr(def)) < 0) return -1;
    return 0;
}

}  // namespace

PyMODINIT_FUNC PyInit_orbelix(void) {
    PyObject *m = PyModule_Create2(&moduledef, PYTHON_API_VERSION);
    if (m == nullptr) return nullptr;
    if (PyFortran_Type_Init() < 0) {
        Py_DECREF(m);
        return nullptr;
    }
    if (import_numpy() < 0) {
        PyErr_Print();
        PyErr_SetString(PyExc_ImportError, "numpy.core.multiarray failed to import");
        Py_DECREF(m);
        return nullptr;
    }
    if (PyErr_Occurred()) {
        PyErr_SetString(PyExc_ImportError, "can't initialize module orbelix (failed to import numpy)");
        Py_DECREF(m);
        return nullptr;
    }
    if (fill_module_dict(PyModule_GetDict(m)) < 0) {
        Py_DECREF(m);
        return nullptr;
    }
    return m;
}
