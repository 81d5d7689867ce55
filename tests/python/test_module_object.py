"""The module object, its routine objects of type "fortran", and the import of NumPy's C API."""
import ctypes
import os
import subprocess
import sys
import textwrap

import pytest

import orbelix

NAMES = ["cmsht2", "imfreq", "idst2", "dst2", "ifst", "fst"]

DOCS = {
    "fst": "s = fst(h,[n])\n\nWrapper for ``fst``.\n\nParameters\n----------\nh : input rank-1 array('F') "
           "with bounds (n)\n\nOther Parameters\n----------------\nn : input int, optional\n    Default: "
           "len(h)\n\nReturns\n-------\ns : rank-2 array('F') with bounds (0.5 * n + 1.0,n)",
    "ifst": "h = ifst(s,[n])\n\nWrapper for ``ifst``.\n\nParameters\n----------\ns : input rank-2 array('F') "
            "with bounds (0.5 * n + 1.0,n)\n\nOther Parameters\n----------------\nn : input int, optional\n"
            "    Default: (shape(s,0)-1.0)/(0.5)\n\nReturns\n-------\nh : rank-1 array('F') with bounds (n)",
    "dst2": "s = dst2(h,[n])\n\nWrapper for ``dst2``.\n\nParameters\n----------\nh : input rank-2 array('F') "
            "with bounds (n,n)\n\nOther Parameters\n----------------\nn : input int, optional\n    Default: "
            "shape(h,0)\n\nReturns\n-------\ns : rank-2 array('F') with bounds (n,n)",
    "idst2": "h = idst2(s,[n])\n\nWrapper for ``idst2``.\n\nParameters\n----------\ns : input rank-2 array('F') "
             "with bounds (n,n)\n\nOther Parameters\n----------------\nn : input int, optional\n    Default: "
             "shape(s,0)\n\nReturns\n-------\nh : rank-2 array('F') with bounds (n,n)",
    "imfreq": "h = imfreq(s,x,y,[l])\n\nWrapper for ``imfreq``.\n\nParameters\n----------\ns : input rank-2 "
              "array('F') with bounds (l,l)\nx : input int\ny : input int\n\nOther Parameters\n"
              "----------------\nl : input int, optional\n    Default: shape(s,0)\n\nReturns\n-------\nh : "
              "rank-2 array('F') with bounds (2 * m + 1,2 * m + 1)",
    "cmsht2": "h = cmsht2(r,x,y,[l,m,coarse,fine,kernel_size])\n\nWrapper for ``cmsht2``.\n\nParameters\n"
              "----------\nr : input rank-2 array('f') with bounds (l,m)\nx : input int\ny : input int\n\n"
              "Other Parameters\n----------------\nl : input int, optional\n    Default: shape(r,0)\nm : "
              "input int, optional\n    Default: shape(r,1)\ncoarse : input float, optional\n    Default: "
              "0.2\nfine : input float, optional\n    Default: 0.1\nkernel_size : input int, optional\n"
              "    Default: 7\n\nReturns\n-------\nh : rank-1 array('f') with bounds (4)",
}

MODULE_DOC = (
    "This module 'orbelix' is auto-generated with f2py (version:1.21.5).\nFunctions:\n"
    "  h = cmsht2(r,x,y,l=shape(r,0),m=shape(r,1),coarse=0.2,fine=0.1,kernel_size=7)\n"
    "  h = imfreq(s,x,y,l=shape(s,0))\n  h = idst2(s,n=shape(s,0))\n  s = dst2(h,n=shape(h,0))\n"
    "  h = ifst(s,n=(shape(s,0)-1.0)/(0.5))\n  s = fst(h,n=len(h))\n.")


def test_module_attributes():
    assert orbelix.__version__ == "1.21.5" and orbelix.__f2py_numpy_version__ == "1.21.5"
    assert orbelix.__doc__ == MODULE_DOC
    error = orbelix._orbelix_error
    assert issubclass(error, Exception) and error.__name__ == "error" and error.__module__ == "orbelix"
    assert not hasattr(orbelix, "error")
    names = [k for k in vars(orbelix) if not k.startswith("__") or k in ("__version__", "__f2py_numpy_version__")]
    assert names == ["__version__", "__f2py_numpy_version__", "_orbelix_error"] + NAMES


@pytest.mark.parametrize("name", NAMES)
def test_routine_object_type_doc_and_pointer(name, lib):
    routine = getattr(orbelix, name)
    assert type(routine).__name__ == "fortran" and repr(routine) == "<fortran object>"
    doc = routine.__doc__
    assert doc == DOCS[name] + "\n" and routine.__dict__["__doc__"] is doc
    capsule = routine._cpointer
    assert type(capsule).__name__ == "PyCapsule" and routine._cpointer is capsule
    get_name = ctypes.pythonapi.PyCapsule_GetName
    get_name.restype, get_name.argtypes = ctypes.c_char_p, [ctypes.py_object]
    get_pointer = ctypes.pythonapi.PyCapsule_GetPointer
    get_pointer.restype, get_pointer.argtypes = ctypes.c_void_p, [ctypes.py_object, ctypes.c_char_p]
    assert get_name(capsule) is None
    assert get_pointer(capsule, None) == ctypes.cast(getattr(lib, name), ctypes.c_void_p).value


def test_routine_object_attribute_rules():
    fst = orbelix.fst
    with pytest.raises(AttributeError, match="^over-writing fortran routine$"):
        fst.fst = 1
    with pytest.raises(AttributeError, match="^over-writing fortran routine$"):
        del fst.fst
    with pytest.raises(AttributeError):
        fst.fst
    with pytest.raises(AttributeError):
        fst.missing
    with pytest.raises(AttributeError, match="^delete non-existing fortran attribute$"):
        del fst.missing
    fst.tag = 1
    try:
        assert fst.tag == 1 and fst.__dict__["tag"] == 1
        fst.__name__ = "fst"
        assert repr(fst) == "<fortran fst>"
        fst.__name__ = 5
        assert repr(fst) == "<fortran object>"
    finally:
        del fst.tag, fst.__name__
    assert "tag" not in fst.__dict__ and repr(fst) == "<fortran object>"
    assert fst.__class__ is type(fst)


def test_error_class_survives_removal_from_module():
    code = """
        import numpy as np, orbelix
        cls = orbelix._orbelix_error
        del orbelix._orbelix_error
        import gc; gc.collect()
        try:
            orbelix.fst(np.zeros(2, np.complex64), 3)
        except Exception as e:
            print(type(e) is cls, e)
    """
    out = run_python(code)
    assert out.returncode == 0 and out.stdout.split()[0] == "True"


# ---------------------------------------------------------------------------
# Import of NumPy's C API, with a fake NumPy package shadowing the real one.

FAKE_TABLE = """
import ctypes
_uint = ctypes.CFUNCTYPE(ctypes.c_uint)
_int = ctypes.CFUNCTYPE(ctypes.c_int)
_functions = [_uint(lambda: {abi}), _int(lambda: {endian}), _uint(lambda: {feature})]
_table = (ctypes.c_void_p * 400)()
for _slot, _f in zip((0, 210, 211), _functions):
    _table[_slot] = ctypes.cast(_f, ctypes.c_void_p).value
_new = ctypes.pythonapi.PyCapsule_New
_new.restype, _new.argtypes = ctypes.py_object, [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_void_p]
_ARRAY_API = _new(ctypes.addressof(_table), {capsule_name}, None)
"""


def table(abi=0x2000000, feature=0x10, endian=1, capsule_name=None):
    return FAKE_TABLE.format(abi=abi, feature=feature, endian=endian, capsule_name=capsule_name)


def run_python(code, path=()):
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join([*path, os.path.dirname(orbelix.__file__)])
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], env=env,
                          capture_output=True, text=True, timeout=120)


def import_with_fake_numpy(tmp_path, files):
    for name, text in {"__init__.py": "", **files}.items():
        path = tmp_path / "numpy" / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text)
    return run_python("""
        try:
            import orbelix
            print("imported", orbelix.__version__)
        except ImportError as e:
            print("ImportError:", e)
    """, [str(tmp_path)])


CORE = "_core/_multiarray_umath.py"
FAILED = "ImportError: numpy.core.multiarray failed to import"


@pytest.mark.parametrize("files, printed, result", [
    ({CORE: table(feature=13)},
     "RuntimeError: module compiled against API version 0xe but this version of numpy is 0xd", FAILED),
    ({CORE: table(abi=0x3000000)},
     "RuntimeError: module compiled against ABI version 0x1000009 but this version of numpy is 0x3000000",
     FAILED),
    ({CORE: table(abi=0x1000008)},
     "RuntimeError: module compiled against ABI version 0x1000009 but this version of numpy is 0x1000008",
     FAILED),
    ({CORE: table(endian=0)}, "RuntimeError: FATAL: module compiled as unknown endian", FAILED),
    ({CORE: table(endian=2)}, "RuntimeError: FATAL: module compiled as little endian, but detected "
                              "different endianness at runtime", FAILED),
    ({CORE: "x = 1\n"}, "AttributeError: _ARRAY_API not found", FAILED),
    ({CORE: "_ARRAY_API = 1\n"}, "RuntimeError: _ARRAY_API is not PyCapsule object", FAILED),
    ({CORE: table(capsule_name="b'named'")}, "RuntimeError: _ARRAY_API is NULL pointer", FAILED),
    ({"__init__.py": ""}, "ModuleNotFoundError: No module named 'numpy.core'", FAILED),
    # NumPy 1 keeps its core at the old location only
    ({"core/_multiarray_umath.py": table(feature=12)},
     "module compiled against API version 0xe but this version of numpy is 0xc", FAILED),
    # a NumPy 2 core that fails to import is not bypassed
    ({CORE: "raise ImportError('broken core')\n", "core/_multiarray_umath.py": table()},
     "ImportError: broken core", FAILED),
    # the NumPy 1 ABI with the lowest feature version, and NumPy 2's ABI, are accepted
    ({"core/_multiarray_umath.py": table(abi=0x1000009, feature=0xe)}, "", "imported 1.21.5"),
    ({CORE: table(abi=0x1000009, feature=0x13)}, "", "imported 1.21.5"),
    ({CORE: table(abi=0x2000000, feature=0x15)}, "", "imported 1.21.5"),
])
def test_numpy_import_checks(tmp_path, files, printed, result):
    out = import_with_fake_numpy(tmp_path, files)
    assert out.returncode == 0, out.stderr
    assert out.stdout.strip() == result
    assert printed in out.stderr
