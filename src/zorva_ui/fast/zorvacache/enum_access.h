// The parts of the enumeration protocol the cache uses, without running Python code where the
// standard enumeration machinery is in place.
//
// Reading `member.value` runs the Python getter of the standard enum descriptor, which only
// returns `member._value_`; on a type that resolves `value` to that descriptor and keeps the
// generic attribute lookup, reading `_value_` directly gives the same object. The same holds
// for `Cls.__members__` / `Cls[name]` on a class whose metaclass keeps the standard ones: both
// read `Cls._member_map_`. Anything else takes the generic (observable) route. What was found
// and remembered lives in `state.enums` (state.h).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

#include "fast/zorvacache/state.h"

namespace zorva::cache {

// Imports `enum` and records its standard descriptors. Returns 0, or -1 with an exception set.
int enum_access_init(PyObject* module);

PyObject* read_value_slow(PyObject* obj);

// `obj.value`: new reference, or null with an exception set.
inline PyObject* read_value(PyObject* obj) {
    if (state.enums.value_memo.holds(Py_TYPE(obj))) {
        return PyObject_GenericGetAttr(obj, state.enums.value_.get());
    }
    return read_value_slow(obj);
}

// The slot index `obj.value` names, converted to a signed 32-bit integer with the integer
// protocol. 0, or -1 with an exception set.
int read_key_slow(PyObject* value, int32_t* out);

inline int read_key(PyObject* obj, int32_t* out) {
    PyObject* value = read_value(obj);
    if (value == nullptr) return -1;
    if (PyLong_CheckExact(value) && PyUnstable_Long_IsCompact((PyLongObject*)value)) {
        // Compact ints hold at most 30 bits plus sign: always an int32.
        *out = static_cast<int32_t>(PyUnstable_Long_CompactValue((PyLongObject*)value));
        Py_DECREF(value);
        return 0;
    }
    const int rc = read_key_slow(value, out);
    Py_DECREF(value);
    return rc;
}

// `name in cls.__members__` and, if so, `cls[name]`. Returns 1 with a new reference in
// `*member`, 0 when `name` is no member name, -1 with an exception set.
int lookup_member(PyObject* enum_cls, PyObject* name, PyObject** member);

// `list(cls.__members__.values())`: new reference, or null with an exception set.
PyObject* all_members(PyObject* enum_cls);

// `cls._member_map_` when `lookup_member` reads it, that is, when the metaclass keeps the standard
// lookups and the map is an exact dict. Returns 1 with a new reference in `*map`, 0 when the class
// takes another route, -1 with an exception set.
int standard_member_map(PyObject* enum_cls, PyObject** map);

// Whether `member.value` for members of `type` is the member's own `_value_` attribute: the type
// keeps the standard `value` and the generic lookup and has no `_value_` of its own.
bool value_is_own_attribute(PyTypeObject* type);

}  // namespace zorva::cache
