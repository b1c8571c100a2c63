// Pickling of extension objects: layout checksums, the reduce value, the instance-dict tail of
// the state, and the module-level reconstructor.
//
// A pickle carries a checksum naming the field layout it was written with; a reconstructor
// accepts three spellings of it (see each module) and refuses anything else with
// pickle.PickleError, so that a pickle of another layout never fills the wrong fields.
//
// The state is a tuple of the fields, followed by the instance's `__dict__` when a Python
// subclass instance has a non-empty one. The reduce value names the reconstructor
//   (reconstructor, (class, checksum, None), state)   the unpickler then calls __setstate__
//   (reconstructor, (class, checksum, state))         the reconstructor restores it itself
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <cstdio>
#include <utility>

#include "fast/common/args.h"
#include "fast/common/pyref.h"

namespace zorva {

struct PickleLayout {
    int64_t accepted[3];  // the written value first
    const char* fields;   // "a, b, c": shown in the mismatch message
};

inline bool checksum_accepted(const PickleLayout& layout, int64_t checksum) {
    return checksum == layout.accepted[0] || checksum == layout.accepted[1] ||
           checksum == layout.accepted[2];
}

// Raises pickle.PickleError "Incompatible checksums (0x%x vs (0x%x, 0x%x, 0x%x) = (%s))". The
// given checksum is formatted by Python's own "%x", so a negative one reads as Python shows it.
// If `pickle` or its PickleError cannot be had, that failure is raised instead.
inline void raise_checksum_mismatch(const PickleLayout& layout, int64_t checksum) {
    // Interned once: a name made afresh per lookup costs the interpreter a cache entry each.
    static PyObject* error_name = nullptr;
    if (error_name == nullptr &&
        (error_name = PyUnicode_InternFromString("PickleError")) == nullptr) {
        return;
    }
    PyRef pickle = PyRef::steal(PyImport_ImportModule("pickle"));
    if (!pickle) return;
    PyRef error_type = PyRef::steal(PyObject_GetAttr(pickle.get(), error_name));
    if (!error_type) return;
    char format[512];
    std::snprintf(format, sizeof format,
                  "Incompatible checksums (0x%%x vs (0x%llx, 0x%llx, 0x%llx) = (%s))",
                  static_cast<unsigned long long>(layout.accepted[0]),
                  static_cast<unsigned long long>(layout.accepted[1]),
                  static_cast<unsigned long long>(layout.accepted[2]), layout.fields);
    PyRef format_obj = PyRef::steal(PyUnicode_FromString(format));
    if (!format_obj) return;
    PyRef value = PyRef::steal(PyLong_FromLongLong(checksum));
    if (!value) return;
    PyRef message = PyRef::steal(PyUnicode_Format(format_obj.get(), value.get()));
    if (!message) return;
    PyErr_SetObject(error_type.get(), message.get());
}

// The instance's `__dict__` for the state's tail: a new reference when the instance has one that
// is true (a non-empty dict), else an empty handle. -1 with an exception set on error.
inline int dict_tail(PyObject* self, PyObject* dict_name, PyRef* out) {
    PyObject* dict = nullptr;
    if (PyObject_GetOptionalAttr(self, dict_name, &dict) < 0) return -1;
    PyRef held = PyRef::steal(dict);
    if (!held || held.get() == Py_None) return 0;
    const int truth = PyObject_IsTrue(held.get());
    if (truth < 0) return -1;
    if (truth) *out = std::move(held);
    return 0;
}

// The reduce value: with `separate`, the state goes to __setstate__; else to the reconstructor.
inline PyObject* reduce_value(PyObject* reconstructor, PyObject* self, const PickleLayout& layout,
                              PyObject* state, bool separate) {
    PyObject* cls = reinterpret_cast<PyObject*>(Py_TYPE(self));
    const long long checksum = layout.accepted[0];
    if (separate) return Py_BuildValue("(O(OLO)O)", reconstructor, cls, checksum, Py_None, state);
    return Py_BuildValue("(O(OLO))", reconstructor, cls, checksum, state);
}

// How the restore step reaches the instance's dict: as the attribute `__dict__`, or through the
// generic instance-dict access (whose AttributeError is the interpreter's own).
enum class DictAccess { kAttribute, kGeneric };

// The tail of a state: `extra`, when true, updates the instance's dict (by the dict update
// itself for an exact dict, else by calling its `update`). 0, or -1 with an exception set.
inline int restore_dict_tail(PyObject* self, PyObject* extra, DictAccess access,
                             PyObject* dict_name, PyObject* update_name) {
    const int truth = PyObject_IsTrue(extra);
    if (truth <= 0) return truth;
    PyRef dict =
        PyRef::steal(access == DictAccess::kGeneric ? PyObject_GenericGetDict(self, nullptr)
                                                    : PyObject_GetAttr(self, dict_name));
    if (!dict) return -1;
    if (PyDict_CheckExact(dict.get()) && PyDict_Check(extra)) {
        return PyDict_Update(dict.get(), extra);
    }
    PyRef done = PyRef::steal(PyObject_CallMethodOneArg(dict.get(), update_name, extra));
    return done ? 0 : -1;
}

// The body of a reconstructor `__pyx_unpickle_<Class>(__pyx_type, __pyx_checksum, __pyx_state)`
// (its arguments bound by the callable's declaration): converts the checksum, checks the state
// is a tuple or None and the checksum one of the layout's, makes the object through
// `<cls>.__new__(__pyx_type)` (which refuses a class that is not `cls` or a subclass) and, for
// a state that is not None, runs `restore` on it. New reference, or null with an exception set.
inline PyObject* unpickle(const PickleLayout& layout, PyTypeObject* cls, PyObject* new_name,
                          PyObject* type, PyObject* checksum_obj, PyObject* state,
                          int (*restore)(PyObject* self, PyObject* state)) {
    int64_t checksum;
    if (to_int64(checksum_obj, &checksum) < 0) return nullptr;
    if (check_exact_arg(state, &PyTuple_Type, "__pyx_state") < 0) return nullptr;
    if (!checksum_accepted(layout, checksum)) {
        raise_checksum_mismatch(layout, checksum);
        return nullptr;
    }
    PyRef result;
    if (type == reinterpret_cast<PyObject*>(cls)) {
        // What cls.__new__(cls) does, without the lookup and the call.
        PyRef no_args = PyRef::steal(PyTuple_New(0));
        if (!no_args) return nullptr;
        result = PyRef::steal(cls->tp_new(cls, no_args.get(), nullptr));
    } else {
        result = PyRef::steal(
            PyObject_CallMethodOneArg(reinterpret_cast<PyObject*>(cls), new_name, type));
    }
    if (!result) return nullptr;
    if (state != Py_None && restore(result.get(), state) < 0) return nullptr;
    return result.release();
}

}  // namespace zorva
