// Binding sibling extension types and native functions at import.
//
// Failures, each with a message naming what was looked for:
//   the module cannot be imported      -> its ImportError
//   the attribute is not a type        -> TypeError "<module>.<name> is not a type object"
//   the type is smaller than expected  -> ValueError (binary incompatibility)
//   no `__pyx_vtable__` capsule        -> AttributeError / TypeError from the capsule lookup
//   no `__pyx_capi__`, or no function  -> ImportError "<module> does not export expected C function
//   <name>" another signature                  -> TypeError "C function <module>.<name> has wrong
//   signature
//                                         (expected <sig>, got <sig>)"
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <cstring>

#include "interfaces/raylib_api.h"

namespace zorva::bind {

// Imports `module_name`, takes its attribute `type_name`, checks that it is a type of at least
// `basicsize` bytes, and reads its operation table. The type is returned as a new reference.
inline PyTypeObject* import_type(const char* module_name, const char* type_name,
                                 Py_ssize_t basicsize, void** vtable_out) {
    PyObject* module = PyImport_ImportModule(module_name);
    if (module == nullptr) return nullptr;
    PyObject* attr = PyObject_GetAttrString(module, type_name);
    Py_DECREF(module);
    if (attr == nullptr) return nullptr;
    if (!PyType_Check(attr)) {
        PyErr_Format(PyExc_TypeError, "%.200s.%.200s is not a type object", module_name, type_name);
        Py_DECREF(attr);
        return nullptr;
    }
    PyTypeObject* type = reinterpret_cast<PyTypeObject*>(attr);
    if (type->tp_basicsize < basicsize) {
        PyErr_Format(PyExc_ValueError,
                     "%.200s.%.200s size changed, may indicate binary incompatibility. "
                     "Expected %zd from C header, got %zd from PyObject",
                     module_name, type_name, basicsize, type->tp_basicsize);
        Py_DECREF(attr);
        return nullptr;
    }
    PyObject* capsule = PyObject_GetAttrString(attr, "__pyx_vtable__");
    if (capsule == nullptr) {
        Py_DECREF(attr);
        return nullptr;
    }
    void* vtable = PyCapsule_GetPointer(capsule, nullptr);
    Py_DECREF(capsule);
    if (vtable == nullptr) {
        if (!PyErr_Occurred()) {
            PyErr_Format(PyExc_RuntimeError, "invalid vtable found for imported type %.200s.%.200s",
                         module_name, type_name);
        }
        Py_DECREF(attr);
        return nullptr;
    }
    *vtable_out = vtable;
    return type;
}

// Takes the function `name` with signature text `signature` from the module's `__pyx_capi__`.
inline int import_function(PyObject* module, const char* module_name, const char* name,
                           const char* signature, void** fn_out) {
    PyObject* capi = PyObject_GetAttrString(module, "__pyx_capi__");
    if (capi == nullptr) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
        PyErr_Clear();
    }
    PyObject* capsule = nullptr;
    if (capi != nullptr) {
        capsule = PyDict_Check(capi) ? PyDict_GetItemString(capi, name) : nullptr;  // borrowed
        Py_XINCREF(capsule);
        Py_DECREF(capi);
    }
    if (capsule == nullptr) {
        PyErr_Format(PyExc_ImportError, "%.200s does not export expected C function %.200s",
                     module_name, name);
        return -1;
    }
    const char* actual = PyCapsule_IsValid(capsule, PyCapsule_GetName(capsule))
                             ? PyCapsule_GetName(capsule)
                             : nullptr;
    if (actual == nullptr || std::strcmp(actual, signature) != 0) {
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError,
                     "C function %.200s.%.200s has wrong signature (expected %.500s, got %.500s)",
                     module_name, name, signature, actual ? actual : "(none)");
        Py_DECREF(capsule);
        return -1;
    }
    *fn_out = PyCapsule_GetPointer(capsule, actual);
    Py_DECREF(capsule);
    return *fn_out ? 0 : -1;
}

// Binds all fourteen drawing entry points, in order.
inline int import_raylib_api(rl::Api* api) {
    PyObject* module = PyImport_ImportModule(rl::kModuleName);
    if (module == nullptr) return -1;
    int rc = 0;
    for (const rl::ApiEntry& entry : rl::kApiEntries) {
        void* fn = nullptr;
        if (import_function(module, rl::kModuleName, entry.name, entry.signature, &fn) < 0) {
            rc = -1;
            break;
        }
        std::memcpy(reinterpret_cast<char*>(api) + entry.offset, &fn, sizeof fn);
    }
    Py_DECREF(module);
    return rc;
}

}  // namespace zorva::bind
