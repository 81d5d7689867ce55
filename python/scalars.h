// Conversion of Python scalars into the integers and reals the entry
// routines take. Each returns 1 on success and 0 with an exception set; a
// value that cannot be converted raises errmess.
#ifndef ORBELIX_SCALARS_H
#define ORBELIX_SCALARS_H

#include "fortranobject.h"

int int_from_pyobj(int *v, PyObject *obj, const char *errmess);
int double_from_pyobj(double *v, PyObject *obj, const char *errmess);
int float_from_pyobj(float *v, PyObject *obj, const char *errmess);

#endif  // ORBELIX_SCALARS_H
