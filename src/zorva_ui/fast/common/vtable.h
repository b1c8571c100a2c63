// Publication of native operation tables.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "fast/common/pyref.h"

namespace zorva {

// Publishes a native operation table on a type as the unnamed capsule `__pyx_vtable__`, where
// compiled callers look for it when they are imported.
inline int publish_vtable(PyTypeObject* type, void* table) {
    PyRef capsule = PyRef::steal(PyCapsule_New(table, nullptr, nullptr));
    if (!capsule) return -1;
    if (PyDict_SetItemString(type->tp_dict, "__pyx_vtable__", capsule.get()) < 0) return -1;
    PyType_Modified(type);
    return 0;
}

}  // namespace zorva
