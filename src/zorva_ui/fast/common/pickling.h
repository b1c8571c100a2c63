// Layout checksums of pickled extension objects.
//
// A pickle carries a checksum naming the field layout it was written with; a reconstructor
// accepts three spellings of it (see each module) and refuses anything else with
// pickle.PickleError, so that a pickle of another layout never fills the wrong fields.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <cstdio>

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

}  // namespace zorva
