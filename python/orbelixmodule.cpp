// Placeholder module initialisation; the routine wrappers arrive later.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

static struct PyModuleDef moduledef = {PyModuleDef_HEAD_INIT, "orbelix", nullptr, -1, nullptr,
                                       nullptr, nullptr, nullptr, nullptr};

PyMODINIT_FUNC PyInit_orbelix(void) { return PyModule_Create(&moduledef); }
