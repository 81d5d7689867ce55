// What the module's initialisation and its wrappers share.
#ifndef ORBELIX_MODULE_H
#define ORBELIX_MODULE_H

#include "fortranobject.h"

// The module's error class (Python name _orbelix_error, class orbelix.error),
// set once at initialisation.
extern PyObject *orbelix_error;

// The wrappers of the six entry routines and their docstrings.
PyObject *f2py_rout_orbelix_fst(PyObject *self, PyObject *args, PyObject *kwds, EntryRoutine entry);
PyObject *f2py_rout_orbelix_ifst(PyObject *self, PyObject *args, PyObject *kwds, EntryRoutine entry);
PyObject *f2py_rout_orbelix_dst2(PyObject *self, PyObject *args, PyObject *kwds, EntryRoutine entry);
PyObject *f2py_rout_orbelix_idst2(PyObject *self, PyObject *args, PyObject *kwds, EntryRoutine entry);
PyObject *f2py_rout_orbelix_imfreq(PyObject *self, PyObject *args, PyObject *kwds,
                                   EntryRoutine entry);
PyObject *f2py_rout_orbelix_cmsht2(PyObject *self, PyObject *args, PyObject *kwds,
                                   EntryRoutine entry);

extern const char doc_f2py_rout_orbelix_fst[];
extern const char doc_f2py_rout_orbelix_ifst[];
extern const char doc_f2py_rout_orbelix_dst2[];
extern const char doc_f2py_rout_orbelix_idst2[];
extern const char doc_f2py_rout_orbelix_imfreq[];
extern const char doc_f2py_rout_orbelix_cmsht2[];

#endif  // ORBELIX_MODULE_H
