// The six routine wrappers: one generic sequence (parse, convert the input,
// scalars with their defaults and checks, create the result, call the entry
// routine) driven by a table per routine. The interpreter lock stays held
// throughout, so calls from different threads run one after the other.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>

#if defined(__linux__)
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include "fortranobject.h"
#include "module.h"
#include "orbelix.h"
#include "core/interrupt.hpp"
#include "scalars.h"
#include "st/entries.hpp"

namespace {

constexpr int max_args = 8;     // most Python arguments of a routine (cmsht2)
constexpr int max_values = 9;   // plus imfreq's derived m
constexpr int max_scalars = 8;
constexpr int max_checks = 4;

// What a wrapper knows while it runs: the fitted extents of its input and
// its scalar values, each kept at the position of its argument.
struct Frame {
    npy_intp shape[2] = {-1, -1};
    int i[max_values] = {};
    float r[max_values] = {};
};

// A consistency check; on failure the module's error class is raised with
// format applied to text and the value at position value.
struct Check {
    const char *text;  // null ends a list
    const char *format;
    int value;
    bool (*holds)(const Frame &);
};

enum class Kind { none, integer, real };  // none ends a list

// A scalar: a Python argument converted to 32 bits, or taken from its
// default when it is optional and omitted or None. Without errmess it is no
// Python argument and always takes its default (a derived value).
struct Scalar {
    int position;
    Kind kind;
    const char *errmess;
    // null: a required integer. A default taken from an extent is computed
    // in 64 bits; one beyond the 32-bit range raises OverflowError with
    // too_large (formatted with the value) instead of being truncated.
    long long (*int_default)(const Frame &);
    float real_default;
    Check checks[max_checks];
    const char *too_large = nullptr;
};

struct ArraySpec {
    int type_num;
    int rank;
    const char *message;  // raised, cause chained, when conversion fails
    bool overwritten = false;  // a result the routine writes whole
};

struct WrapperSpec {
    const char *format;
    const char *const *kwlist;
    ArraySpec input;  // always the first argument
    ArraySpec result;
    void (*result_extents)(const Frame &, npy_intp *dims);
    int result_after;  // number of scalars set before the result is created
    Scalar scalars[max_scalars];
    Check final_checks[2];  // run last, before the call
    // Calls the body of the entry routine (st/entries.hpp), which reports a
    // failure by throwing rather than by the C routine's fatal stop.
    void (*call)(Frame &, void *in, void *out);
    // What the routine allocates besides its result, for the MemoryError
    // raised when that fails: the extents it depends on ("n=%d" applied to
    // the value at working_value) and its size in bytes, an estimate.
    const char *working_extents = nullptr;
    int working_value = 0;
    double (*working_bytes)(const Frame &) = nullptr;
};

constexpr int after_all = max_scalars;

// ---------------------------------------------------------------------------
// Values as the routines take them

// An extent as a default, whole: set_scalar refuses one beyond 32 bits.
long long extent_default(npy_intp extent) { return extent; }

// Truncation toward zero into 32 bits; out of range or NaN gives INT_MIN,
// as the processor's own conversion does.
int truncate_to_int(double x) {
    return x > -2147483649.0 && x < 2147483648.0 ? static_cast<int>(x) : INT_MIN;
}

// Truncation toward zero into 64 bits, saturating: a default beyond the
// 32-bit range is refused whole rather than wrapped.
long long truncate_to_wide(double x) {
    if (x != x) return INT_MIN;  // NaN, as truncate_to_int
    if (x <= -9.2e18) return LLONG_MIN;
    if (x >= 9.2e18) return LLONG_MAX;
    return static_cast<long long>(x);
}

// 32-bit two's complement arithmetic of the extents, wrapping on overflow.
int wrap_add(int a, int b) {
    return static_cast<int>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

bool is_power_of_two_or_zero(int n) {
    const auto u = static_cast<std::uint32_t>(n);
    return (u & (u - 1u)) == 0;
}

// ---------------------------------------------------------------------------
// The generic sequence

// Raise message with the type of the pending exception (or the module's
// error class), the pending exception becoming its cause.
void raise_with_cause(const char *message) {
#if PY_VERSION_HEX >= 0x030C0000
    PyObject *cause = PyErr_GetRaisedException();  // normalised, traceback attached
    if (cause == nullptr) {
        PyErr_SetString(orbelix_error, message);
        return;
    }
    set_exception_text(reinterpret_cast<PyObject *>(Py_TYPE(cause)), message);
    PyObject *raised = PyErr_GetRaisedException();
    if (raised == nullptr) {
        Py_DECREF(cause);
        return;
    }
    PyException_SetCause(raised, cause);  // steals cause
    PyErr_SetRaisedException(raised);
#else
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    if (type == nullptr) {
        PyErr_SetString(orbelix_error, message);
        return;
    }
    // Normalised before the new exception is raised: that may run Python code.
    PyErr_NormalizeException(&type, &value, &traceback);
    if (traceback != nullptr) {
        PyException_SetTraceback(value, traceback);
        Py_DECREF(traceback);
    }
    set_exception_text(type, message);
    Py_DECREF(type);
    PyObject *new_type, *new_value, *new_traceback;
    PyErr_Fetch(&new_type, &new_value, &new_traceback);
    PyErr_NormalizeException(&new_type, &new_value, &new_traceback);
    PyException_SetCause(new_value, value);  // steals value
    PyErr_Restore(new_type, new_value, new_traceback);
#endif
}

bool check_holds(const Check &check, const Frame &f) {
    if (check.holds(f)) return true;
    char message[256];
    std::snprintf(message, sizeof message, check.format, check.text, f.i[check.value]);
    PyErr_SetString(orbelix_error, message);
    return false;
}

bool set_scalar(const Scalar &s, PyObject *const *args, Frame &f) {
    PyObject *obj = s.errmess != nullptr ? args[s.position] : nullptr;
    const bool optional = s.kind == Kind::real || s.int_default != nullptr;
    const bool use_default = s.errmess == nullptr || (optional && obj == Py_None);
    if (s.kind == Kind::integer) {
        if (use_default) {
            const long long value = s.int_default(f);
            if (value < INT_MIN || value > INT_MAX) {
                PyErr_Format(PyExc_OverflowError, s.too_large, value);
                return false;
            }
            f.i[s.position] = static_cast<int>(value);
        } else if (!int_from_pyobj(&f.i[s.position], obj, s.errmess)) {
            return false;
        }
    } else {
        if (use_default)
            f.r[s.position] = s.real_default;
        else if (!float_from_pyobj(&f.r[s.position], obj, s.errmess))
            return false;
    }
    for (const Check &check : s.checks)
        if (check.text != nullptr && !check_holds(check, f)) return false;
    return true;
}

PyArrayObject *create_result(const WrapperSpec &w, const Frame &f) {
    npy_intp dims[2] = {-1, -1};
    w.result_extents(f, dims);
    const int intent = F2PY_INTENT_HIDE | F2PY_INTENT_OUT |
                       (w.result.overwritten ? F2PY_INTENT_OVERWRITTEN : 0);
    PyArrayObject *out =
        array_from_pyobj(w.result.type_num, dims, w.result.rank, intent, Py_None);
    if (out == nullptr) raise_with_cause(w.result.message);
    return out;
}

// Ctrl-C during a long call: Python's signal handlers run only in the main
// thread. A call made there runs them between steps of the computation,
// every kSignalPeriodMs; a handler that raises (KeyboardInterrupt) stops the
// computation, and its exception is the call's. The process's initial
// thread stands for the main thread (where Python runs embedded elsewhere,
// calls just go uninterrupted).
constexpr int kSignalPeriodMs = 100;

bool on_initial_thread() {
#if defined(__linux__)
    thread_local const bool initial = static_cast<pid_t>(syscall(SYS_gettid)) == getpid();
    return initial;
#else
    return false;
#endif
}

// The memory of the caller's own array, which the computation reads in
// place. A signal handler run between its steps may resize that array or
// give it new data (resize(refcheck=False), __setstate__), freeing what the
// computation reads; the call then stops with RuntimeError instead. Watched
// are the array that owns the memory (the end of the chain of bases) and,
// with watch_array, the array itself; the watch holds both for the call,
// so that the owner outlives an array of the chain given new data. With
// pin, a weak reference to the owner meanwhile makes NumPy refuse to
// resize it at all, from a handler or from a thread that a handler lets
// run, which no check could catch in time.
class InputWatch {
  public:
    InputWatch(PyArrayObject *in, bool watch_array, bool pin) {
        PyArrayObject *owner = in;
        while (PyArray_BASE(owner) != nullptr && PyArray_Check(PyArray_BASE(owner)))
            owner = reinterpret_cast<PyArrayObject *>(PyArray_BASE(owner));
        if (watch_array || owner != in) watch(owner);
        if (watch_array && owner != in) watch(in);
        if (!pin) return;
        pin_ = PyWeakref_NewRef(reinterpret_cast<PyObject *>(owner), nullptr);
        if (pin_ == nullptr) PyErr_Clear();  // only a safeguard: go on without it
    }
    ~InputWatch() {
        Py_XDECREF(pin_);
        for (int i = 0; i < count_; ++i) Py_DECREF(seen_[i].array);
    }
    InputWatch(const InputWatch &) = delete;
    InputWatch &operator=(const InputWatch &) = delete;

    // With the interpreter lock held.
    bool intact() const {
        for (int i = 0; i < count_; ++i)
            if (PyArray_DATA(seen_[i].array) != seen_[i].data ||
                PyArray_NBYTES(seen_[i].array) != seen_[i].nbytes)
                return false;
        return true;
    }

    // intact(), else RuntimeError naming the routine ("orbelix.fst").
    bool check(const char *routine) const {
        if (intact()) return true;
        PyErr_Format(PyExc_RuntimeError,
                     "the input array of %s was resized or given new data during the call",
                     routine);
        return false;
    }

  private:
    struct Seen {
        PyArrayObject *array;
        void *data;
        npy_intp nbytes;
    };
    void watch(PyArrayObject *a) {
        Py_INCREF(a);
        seen_[count_++] = {a, PyArray_DATA(a), PyArray_NBYTES(a)};
    }
    Seen seen_[2] = {};
    int count_ = 0;
    PyObject *pin_ = nullptr;
};

const char *routine_name(const WrapperSpec &w) { return std::strchr(w.format, ':') + 1; }

// MemoryError for working arrays that could not be allocated, saying which
// and about how large (the result array exists by then).
void raise_no_memory(const WrapperSpec &w, const Frame &f) {
    if (w.working_bytes == nullptr) {
        PyErr_Format(PyExc_MemoryError, "the working arrays of %s could not be allocated",
                     routine_name(w));
        return;
    }
    char extents[64];
    std::snprintf(extents, sizeof extents, w.working_extents, f.i[w.working_value]);
    char message[200];
    std::snprintf(message, sizeof message,
                  "the working arrays of %s for %s (about %.3g GB) could not be allocated",
                  routine_name(w), extents, w.working_bytes(f) / 1e9);
    PyErr_SetString(PyExc_MemoryError, message);
}

struct Running {
    const InputWatch *input;
    const char *routine;  // "orbelix.fst" and so on
};

// Runs Python's signal handlers (the interpreter lock is held). A handler
// runs Python code, which may give the input new data: the call stops then.
bool run_signal_handlers(void *context) {
    const Running *running = static_cast<const Running *>(context);
    if (PyErr_CheckSignals() != 0) return true;
    return !running->input->check(running->routine);
}

// Run the entry routine's body; the caller holds references to both arrays
// meanwhile. What it throws becomes the matching Python exception (the C
// entry routine would stop instead). Even an array the conversion did not
// take from the argument itself is watched: __array__ may have handed out
// an array of the caller's.
bool call_entry(const WrapperSpec &w, Frame &f, PyArrayObject *in, PyArrayObject *out) {
    if (PyArray_SIZE(out) == 0) return true;  // an empty result: nothing to compute
    const InputWatch watch(in, /*watch_array=*/true, /*pin=*/true);
    void *in_data = PyArray_DATA(in);
    void *out_data = PyArray_DATA(out);
    enum { done, no_memory, too_large, failed, interrupted } outcome = done;
    char what[200] = "";
    Running running = {&watch, routine_name(w)};
    try {
        std::optional<orbelix::InterruptCheck> check;
        if (on_initial_thread()) check.emplace(run_signal_handlers, &running, kSignalPeriodMs);
        w.call(f, in_data, out_data);
    } catch (const orbelix::Interrupted &) {
        outcome = interrupted;  // the handler's exception is set
    } catch (const std::bad_alloc &) {
        outcome = no_memory;
    } catch (const std::length_error &) {
        outcome = no_memory;
    } catch (const std::overflow_error &e) {
        outcome = too_large;
        std::snprintf(what, sizeof what, "%s", e.what());
    } catch (const std::exception &e) {
        outcome = failed;
        std::snprintf(what, sizeof what, "%s", e.what());
    } catch (...) {
        outcome = failed;
        std::snprintf(what, sizeof what, "unexpected failure");
    }
    if (outcome == no_memory) raise_no_memory(w, f);
    if (outcome == too_large) PyErr_SetString(PyExc_OverflowError, what);
    if (outcome == failed) PyErr_SetString(PyExc_RuntimeError, what);
    return outcome == done;
}

// Converting the scalars, creating the result and raising check messages
// can run Python code (__int__, __index__, a finaliser during an
// allocation), which may reshape, resize or replace the data of the
// caller's own array or of the array owning its memory. Just before the
// call, a view whose owner has changed since the first conversion (early)
// is refused, as is an array handed out by __array__ that has changed; the
// input used in place is converted again, and every check runs again on
// the extents it has now; the values of the scalars stay as converted.
// Returns false with an exception set. *in may become a new copy, owned
// when *owned is set.
bool refresh_input(const WrapperSpec &w, PyObject *arg0, const InputWatch &early, Frame &f,
                   PyArrayObject **in, bool *owned) {
    if (!early.check(routine_name(w))) return false;
    if (*owned) return true;  // a private copy, or checked above
    npy_intp shape[2] = {-1, -1};
    PyArrayObject *now =
        array_from_pyobj(w.input.type_num, shape, w.input.rank, F2PY_INTENT_IN, arg0);
    if (now == nullptr) {
        raise_with_cause(w.input.message);
        return false;
    }
    *in = now;
    *owned = reinterpret_cast<PyObject *>(now) != arg0;
    if (!*owned && shape[0] == f.shape[0] && shape[1] == f.shape[1]) return true;
    f.shape[0] = shape[0];
    f.shape[1] = shape[1];
    for (int k = 0; k < max_scalars && w.scalars[k].kind != Kind::none; ++k)
        for (const Check &check : w.scalars[k].checks)
            if (check.text != nullptr && !check_holds(check, f)) return false;
    for (const Check &check : w.final_checks)
        if (check.text != nullptr && !check_holds(check, f)) return false;
    return true;
}

PyObject *run_wrapper(const WrapperSpec &w, PyObject *args, PyObject *kwds) {
    PyObject *arg[max_args];
    for (PyObject *&a : arg) a = Py_None;
    // Arguments past those of the format are left alone by the parser.
    if (!PyArg_ParseTupleAndKeywords(args, kwds, w.format, const_cast<char **>(w.kwlist), &arg[0],
                                     &arg[1], &arg[2], &arg[3], &arg[4], &arg[5], &arg[6], &arg[7]))
        return nullptr;
    // Held for the whole call: a conversion running Python code cannot free
    // an argument still to be read.
    for (PyObject *a : arg) Py_INCREF(a);

    Frame f;
    PyArrayObject *in = array_from_pyobj(w.input.type_num, f.shape, w.input.rank, F2PY_INTENT_IN,
                                         arg[0]);
    bool owned = in != nullptr && reinterpret_cast<PyObject *>(in) != arg[0];
    PyArrayObject *out = nullptr;  // owned
    bool ok = in != nullptr;
    if (!ok) raise_with_cause(w.input.message);
    // The memory as it is now, before any Python code runs: the array
    // converted in place is converted again later, what else holds the
    // memory is checked then.
    std::optional<InputWatch> early;
    if (ok) early.emplace(in, /*watch_array=*/owned, /*pin=*/false);
    for (int k = 0; ok && k < max_scalars && w.scalars[k].kind != Kind::none; ++k) {
        if (k == w.result_after) ok = (out = create_result(w, f)) != nullptr;
        if (ok) ok = set_scalar(w.scalars[k], arg, f);
    }
    if (ok && out == nullptr) ok = (out = create_result(w, f)) != nullptr;
    for (const Check &check : w.final_checks)
        if (ok && check.text != nullptr) ok = check_holds(check, f);
    if (ok) ok = refresh_input(w, arg[0], *early, f, &in, &owned);
    if (ok) ok = call_entry(w, f, in, out) && !PyErr_Occurred();

    if (owned) Py_DECREF(in);
    for (PyObject *a : arg) Py_DECREF(a);
    if (!ok) {
        Py_XDECREF(out);
        return nullptr;
    }
    return reinterpret_cast<PyObject *>(out);
}

float *floats(void *p) { return static_cast<float *>(p); }

// Estimates of what the routines allocate besides their results, following
// the buffers of their bodies: an FFT plan of n points (tables and work,
// about 32 bytes a point) and what each keeps for its own steps.
double fft_plan_bytes(double n) { return 32.0 * n; }

// ---------------------------------------------------------------------------
// fst: s = fst(h, [n])

enum { fst_h, fst_n };
const char *const fst_kwlist[] = {"h", "n", nullptr};

// fst: the analytic spectrum twice over, a block of voices (columns of n
// plus a pad, as many as fit 4.5 MB, 32 to 64 of them, as cfst1f chooses)
// and the kept windows of the blocks on the way to the current one (one
// block of windows a level, each up to half the voices long).
double fst_working_bytes(const Frame &f) {
    const double n = f.i[fst_n], count = std::floor(n / 2) + 1;
    const double ld = n + 8, fit = std::floor(4718592.0 / (ld * 8));
    const double batch = std::max(32.0, std::floor(std::min(fit, 64.0) / 8) * 8);
    double windows = 0;
    for (double top = batch; top / 2 < count; top *= 2)
        windows += batch * std::min(std::floor((count + 1) / 2), 2.3 * top + 8) * 4;
    return 16 * n + 8 * ld * std::min(batch, count) + windows + 6 * n + fft_plan_bytes(n);
}

const WrapperSpec fst_spec = {
    "O|O:orbelix.fst",
    fst_kwlist,
    {NPY_CFLOAT, 1, "failed in converting 1st argument `h' of orbelix.fst to C/Fortran array"},
    {NPY_CFLOAT, 2, "failed in converting hidden `s' of orbelix.fst to C/Fortran array", true},
    [](const Frame &f, npy_intp *dims) {
        dims[0] = static_cast<npy_intp>(0.5 * f.i[fst_n] + 1.0);
        dims[1] = f.i[fst_n];
    },
    after_all,
    {
        {fst_n, Kind::integer, "orbelix.fst() 1st keyword (n) can't be converted to int",
         [](const Frame &f) { return extent_default(f.shape[0]); }, 0.0f,
         {{"(len(h)>=n) failed for 1st keyword n", "%s: fst:n=%d", fst_n,
           [](const Frame &f) { return f.shape[0] >= f.i[fst_n]; }}},
         "len(h)=%lld does not fit the 32-bit argument n of orbelix.fst"},
    },
    {},
    [](Frame &f, void *in, void *out) {
        orbelix::entries::fst(&f.i[fst_n], floats(in), floats(out));
    },
    "n=%d",
    fst_n,
    fst_working_bytes,
};

// ---------------------------------------------------------------------------
// ifst: h = ifst(s, [n])

enum { ifst_s, ifst_n };
const char *const ifst_kwlist[] = {"s", "n", nullptr};

const WrapperSpec ifst_spec = {
    "O|O:orbelix.ifst",
    ifst_kwlist,
    {NPY_CFLOAT, 2, "failed in converting 1st argument `s' of orbelix.ifst to C/Fortran array"},
    {NPY_CFLOAT, 1, "failed in converting hidden `h' of orbelix.ifst to C/Fortran array"},
    [](const Frame &f, npy_intp *dims) { dims[0] = f.i[ifst_n]; },
    after_all,
    {
        {ifst_n, Kind::integer, "orbelix.ifst() 1st keyword (n) can't be converted to int",
         [](const Frame &f) { return truncate_to_wide((f.shape[0] - 1.0) / 0.5); }, 0.0f,
         {{"((shape(s,0)-1.0)/(0.5)==n) failed for 1st keyword n", "%s: ifst:n=%d", ifst_n,
           [](const Frame &f) { return (f.shape[0] - 1.0) / 0.5 == f.i[ifst_n]; }},
          {"(shape(s,1)>=n) failed for 1st keyword n", "%s: ifst:n=%d", ifst_n,
           [](const Frame &f) { return f.shape[1] >= f.i[ifst_n]; }}},
         "(shape(s,0)-1.0)/(0.5)=%lld does not fit the 32-bit argument n of orbelix.ifst"},
    },
    {},
    [](Frame &f, void *in, void *out) {
        orbelix::entries::ifst(&f.i[ifst_n], floats(in), floats(out));
    },
    "n=%d",
    ifst_n,
    // The signal and the column sums, n complex values each, and the plan.
    [](const Frame &f) { return 16.0 * f.i[ifst_n] + fft_plan_bytes(f.i[ifst_n]); },
};

// ---------------------------------------------------------------------------
// dst2 and idst2: an n x n array to an n x n array, n a power of two

enum { square_input, square_n };
const char *const dst2_kwlist[] = {"h", "n", nullptr};
const char *const idst2_kwlist[] = {"s", "n", nullptr};

constexpr int max_square_side = 16384;  // 2 n^2 reals must fit the FFT's 32-bit work length

void square_extents(const Frame &f, npy_intp *dims) { dims[0] = dims[1] = f.i[square_n]; }
long long square_default(const Frame &f) { return extent_default(f.shape[0]); }
bool square_rows_match(const Frame &f) { return f.shape[0] == f.i[square_n]; }
bool square_side_power_of_two(const Frame &f) { return is_power_of_two_or_zero(f.i[square_n]); }
bool square_side_in_range(const Frame &f) { return f.i[square_n] <= max_square_side; }
bool square_columns_suffice(const Frame &f) { return f.shape[1] >= f.i[square_n]; }

// The FFTs go in batches: rows of about 2^18 values, whose FFT work is
// 8 bytes a value, and columns of about 2^15 values, copied to scratch;
// a table is kept for each length.
double square_working_bytes(const Frame &f) {
    const double n = f.i[square_n];
    return 8 * std::max(262144.0, n) + 8 * std::max(32768.0, n) + fft_plan_bytes(n);
}

const WrapperSpec dst2_spec = {
    "O|O:orbelix.dst2",
    dst2_kwlist,
    {NPY_CFLOAT, 2, "failed in converting 1st argument `h' of orbelix.dst2 to C/Fortran array"},
    {NPY_CFLOAT, 2, "failed in converting hidden `s' of orbelix.dst2 to C/Fortran array", true},
    square_extents,
    after_all,
    {
        {square_n, Kind::integer, "orbelix.dst2() 1st keyword (n) can't be converted to int",
         square_default, 0.0f,
         {{"(shape(h,0)==n) failed for 1st keyword n", "%s: dst2:n=%d", square_n, square_rows_match},
          {"((n&(n-1))==0) failed for 1st keyword n", "%s: dst2:n=%d", square_n,
           square_side_power_of_two},
          {"(n<=16384) failed for 1st keyword n", "%s: dst2:n=%d", square_n, square_side_in_range},
          {"(shape(h,1)>=n) failed for 1st keyword n", "%s: dst2:n=%d", square_n,
           square_columns_suffice}},
         "shape(h,0)=%lld does not fit the 32-bit argument n of orbelix.dst2"},
    },
    {},
    [](Frame &f, void *in, void *out) {
        orbelix::entries::dst2(&f.i[square_n], floats(in), floats(out));
    },
    "n=%d",
    square_n,
    square_working_bytes,
};

const WrapperSpec idst2_spec = {
    "O|O:orbelix.idst2",
    idst2_kwlist,
    {NPY_CFLOAT, 2, "failed in converting 1st argument `s' of orbelix.idst2 to C/Fortran array"},
    {NPY_CFLOAT, 2, "failed in converting hidden `h' of orbelix.idst2 to C/Fortran array", true},
    square_extents,
    after_all,
    {
        {square_n, Kind::integer, "orbelix.idst2() 1st keyword (n) can't be converted to int",
         square_default, 0.0f,
         {{"(shape(s,0)==n) failed for 1st keyword n", "%s: idst2:n=%d", square_n,
           square_rows_match},
          {"((n&(n-1))==0) failed for 1st keyword n", "%s: idst2:n=%d", square_n,
           square_side_power_of_two},
          {"(n<=16384) failed for 1st keyword n", "%s: idst2:n=%d", square_n, square_side_in_range},
          {"(shape(s,1)>=n) failed for 1st keyword n", "%s: idst2:n=%d", square_n,
           square_columns_suffice}},
         "shape(s,0)=%lld does not fit the 32-bit argument n of orbelix.idst2"},
    },
    {},
    [](Frame &f, void *in, void *out) {
        orbelix::entries::idst2(&f.i[square_n], floats(in), floats(out));
    },
    "n=%d",
    square_n,
    square_working_bytes,
};

// ---------------------------------------------------------------------------
// imfreq: h = imfreq(s, x, y, [l])

enum { imfreq_s, imfreq_x, imfreq_y, imfreq_l, imfreq_m };
const char *const imfreq_kwlist[] = {"s", "x", "y", "l", nullptr};

// m = trunc(log2(l)) - 1 in 32-bit arithmetic; l < 1 wraps to an undefined
// extent 2m + 1 = -1, as l = 1 gives.
long long imfreq_half_size(const Frame &f) {
    return wrap_add(truncate_to_int(std::log2(static_cast<double>(f.i[imfreq_l]))), -1);
}

const WrapperSpec imfreq_spec = {
    "OOO|O:orbelix.imfreq",
    imfreq_kwlist,
    {NPY_CFLOAT, 2, "failed in converting 1st argument `s' of orbelix.imfreq to C/Fortran array"},
    {NPY_CFLOAT, 2, "failed in converting hidden `h' of orbelix.imfreq to C/Fortran array"},
    [](const Frame &f, npy_intp *dims) {
        const int m = f.i[imfreq_m];
        dims[0] = dims[1] = wrap_add(wrap_add(m, m), 1);
    },
    after_all,
    {
        {imfreq_x, Kind::integer, "orbelix.imfreq() 2nd argument (x) can't be converted to int",
         nullptr, 0.0f, {}},
        {imfreq_y, Kind::integer, "orbelix.imfreq() 3rd argument (y) can't be converted to int",
         nullptr, 0.0f, {}},
        {imfreq_l, Kind::integer, "orbelix.imfreq() 1st keyword (l) can't be converted to int",
         [](const Frame &f) { return extent_default(f.shape[0]); }, 0.0f,
         {{"(shape(s,0)==l) failed for 1st keyword l", "%s: imfreq:l=%d", imfreq_l,
           [](const Frame &f) { return f.shape[0] == f.i[imfreq_l]; }},
          {"(shape(s,1)>=l) failed for 1st keyword l", "%s: imfreq:l=%d", imfreq_l,
           [](const Frame &f) { return f.shape[1] >= f.i[imfreq_l]; }}},
         "shape(s,0)=%lld does not fit the 32-bit argument l of orbelix.imfreq"},
        {imfreq_m, Kind::integer, nullptr, imfreq_half_size, 0.0f, {}},
    },
    {{"(0<=x<l) failed for 2nd argument x", "%s: imfreq:x=%d", imfreq_x,
      [](const Frame &f) { return 0 <= f.i[imfreq_x] && f.i[imfreq_x] < f.i[imfreq_l]; }},
     {"(0<=y<l) failed for 3rd argument y", "%s: imfreq:y=%d", imfreq_y,
      [](const Frame &f) { return 0 <= f.i[imfreq_y] && f.i[imfreq_y] < f.i[imfreq_l]; }}},
    [](Frame &f, void *in, void *out) {
        orbelix::entries::imfreq(&f.i[imfreq_l], &f.i[imfreq_m], floats(in), &f.i[imfreq_x],
                                   &f.i[imfreq_y], floats(out));
    },
    "l=%d",
    imfreq_l,
    // The local frequency domain, (2m+1)^2 complex values, before its copy.
    [](const Frame &f) {
        const double side = 2.0 * f.i[imfreq_m] + 1;
        return 8 * side * side;
    },
};

// ---------------------------------------------------------------------------
// cmsht2: h = cmsht2(r, x, y, [l, m, coarse, fine, kernel_size])

enum { cmsht2_r, cmsht2_x, cmsht2_y, cmsht2_l, cmsht2_m, cmsht2_coarse, cmsht2_fine, cmsht2_ks };
const char *const cmsht2_kwlist[] = {"r", "x", "y", "l", "m", "coarse", "fine", "kernel_size",
                                     nullptr};

// The window of half-width k around v lies within 0 .. extent-1; a negative
// k reads no pixel.
bool window_inside(int v, int extent, int k) {
    return k < 0 || (k <= v && static_cast<long long>(v) < static_cast<long long>(extent) - k);
}

const WrapperSpec cmsht2_spec = {
    "OOO|OOOOO:orbelix.cmsht2",
    cmsht2_kwlist,
    {NPY_FLOAT, 2, "failed in converting 1st argument `r' of orbelix.cmsht2 to C/Fortran array"},
    {NPY_FLOAT, 1, "failed in converting hidden `h' of orbelix.cmsht2 to C/Fortran array"},
    [](const Frame &, npy_intp *dims) { dims[0] = 4; },
    2,  // the result is created right after x and y
    {
        {cmsht2_x, Kind::integer, "orbelix.cmsht2() 2nd argument (x) can't be converted to int",
         nullptr, 0.0f, {}},
        {cmsht2_y, Kind::integer, "orbelix.cmsht2() 3rd argument (y) can't be converted to int",
         nullptr, 0.0f, {}},
        {cmsht2_coarse, Kind::real,
         "orbelix.cmsht2() 3rd keyword (coarse) can't be converted to float", nullptr, 0.2f, {}},
        {cmsht2_fine, Kind::real, "orbelix.cmsht2() 4th keyword (fine) can't be converted to float",
         nullptr, 0.1f, {}},
        {cmsht2_ks, Kind::integer,
         "orbelix.cmsht2() 5th keyword (kernel_size) can't be converted to int",
         [](const Frame &) { return 7LL; }, 0.0f, {}},
        {cmsht2_l, Kind::integer, "orbelix.cmsht2() 1st keyword (l) can't be converted to int",
         [](const Frame &f) { return extent_default(f.shape[0]); }, 0.0f,
         {{"(shape(r,0)==l) failed for 1st keyword l", "%s: cmsht2:l=%d", cmsht2_l,
           [](const Frame &f) { return f.shape[0] == f.i[cmsht2_l]; }}},
         "shape(r,0)=%lld does not fit the 32-bit argument l of orbelix.cmsht2"},
        {cmsht2_m, Kind::integer, "orbelix.cmsht2() 2nd keyword (m) can't be converted to int",
         [](const Frame &f) { return extent_default(f.shape[1]); }, 0.0f,
         {{"(shape(r,1)==m) failed for 2nd keyword m", "%s: cmsht2:m=%d", cmsht2_m,
           [](const Frame &f) { return f.shape[1] == f.i[cmsht2_m]; }}},
         "shape(r,1)=%lld does not fit the 32-bit argument m of orbelix.cmsht2"},
    },
    {{"(kernel_size<=x<l-kernel_size) failed for 2nd argument x", "%s: cmsht2:x=%d", cmsht2_x,
      [](const Frame &f) { return window_inside(f.i[cmsht2_x], f.i[cmsht2_l], f.i[cmsht2_ks]); }},
     {"(kernel_size<=y<m-kernel_size) failed for 3rd argument y", "%s: cmsht2:y=%d", cmsht2_y,
      [](const Frame &f) { return window_inside(f.i[cmsht2_y], f.i[cmsht2_m], f.i[cmsht2_ks]); }}},
    [](Frame &f, void *in, void *out) {
        orbelix::entries::cmsht2(&f.i[cmsht2_l], &f.i[cmsht2_m], floats(in), &f.i[cmsht2_x],
                                   &f.i[cmsht2_y], floats(out), &f.r[cmsht2_coarse],
                                   &f.r[cmsht2_fine], &f.i[cmsht2_ks]);
    },
};

}  // namespace

PyObject *f2py_rout_orbelix_fst(PyObject *, PyObject *args, PyObject *kwds, EntryRoutine) {
    return run_wrapper(fst_spec, args, kwds);
}
PyObject *f2py_rout_orbelix_ifst(PyObject *, PyObject *args, PyObject *kwds, EntryRoutine) {
    return run_wrapper(ifst_spec, args, kwds);
}
PyObject *f2py_rout_orbelix_dst2(PyObject *, PyObject *args, PyObject *kwds, EntryRoutine) {
    return run_wrapper(dst2_spec, args, kwds);
}
PyObject *f2py_rout_orbelix_idst2(PyObject *, PyObject *args, PyObject *kwds, EntryRoutine) {
    return run_wrapper(idst2_spec, args, kwds);
}
PyObject *f2py_rout_orbelix_imfreq(PyObject *, PyObject *args, PyObject *kwds,
                                   EntryRoutine) {
    return run_wrapper(imfreq_spec, args, kwds);
}
PyObject *f2py_rout_orbelix_cmsht2(PyObject *, PyObject *args, PyObject *kwds,
                                   EntryRoutine) {
    return run_wrapper(cmsht2_spec, args, kwds);
}
