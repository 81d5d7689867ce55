// Docstrings of the six routines, served (with a trailing newline) as the
// __doc__ of their routine objects.
#include "module.h"

const char doc_f2py_rout_orbelix_fst[] =
    "s = fst(h,[n])\n\nWrapper for ``fst``.\n\n"
    "Parameters\n----------\nh : input rank-1 array('F') with bounds (n)\n\n"
    "Other Parameters\n----------------\nn : input int, optional\n    Default: len(h)\n\n"
    "Returns\n-------\ns : rank-2 array('F') with bounds (0.5 * n + 1.0,n)";

const char doc_f2py_rout_orbelix_ifst[] =
    "h = ifst(s,[n])\n\nWrapper for ``ifst``.\n\n"
    "Parameters\n----------\ns : input rank-2 array('F') with bounds (0.5 * n + 1.0,n)\n\n"
    "Other Parameters\n----------------\nn : input int, optional\n"
    "    Default: (shape(s,0)-1.0)/(0.5)\n\n"
    "Returns\n-------\nh : rank-1 array('F') with bounds (n)";

const char doc_f2py_rout_orbelix_dst2[] =
    "s = dst2(h,[n])\n\nWrapper for ``dst2``.\n\n"
    "Parameters\n----------\nh : input rank-2 array('F') with bounds (n,n)\n\n"
    "Other Parameters\n----------------\nn : input int, optional\n    Default: shape(h,0)\n\n"
    "Returns\n-------\ns : rank-2 array('F') with bounds (n,n)";

const char doc_f2py_rout_orbelix_idst2[] =
    "h = idst2(s,[n])\n\nWrapper for ``idst2``.\n\n"
    "Parameters\n----------\ns : input rank-2 array('F') with bounds (n,n)\n\n"
    "Other Parameters\n----------------\nn : input int, optional\n    Default: shape(s,0)\n\n"
    "Returns\n-------\nh : rank-2 array('F') with bounds (n,n)";

const char doc_f2py_rout_orbelix_imfreq[] =
    "h = imfreq(s,x,y,[l])\n\nWrapper for ``imfreq``.\n\n"
    "Parameters\n----------\ns : input rank-2 array('F') with bounds (l,l)\n"
    "x : input int\ny : input int\n\n"
    "Other Parameters\n----------------\nl : input int, optional\n    Default: shape(s,0)\n\n"
    "Returns\n-------\nh : rank-2 array('F') with bounds (2 * m + 1,2 * m + 1)";

const char doc_f2py_rout_orbelix_cmsht2[] =
    "h = cmsht2(r,x,y,[l,m,coarse,fine,kernel_size])\n\nWrapper for ``cmsht2``.\n\n"
    "Parameters\n----------\nr : input rank-2 array('f') with bounds (l,m)\n"
    "x : input int\ny : input int\n\n"
    "Other Parameters\n----------------\n"
    "l : input int, optional\n    Default: shape(r,0)\n"
    "m : input int, optional\n    Default: shape(r,1)\n"
    "coarse : input float, optional\n    Default: 0.2\n"
    "fine : input float, optional\n    Default: 0.1\n"
    "kernel_size : input int, optional\n    Default: 7\n\n"
    "Returns\n-------\nh : rank-1 array('f') with bounds (4)";
