"""The six wrappers: signatures, defaults, checks and their messages, result shapes, order of errors."""
import re

import numpy as np
import pytest

import orbelix

Error = orbelix._orbelix_error
C8 = np.complex64


def zeros(*shape):
    return np.zeros(shape, C8)


IMAGE = np.random.default_rng(3).random((20, 20)).astype(np.float32)


@pytest.mark.parametrize("call, shape, dtype", [
    (lambda: orbelix.fst(zeros(8)), (5, 8), C8),
    (lambda: orbelix.fst(zeros(8), 5), (3, 5), C8),
    (lambda: orbelix.fst(h=zeros(7), n=None), (4, 7), C8),
    (lambda: orbelix.fst(zeros(4), 0), (1, 0), C8),
    (lambda: orbelix.ifst(zeros(5, 8)), (8,), C8),
    (lambda: orbelix.ifst(s=zeros(3, 5)), (4,), C8),
    (lambda: orbelix.dst2(zeros(8, 8)), (8, 8), C8),
    (lambda: orbelix.dst2(zeros(0, 0)), (0, 0), C8),
    (lambda: orbelix.idst2(s=zeros(8, 8), n=8), (8, 8), C8),
    (lambda: orbelix.imfreq(zeros(16, 16), 3, 4), (7, 7), C8),
    (lambda: orbelix.imfreq(zeros(3, 3), 1, 1), (1, 1), C8),
    (lambda: orbelix.imfreq(zeros(256, 256), y=1, x=2, l=256), (15, 15), C8),
    (lambda: orbelix.cmsht2(IMAGE.astype(np.float64), 10, 10), (4,), np.float32),
])
def test_result_shapes_and_types(call, shape, dtype):
    out = call()
    assert out.shape == shape and out.dtype == dtype and out.flags.f_contiguous


MESSAGES = [
    # the checks of each routine
    (lambda: orbelix.fst(zeros(8), 9), "(len(h)>=n) failed for 1st keyword n: fst:n=9"),
    (lambda: orbelix.ifst(zeros(3, 5), 5),
     "((shape(s,0)-1.0)/(0.5)==n) failed for 1st keyword n: ifst:n=5"),
    (lambda: orbelix.ifst(zeros(5, 7)), "(shape(s,1)>=n) failed for 1st keyword n: ifst:n=8"),
    (lambda: orbelix.dst2(zeros(8, 8), 7), "(shape(h,0)==n) failed for 1st keyword n: dst2:n=7"),
    (lambda: orbelix.dst2(zeros(6, 6)), "((n&(n-1))==0) failed for 1st keyword n: dst2:n=6"),
    (lambda: orbelix.dst2(zeros(32768, 0)), "(n<=16384) failed for 1st keyword n: dst2:n=32768"),
    (lambda: orbelix.dst2(zeros(8, 4)), "(shape(h,1)>=n) failed for 1st keyword n: dst2:n=8"),
    (lambda: orbelix.idst2(zeros(8, 8), 4), "(shape(s,0)==n) failed for 1st keyword n: idst2:n=4"),
    (lambda: orbelix.idst2(zeros(12, 12)), "((n&(n-1))==0) failed for 1st keyword n: idst2:n=12"),
    (lambda: orbelix.idst2(zeros(2 ** 15, 0)), "(n<=16384) failed for 1st keyword n: idst2:n=32768"),
    (lambda: orbelix.idst2(zeros(4, 1)), "(shape(s,1)>=n) failed for 1st keyword n: idst2:n=4"),
    (lambda: orbelix.imfreq(zeros(16, 16), 0, 0, 8),
     "(shape(s,0)==l) failed for 1st keyword l: imfreq:l=8"),
    (lambda: orbelix.imfreq(zeros(16, 8), 0, 0), "(shape(s,1)>=l) failed for 1st keyword l: imfreq:l=16"),
    (lambda: orbelix.imfreq(zeros(16, 16), 16, 0), "(0<=x<l) failed for 2nd argument x: imfreq:x=16"),
    (lambda: orbelix.imfreq(zeros(16, 16), -1, 0), "(0<=x<l) failed for 2nd argument x: imfreq:x=-1"),
    (lambda: orbelix.imfreq(zeros(16, 16), 0, 16), "(0<=y<l) failed for 3rd argument y: imfreq:y=16"),
    (lambda: orbelix.cmsht2(IMAGE, 10, 10, l=19), "(shape(r,0)==l) failed for 1st keyword l: cmsht2:l=19"),
    (lambda: orbelix.cmsht2(np.zeros((5, 4)), 2, 2, m=3),
     "(shape(r,1)==m) failed for 2nd keyword m: cmsht2:m=3"),
    (lambda: orbelix.cmsht2(IMAGE, 6, 10),
     "(kernel_size<=x<l-kernel_size) failed for 2nd argument x: cmsht2:x=6"),
    (lambda: orbelix.cmsht2(IMAGE, 13, 10),
     "(kernel_size<=x<l-kernel_size) failed for 2nd argument x: cmsht2:x=13"),
    (lambda: orbelix.cmsht2(IMAGE, 10, 17, kernel_size=3),
     "(kernel_size<=y<m-kernel_size) failed for 3rd argument y: cmsht2:y=17"),
    (lambda: orbelix.cmsht2(IMAGE, 0, 0, kernel_size=2 ** 31 - 1),
     "(kernel_size<=x<l-kernel_size) failed for 2nd argument x: cmsht2:x=0"),
    # errors keep the order of the arguments and of the steps
    (lambda: orbelix.imfreq(zeros(16, 16), 99, 99, 8),
     "(shape(s,0)==l) failed for 1st keyword l: imfreq:l=8"),
    (lambda: orbelix.cmsht2(IMAGE, 99, 99, m=3), "(shape(r,1)==m) failed for 2nd keyword m: cmsht2:m=3"),
]


@pytest.mark.parametrize("call, text", MESSAGES)
def test_check_messages(call, text):
    with pytest.raises(Error) as info:
        call()
    assert type(info.value) is Error and str(info.value) == text


@pytest.mark.parametrize("call", [
    lambda: orbelix.imfreq(zeros(12, 12), 11, 11),
    lambda: orbelix.cmsht2(IMAGE, 7, 12),
    lambda: orbelix.cmsht2(IMAGE, 0, 19, kernel_size=0),
    lambda: orbelix.cmsht2(IMAGE, -5, 99, kernel_size=-1),
    lambda: orbelix.cmsht2(np.zeros((0, 0)), 0, 0, kernel_size=-1),
])
def test_edges_of_the_checks_pass(call):
    call()


def conversion_error(call):
    with pytest.raises(Exception) as info:
        call()
    return info.value


HIDDEN = "failed to create intent(cache|hide)|optional array-- must have defined dimensions but got "


@pytest.mark.parametrize("call, exc, text, cause", [
    (lambda: orbelix.fst(zeros(4), -4), ValueError,
     "failed in converting hidden `s' of orbelix.fst to C/Fortran array", HIDDEN + "(-1,-4,)"),
    (lambda: orbelix.ifst(zeros(0, 3)), ValueError,
     "failed in converting hidden `h' of orbelix.ifst to C/Fortran array", HIDDEN + "(-2,)"),
    (lambda: orbelix.imfreq(zeros(1, 1), 0, 0), ValueError,
     "failed in converting hidden `h' of orbelix.imfreq to C/Fortran array", HIDDEN + "(-1,-1,)"),
    (lambda: orbelix.imfreq(zeros(0, 0), 0, 0), ValueError,
     "failed in converting hidden `h' of orbelix.imfreq to C/Fortran array", HIDDEN + "(-1,-1,)"),
    # the result is created before the pixel is checked
    (lambda: orbelix.imfreq(zeros(1, 1), 5, 5), ValueError,
     "failed in converting hidden `h' of orbelix.imfreq to C/Fortran array", HIDDEN + "(-1,-1,)"),
    (lambda: orbelix.fst(zeros(0, 5)), ValueError,
     "failed in converting 1st argument `h' of orbelix.fst to C/Fortran array", "unexpected array size"),
    (lambda: orbelix.ifst([[1, 2], [3]]), ValueError,
     "failed in converting 1st argument `s' of orbelix.ifst to C/Fortran array", "inhomogeneous"),
    (lambda: orbelix.dst2({"a": 1}), TypeError,
     "failed in converting 1st argument `h' of orbelix.dst2 to C/Fortran array", "real number"),
    (lambda: orbelix.idst2("abc"), ValueError,
     "failed in converting 1st argument `s' of orbelix.idst2 to C/Fortran array", "complex"),
    (lambda: orbelix.imfreq(np.zeros((0, 2, 3)), 0, 0), ValueError,
     "failed in converting 1st argument `s' of orbelix.imfreq to C/Fortran array", "unexpected array size"),
    (lambda: orbelix.cmsht2(object(), 0, 0), TypeError,
     "failed in converting 1st argument `r' of orbelix.cmsht2 to C/Fortran array", "real number"),
])
def test_conversion_messages_chain_their_cause(call, exc, text, cause):
    error = conversion_error(call)
    assert type(error) is exc and str(error) == text
    assert type(error.__cause__) is exc and cause in str(error.__cause__)
    assert error.__suppress_context__


@pytest.mark.parametrize("call, exc, text", [
    (lambda: orbelix.imfreq(zeros(4, 4), "a", 0), ValueError,
     "orbelix.imfreq() 2nd argument (x) can't be converted to int"),
    (lambda: orbelix.imfreq(zeros(4, 4), 0, None), TypeError,
     "orbelix.imfreq() 3rd argument (y) can't be converted to int"),
    (lambda: orbelix.imfreq(zeros(4, 4), 0, 0, "l"), ValueError,
     "orbelix.imfreq() 1st keyword (l) can't be converted to int"),
    (lambda: orbelix.imfreq(zeros(4, 4), 2147483648, 0), OverflowError,
     "Python int too large to convert to C int"),
    (lambda: orbelix.ifst(zeros(3, 4), "n"), ValueError, "orbelix.ifst() 1st keyword (n) can't be converted to int"),
    (lambda: orbelix.dst2(zeros(4, 4), []), IndexError, "orbelix.dst2() 1st keyword (n) can't be converted to int"),
    (lambda: orbelix.idst2(zeros(4, 4), {}), TypeError, "orbelix.idst2() 1st keyword (n) can't be converted to int"),
    (lambda: orbelix.cmsht2(IMAGE, "x", 0, coarse="c"), ValueError,
     "orbelix.cmsht2() 2nd argument (x) can't be converted to int"),
    (lambda: orbelix.cmsht2(IMAGE, 0, [], coarse="c"), IndexError,
     "orbelix.cmsht2() 3rd argument (y) can't be converted to int"),
    (lambda: orbelix.cmsht2(IMAGE, 0, 0, coarse="c", kernel_size="k"), ValueError,
     "orbelix.cmsht2() 3rd keyword (coarse) can't be converted to float"),
    (lambda: orbelix.cmsht2(IMAGE, 0, 0, kernel_size="k", l="l"), ValueError,
     "orbelix.cmsht2() 5th keyword (kernel_size) can't be converted to int"),
    (lambda: orbelix.cmsht2(IMAGE, 0, 0, l="l", m=1), ValueError,
     "orbelix.cmsht2() 1st keyword (l) can't be converted to int"),
    (lambda: orbelix.cmsht2(IMAGE, 0, 0, m="m"), ValueError,
     "orbelix.cmsht2() 2nd keyword (m) can't be converted to int"),
])
def test_scalar_messages_in_argument_order(call, exc, text):
    error = conversion_error(call)
    assert type(error) is exc and str(error) == text


@pytest.mark.parametrize("call, name", [
    (lambda: orbelix.fst(), "orbelix.fst"),
    (lambda: orbelix.fst(zeros(4), 4, 4), "orbelix.fst"),
    (lambda: orbelix.ifst(zeros(3, 4), m=4), "orbelix.ifst"),
    (lambda: orbelix.dst2(n=4), "orbelix.dst2"),
    (lambda: orbelix.idst2(zeros(4, 4), s=zeros(4, 4)), "orbelix.idst2"),
    (lambda: orbelix.imfreq(zeros(4, 4), 0), "orbelix.imfreq"),
    (lambda: orbelix.cmsht2(IMAGE, 1, 2, 3, 4, 5, 6, 7, 8), "orbelix.cmsht2"),
])
def test_parse_errors_name_the_function(call, name):
    error = conversion_error(call)
    assert type(error) is TypeError and re.search(re.escape(name) + r"\(\)", str(error))


@pytest.mark.parametrize("given, default", [
    (dict(coarse=None), dict(coarse=0.2)),
    (dict(fine=None), dict(fine=0.1)),
    (dict(kernel_size=None), dict(kernel_size=7)),
    (dict(l=None, m=None), dict(l=20, m=20)),
    ({}, dict(coarse=np.float32(0.2), fine=np.float32(0.1), kernel_size=7)),
])
def test_cmsht2_defaults(given, default):
    assert np.array_equal(orbelix.cmsht2(IMAGE, 9, 11, **given), orbelix.cmsht2(IMAGE, 9, 11, **default))


def test_cmsht2_reads_the_pixel_given_as_row_and_column():
    r = np.zeros((5, 6), np.float32)
    r[1, 4] = 2.0
    assert orbelix.cmsht2(r, 1, 4, kernel_size=0)[3] > 0
    assert orbelix.cmsht2(r, 4, 1, kernel_size=0)[3] == 0


def test_ifst_default_uses_the_leading_columns():
    s = orbelix.fst(np.arange(5, dtype=C8))
    assert s.shape == (3, 5)
    assert np.array_equal(orbelix.ifst(s), orbelix.ifst(np.asfortranarray(s[:, :4])))


@pytest.mark.parametrize("name, args", [("dst2", ()), ("idst2", ()), ("imfreq", (5, 2))])
@pytest.mark.parametrize("order", ["F", "C"])
def test_square_routines_read_the_leading_columns_of_a_wider_input(name, args, order):
    # The side comes from the rows; the routine reads side x side values with
    # the side as leading dimension, that is the first `side` columns, whether
    # the wide input is used in place or copied.
    rng = np.random.default_rng(17)
    wide = (rng.standard_normal((8, 11)) + 1j * rng.standard_normal((8, 11))).astype(C8)
    wide = np.asfortranarray(wide) if order == "F" else np.ascontiguousarray(wide)
    f = getattr(orbelix, name)
    assert np.array_equal(f(wide, *args), f(np.asfortranarray(wide[:, :8]), *args))


def test_fst_length_argument_uses_leading_samples():
    h = np.arange(8, dtype=C8) ** 2
    assert np.array_equal(orbelix.fst(h, 5), orbelix.fst(h[:5].copy()))


def test_errors_are_instances_of_the_module_error_class():
    assert issubclass(Error, Exception) and Error is not Exception
    with pytest.raises(Exception) as info:
        orbelix.fst(zeros(2), 3)
    assert isinstance(info.value, Error)


def test_result_too_large_raises_memory_error_with_the_hidden_message():
    # NumPy's own MemoryError subclass cannot be built from one text: the
    # message must survive as a plain MemoryError, NumPy's error its cause.
    with pytest.raises(MemoryError, match="failed in converting hidden `s' of orbelix.fst") as info:
        orbelix.fst(np.zeros(10**6, C8))
    assert isinstance(info.value.__cause__, MemoryError)


def test_scalar_error_of_a_class_needing_two_arguments_keeps_the_message():
    class TwoArgs(Exception):
        def __init__(self, a, b):
            super().__init__(a, b)

    class Refuses:
        def __int__(self):
            raise TwoArgs(1, 2)

    with pytest.raises(Exception, match=re.escape("orbelix.fst() 1st keyword (n) can't be converted to int")):
        orbelix.fst(zeros(4), n=Refuses())
