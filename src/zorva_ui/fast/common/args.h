// Argument parsing and value conversion with the exact messages the package's users see.
//
// Methods use the METH_FASTCALL | METH_KEYWORDS convention; `parse_args` binds positional and
// keyword arguments to parameter slots in one pass, without building tuples or dicts, which
// keeps the cache's hot path free of allocations.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace zorva {

// Parameter list of one function (at most 16 parameters): names in order, how many are required.
struct Signature {
    const char* name;           // function name as shown in messages ("get")
    const char* const* params;  // parameter names
    Py_ssize_t count;           // number of parameters
    Py_ssize_t required;        // the first `required` have no default
    const Py_ssize_t* lengths;  // of the names, so keywords match without strlen
};

namespace detail {

inline void raise_arg_count(const Signature& sig, Py_ssize_t given) {
    const bool exact = sig.required == sig.count;
    const char* more_or_less;
    Py_ssize_t expected;
    if (given < sig.required) {
        expected = sig.required;
        more_or_less = exact ? "exactly" : "at least";
    } else {
        expected = sig.count;
        more_or_less = exact ? "exactly" : "at most";
    }
    PyErr_Format(PyExc_TypeError, "%.200s() takes %.8s %zd positional argument%.1s (%zd given)",
                 sig.name, more_or_less, expected, expected == 1 ? "" : "s", given);
}

// Index of a keyword among the parameters, or -1. Interned names match by identity first.
inline Py_ssize_t keyword_index(const Signature& sig, PyObject* key) {
    Py_ssize_t len;
    const char* utf8 = PyUnicode_AsUTF8AndSize(key, &len);
    if (utf8 == nullptr) {
        PyErr_Clear();
        return -1;
    }
    for (Py_ssize_t i = 0; i < sig.count; ++i) {
        if (sig.lengths[i] == len &&
            std::memcmp(sig.params[i], utf8, static_cast<size_t>(len)) == 0) {
            return i;
        }
    }
    return -1;
}

enum class KeywordError { kNotString, kUnexpected, kRepeated };

// The TypeError of a keyword argument that cannot be bound. Returns -1. Out of line: both
// binders' loops stay small.
[[gnu::cold, gnu::noinline]] inline int raise_keyword_error(const Signature& sig, PyObject* key,
                                                            KeywordError error) {
    switch (error) {
        case KeywordError::kNotString:
            PyErr_Format(PyExc_TypeError, "%.200s() keywords must be strings", sig.name);
            break;
        case KeywordError::kUnexpected:
            PyErr_Format(PyExc_TypeError, "%.200s() got an unexpected keyword argument '%U'",
                         sig.name, key);
            break;
        case KeywordError::kRepeated:
            PyErr_Format(PyExc_TypeError, "%s() got multiple values for keyword argument '%U'",
                         sig.name, key);
            break;
    }
    return -1;
}

// Binds one keyword argument to its slot; `filled` marks the slots given so far.
inline int bind_keyword(const Signature& sig, PyObject* key, PyObject* value, Py_ssize_t nargs,
                        bool filled[16], PyObject** out) {
    if (!PyUnicode_Check(key)) return raise_keyword_error(sig, key, KeywordError::kNotString);
    Py_ssize_t idx = keyword_index(sig, key);
    if (idx < 0) return raise_keyword_error(sig, key, KeywordError::kUnexpected);
    if (idx < nargs || (idx < 16 && filled[idx])) {
        return raise_keyword_error(sig, key, KeywordError::kRepeated);
    }
    out[idx] = value;
    if (idx < 16) filled[idx] = true;
    return 0;
}

// Positional arguments into their slots: the count is checked against the parameter list.
inline int bind_positional(const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                           bool has_keywords, PyObject** out) {
    if (nargs > sig.count || (!has_keywords && nargs < sig.required)) {
        raise_arg_count(sig, nargs);
        return -1;
    }
    for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = args[i];
    return 0;
}

// Which slots the positional arguments filled, before the keywords are bound.
inline void mark_positional(Py_ssize_t nargs, bool filled[16]) {
    for (Py_ssize_t i = 0; i < nargs && i < 16; ++i) filled[i] = true;
}

// After the keywords: every required parameter must have been given.
inline int check_required(const Signature& sig, Py_ssize_t nargs, const bool filled[16]) {
    for (size_t i = static_cast<size_t>(nargs); i < static_cast<size_t>(sig.required); ++i) {
        if (i >= 16 || !filled[i]) {
            raise_arg_count(sig, nargs);
            return -1;
        }
    }
    return 0;
}

}  // namespace detail

// Binds fastcall arguments to `out[0 .. sig.count)` as borrowed references. Slots of optional
// parameters that were not given are left as the caller initialised them (their defaults).
// Returns 0, or -1 with TypeError set. The keyword loop is written out here rather than through
// the helpers above: it is the cache's hot path, and the compiler does measurably better on it.
inline int parse_args(const Signature& sig, PyObject* const* args, Py_ssize_t nargsf,
                      PyObject* kwnames, PyObject** out) {
    const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    if (nargs > sig.count) {
        detail::raise_arg_count(sig, nargs);
        return -1;
    }
    for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = args[i];
    Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    if (nkw == 0) {
        if (nargs < sig.required) {
            detail::raise_arg_count(sig, nargs);
            return -1;
        }
        return 0;
    }
    // Which parameters the keywords filled, so that missing required ones are reported.
    bool filled[16] = {};
    for (Py_ssize_t i = 0; i < nargs && i < 16; ++i) filled[i] = true;
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        PyObject* key = PyTuple_GET_ITEM(kwnames, k);
        using detail::KeywordError;
        if (!PyUnicode_Check(key)) {
            return detail::raise_keyword_error(sig, key, KeywordError::kNotString);
        }
        Py_ssize_t idx = detail::keyword_index(sig, key);
        if (idx < 0) return detail::raise_keyword_error(sig, key, KeywordError::kUnexpected);
        if (idx < nargs || (idx < 16 && filled[idx])) {
            return detail::raise_keyword_error(sig, key, KeywordError::kRepeated);
        }
        out[idx] = args[nargs + k];
        if (idx < 16) filled[idx] = true;
    }
    for (Py_ssize_t i = nargs; i < sig.required; ++i) {
        if (!filled[i]) {
            detail::raise_arg_count(sig, nargs);
            return -1;
        }
    }
    return 0;
}

// The same binding for the tuple-and-dict form of a type's __new__ and __init__ slots, with the
// same messages, and without building the fastcall form first.
inline int parse_tuple_args(const Signature& sig, PyObject* args, PyObject* kwargs,
                            PyObject** out) {
    const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
    const bool has_keywords = kwargs != nullptr && PyDict_GET_SIZE(kwargs) != 0;
    if (detail::bind_positional(sig, reinterpret_cast<PyTupleObject*>(args)->ob_item, nargs,
                                has_keywords, out) < 0) {
        return -1;
    }
    if (!has_keywords) return 0;
    bool filled[16] = {};
    detail::mark_positional(nargs, filled);
    Py_ssize_t pos = 0;
    PyObject* key;
    PyObject* value;
    while (PyDict_Next(kwargs, &pos, &key, &value)) {
        if (detail::bind_keyword(sig, key, value, nargs, filled, out) < 0) return -1;
    }
    return detail::check_required(sig, nargs, filled);
}

namespace detail {

// Refuses the arguments given to a callable that takes none. 0, or -1 with TypeError.
inline int refuse_args(const char* name, Py_ssize_t nargs, bool has_keywords) {
    if (nargs != 0) {
        PyErr_Format(PyExc_TypeError, "%.200s() takes exactly 0 positional arguments (%zd given)",
                     name, nargs);
        return -1;
    }
    if (has_keywords) {
        PyErr_Format(PyExc_TypeError, "%s() takes no keyword arguments", name);
        return -1;
    }
    return 0;
}

}  // namespace detail

// Refuses extra arguments of a method that takes none (METH_FASTCALL | METH_KEYWORDS form).
inline int parse_no_args(const char* name, Py_ssize_t nargsf, PyObject* kwnames) {
    return detail::refuse_args(name, PyVectorcall_NARGS(nargsf),
                               kwnames != nullptr && PyTuple_GET_SIZE(kwnames) != 0);
}

// The same for the tuple-and-dict form of a type's __new__ or __init__ slot.
inline int parse_no_tuple_args(const char* name, PyObject* args, PyObject* kwargs) {
    return detail::refuse_args(name, PyTuple_GET_SIZE(args),
                               kwargs != nullptr && PyDict_GET_SIZE(kwargs) != 0);
}

// ---- Type checks on arguments -------------------------------------------------------------

// A parameter declared as exactly `type` (or None): subclasses are refused.
inline int check_exact_arg(PyObject* obj, PyTypeObject* type, const char* param,
                           bool none_allowed = true) {
    if (Py_IS_TYPE(obj, type) || (none_allowed && obj == Py_None)) return 0;
    PyErr_Format(PyExc_TypeError,
                 "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)", param,
                 type->tp_name, Py_TYPE(obj)->tp_name);
    return -1;
}

inline int check_not_none(PyObject* obj, const char* param) {
    if (obj != Py_None) return 0;
    PyErr_Format(PyExc_TypeError, "Argument '%.200s' must not be None", param);
    return -1;
}

// TypeError "Expected <what>, got <type of obj>" ("NULL" where a native caller passed no
// object). Returns -1.
inline int raise_expected(const char* what, const void* obj) {
    PyErr_Format(
        PyExc_TypeError, "Expected %s, got %.200s", what,
        obj ? Py_TYPE(reinterpret_cast<PyObject*>(const_cast<void*>(obj)))->tp_name : "NULL");
    return -1;
}

// A value handed to a typed native field: "Expected list, got tuple".
inline int check_exact_value(PyObject* obj, PyTypeObject* type, bool none_allowed = true) {
    if (Py_IS_TYPE(obj, type) || (none_allowed && obj == Py_None)) return 0;
    raise_expected(type->tp_name, obj);
    return -1;
}

// ---- Number conversions ---------------------------------------------------------------------

// The integer protocol of int(): an int is taken as is, anything else through its __int__ (so
// a float truncates), else its __index__. New reference to an exact or subclass int, or null.
inline PyObject* as_int_object(PyObject* obj) {
    if (PyLong_Check(obj)) return Py_NewRef(obj);
    PyNumberMethods* nb = Py_TYPE(obj)->tp_as_number;
    if (nb != nullptr && nb->nb_int == nullptr && nb->nb_index != nullptr) {
        return PyNumber_Index(obj);
    }
    if (nb == nullptr || nb->nb_int == nullptr) {
        PyErr_SetString(PyExc_TypeError, "an integer is required");
        return nullptr;
    }
    PyObject* result = nb->nb_int(obj);
    if (result != nullptr && !PyLong_Check(result)) {
        PyErr_Format(PyExc_TypeError, "__int__ returned non-int (type %.200s)",
                     Py_TYPE(result)->tp_name);
        Py_DECREF(result);
        return nullptr;
    }
    return result;
}

namespace detail {

// An int (exact or subclass, so no Python code runs) to a signed 32-bit integer. Past 64 bits
// the interpreter's own OverflowError unless `whole_range`, which reports every value outside
// 32 bits alike.
inline int int32_from_int(PyObject* obj, bool whole_range, int32_t* out) {
    long value;
    if (whole_range) {
        int overflow = 0;
        value = PyLong_AsLongAndOverflow(obj, &overflow);
        if (overflow != 0) value = overflow > 0 ? LONG_MAX : LONG_MIN;
    } else {
        value = PyLong_AsLong(obj);
    }
    if (value == -1 && PyErr_Occurred()) return -1;
    if (value < INT32_MIN || value > INT32_MAX) {
        PyErr_SetString(PyExc_OverflowError, "value too large to convert to int");
        return -1;
    }
    *out = static_cast<int32_t>(value);
    return 0;
}

inline int to_int32(PyObject* obj, bool whole_range, int32_t* out) {
    if (PyLong_CheckExact(obj)) return int32_from_int(obj, whole_range, out);
    PyObject* as_int = as_int_object(obj);
    if (as_int == nullptr) return -1;
    const int rc = int32_from_int(as_int, whole_range, out);
    Py_DECREF(as_int);
    return rc;
}

}  // namespace detail

// To a signed 32-bit integer. Returns 0, or -1 with an exception set: TypeError
// "an integer is required", OverflowError "value too large to convert to int" (past 64 bits
// the interpreter's own OverflowError).
inline int to_int32(PyObject* obj, int32_t* out) {
    return detail::to_int32(obj, false, out);
}

// As to_int32, but any int outside 32 bits, however large, raises OverflowError "value too
// large to convert to int".
inline int to_int32_any_size(PyObject* obj, int32_t* out) {
    return detail::to_int32(obj, true, out);
}

// To a signed 64-bit integer, with the interpreter's own OverflowError past 64 bits.
inline int to_int64(PyObject* obj, int64_t* out) {
    long long value;
    if (PyLong_CheckExact(obj)) {
        value = PyLong_AsLongLong(obj);
    } else {
        PyObject* as_int = as_int_object(obj);
        if (as_int == nullptr) return -1;
        value = PyLong_AsLongLong(as_int);
        Py_DECREF(as_int);
    }
    if (value == -1 && PyErr_Occurred()) return -1;
    *out = static_cast<int64_t>(value);
    return 0;
}

// The float protocol (__float__, then __index__), as a double.
inline int to_double(PyObject* obj, double* out) {
    // An exact int converts as its __float__ would, without making the float object first.
    double value = PyFloat_CheckExact(obj)  ? PyFloat_AS_DOUBLE(obj)
                   : PyLong_CheckExact(obj) ? PyLong_AsDouble(obj)
                                            : PyFloat_AsDouble(obj);
    if (value == -1.0 && PyErr_Occurred()) return -1;
    *out = value;
    return 0;
}

// A double narrowed to a 32-bit float as IEEE rounding does it: values beyond the float range
// become infinities (a plain conversion of such a value is undefined behaviour in C++).
inline float narrow_to_float(double value) {
    if (value > static_cast<double>(FLT_MAX)) {
        // Above FLT_MAX but below the rounding boundary still rounds down to FLT_MAX.
        return value < 0x1.ffffffp127 ? FLT_MAX : HUGE_VALF;
    }
    if (value < -static_cast<double>(FLT_MAX)) {
        return value > -0x1.ffffffp127 ? -FLT_MAX : -HUGE_VALF;
    }
    return static_cast<float>(value);  // in range, infinite or NaN: well defined
}

// The float protocol, narrowed to a 32-bit float.
inline int to_float(PyObject* obj, float* out) {
    double value;
    if (to_double(obj, &value) < 0) return -1;
    *out = narrow_to_float(value);
    return 0;
}

}  // namespace zorva
