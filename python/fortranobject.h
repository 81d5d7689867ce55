// Array conversion and the routine object type of the orbelix module.
//
// Every file of the module that uses NumPy includes this header: it sets up
// one NumPy C-API table for the whole module (defined and filled by the
// module's initialisation) and declares what the wrappers build on.
#ifndef ORBELIX_FORTRANOBJECT_H
#define ORBELIX_FORTRANOBJECT_H

#define PY_SSIZE_T_CLEAN
#include <Python.h>

// One table pointer shared by all files; no file uses NumPy's import_array.
#define PY_ARRAY_UNIQUE_SYMBOL orbelix_ARRAY_API
#define NO_IMPORT_ARRAY
#include <numpy/arrayobject.h>

// Largest number of extents a table entry records.
constexpr int F2PY_MAX_DIMS = 40;

// An entry routine; cast back to its own signature by the wrapper that
// calls it.
using EntryRoutine = void (*)();

// Wrapper of one entry routine: (routine object, positional arguments,
// keywords or null, entry routine) -> new reference to the result, or null
// with an exception set.
using RoutineWrapper = PyObject *(*)(PyObject *self, PyObject *args, PyObject *kwds,
                                     EntryRoutine entry);

// One entry of the module's routine table.
struct FortranDataDef {
    const char *name;              // Python name; null ends a table
    int rank;                      // -1 marks a routine
    npy_intp dims[F2PY_MAX_DIMS];  // unused for routines
    int type;                      // 0 for routines
    EntryRoutine data;             // the entry routine
    RoutineWrapper func;           // its wrapper
    const char *doc;               // docstring (without the trailing newline)
};

// A routine object: len table entries starting at defs, plus its own
// attribute dictionary (owned, may be null).
struct PyFortranObject {
    PyObject_HEAD
    int len;
    FortranDataDef *defs;
    PyObject *dict;
};

extern PyTypeObject PyFortran_Type;

// Fill and ready the type object; 0 on success, -1 with an exception set.
int PyFortran_Type_Init();

// New routine object covering the one entry def, or null.
PyObject *PyFortranObject_NewAsAttr(FortranDataDef *def);

// Intent flags of array_from_pyobj; the module uses in, and hide|out.
constexpr int F2PY_INTENT_IN = 1;
constexpr int F2PY_INTENT_OUT = 4;
constexpr int F2PY_INTENT_HIDE = 8;
// With hide|out: the routine writes every element of the result, so it is
// not zero-filled first.
constexpr int F2PY_INTENT_OVERWRITTEN = 16;

// intent in: obj converted to a column-major array of type_num (the caller's
// own object when it already qualifies, borrowed; else a new reference);
// dims (all -1 on entry) receives the fitted extents.
// intent hide|out: a new zero-filled column-major array of extents dims
// (uninitialised with F2PY_INTENT_OVERWRITTEN).
// Null with an exception set on failure.
PyArrayObject *array_from_pyobj(int type_num, npy_intp *dims, int rank, int intent,
                                PyObject *obj);

// Fit the extents of arr into rank free extents dims; 0 on success, 1 with
// ValueError set.
int check_and_fix_dimensions(const PyArrayObject *arr, int rank, npy_intp *dims);

// Number of extents below zero among dims[0 .. rank-1].
int count_negative_dimensions(int rank, const npy_intp *dims);

// Raises an exception of class `type` with the text `message`. A class that
// cannot be built from one text (NumPy's _ArrayMemoryError wants a shape and
// a dtype) is replaced by its nearest built-in base class, so the message is
// never lost to a TypeError about the constructor.
void set_exception_text(PyObject *type, const char *message);

#endif  // ORBELIX_FORTRANOBJECT_H
