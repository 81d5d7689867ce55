// Scalar arguments: Python's int() and float() rules, then a complex number's
// real part or a sequence's first item, else the argument's own message.
#include "scalars.h"

#include <climits>

#include "module.h"

namespace {

// An int object into a 32-bit integer.
int int_from_long(int *v, PyObject *obj) {
    int overflow = 0;
    const long value = PyLong_AsLongAndOverflow(obj, &overflow);
    if (overflow != 0 || value < INT_MIN || value > INT_MAX) {
        PyErr_SetString(PyExc_OverflowError, "Python int too large to convert to C int");
        *v = -1;
        return 0;
    }
    *v = static_cast<int>(value);
    return !(value == -1 && PyErr_Occurred());
}

// Called with the failed numeric conversion's exception pending: try the
// real part of a complex number or the first item of a sequence (never of a
// str or bytes). On failure raise errmess with the pending exception's type,
// or with the module's error class when none is pending.
template <typename T>
int from_part(T *v, PyObject *obj, const char *errmess,
              int (*convert)(T *, PyObject *, const char *)) {
    PyObject *part = nullptr;
    if (PyComplex_Check(obj)) {
        PyErr_Clear();
        part = PyObject_GetAttrString(obj, "real");
    } else if (!PyUnicode_Check(obj) && !PyBytes_Check(obj) && PySequence_Check(obj)) {
        PyErr_Clear();
        part = PySequence_GetItem(obj, 0);
    }
    if (part != nullptr) {
        // A sequence may hold itself: bound the descent.
        int ok = 0;
        if (Py_EnterRecursiveCall(" while converting a scalar argument") == 0) {
            ok = convert(v, part, errmess);
            Py_LeaveRecursiveCall();
        }
        Py_DECREF(part);
        if (ok) return 1;
    }
    PyObject *type = PyErr_Occurred();
    type = type != nullptr ? type : orbelix_error;
    Py_INCREF(type);
    PyErr_Clear();
    set_exception_text(type, errmess);
    Py_DECREF(type);
    return 0;
}

}  // namespace

int int_from_pyobj(int *v, PyObject *obj, const char *errmess) {
    if (PyLong_Check(obj)) return int_from_long(v, obj);
    if (PyObject *number = PyNumber_Long(obj)) {
        const int ok = int_from_long(v, number);
        Py_DECREF(number);
        return ok;
    }
    return from_part(v, obj, errmess, int_from_pyobj);
}

int double_from_pyobj(double *v, PyObject *obj, const char *errmess) {
    if (PyFloat_Check(obj)) {
        *v = PyFloat_AsDouble(obj);
        return !(*v == -1.0 && PyErr_Occurred());
    }
    if (PyObject *number = PyNumber_Float(obj)) {
        *v = PyFloat_AsDouble(number);
        Py_DECREF(number);
        return !(*v == -1.0 && PyErr_Occurred());
    }
    return from_part(v, obj, errmess, double_from_pyobj);
}

int float_from_pyobj(float *v, PyObject *obj, const char *errmess) {
    double value = 0.0;
    if (!double_from_pyobj(&value, obj, errmess)) return 0;
    *v = static_cast<float>(value);  // IEEE rounding: beyond the range gives infinity
    return 1;
}
