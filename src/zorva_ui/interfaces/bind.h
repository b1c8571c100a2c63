// Binding sibling extension types and native functions at import.
//
// Failures, each with a message naming what was looked for:
//   the module cannot be imported      -> its ImportError
//   the attribute is missing           -> AttributeError
//   the attribute is not a type        -> TypeError "<module>.<name> is not a type object"
//   the type is smaller than expected  -> ValueError (binary incompatibility)
//   no `__pyx_vtable__` capsule        -> AttributeError; not a valid capsule -> ValueError
//   no `__pyx_capi__`, or no function  -> ImportError
//                                         "<module> does not export expected C function <name>"
//   a capsule of another signature     -> TypeError "C function <module>.<name> has wrong
//                                         signature (expected <sig>, got <sig>)"
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <cstring>

#include "fast/common/pyref.h"
#include "interfaces/raylib_api.h"

namespace zorva::bind {

// Imports `module_name`, takes its attribute `type_name`, checks that it is a type of at least
// `basicsize` bytes, and reads its operation table. The type is returned as a new reference.
inline PyTypeObject* import_type(const char* module_name, const char* type_name,
                                 Py_ssize_t basicsize, void** vtable_out) {
    PyRef module = PyRef::steal(PyImport_ImportModule(module_name));
    if (!module) return nullptr;
    PyRef attr = PyRef::steal(PyObject_GetAttrString(module.get(), type_name));
    if (!attr) return nullptr;
    if (!PyType_Check(attr.get())) {
        PyErr_Format(PyExc_TypeError, "%.200s.%.200s is not a type object", module_name, type_name);
        return nullptr;
    }
    auto* type = reinterpret_cast<PyTypeObject*>(attr.get());
    if (type->tp_basicsize < basicsize) {
        PyErr_Format(PyExc_ValueError,
                     "%.200s.%.200s size changed, may indicate binary incompatibility. "
                     "Expected %zd from C header, got %zd from PyObject",
                     module_name, type_name, basicsize, type->tp_basicsize);
        return nullptr;
    }
    PyRef capsule = PyRef::steal(PyObject_GetAttrString(attr.get(), "__pyx_vtable__"));
    if (!capsule) return nullptr;
    void* vtable = PyCapsule_GetPointer(capsule.get(), nullptr);
    if (vtable == nullptr) {
        if (!PyErr_Occurred()) {
            PyErr_Format(PyExc_RuntimeError, "invalid vtable found for imported type %.200s.%.200s",
                         module_name, type_name);
        }
        return nullptr;
    }
    *vtable_out = vtable;
    return reinterpret_cast<PyTypeObject*>(attr.release());
}

// Whether `obj` is an instance of `type` (of a subclass too); false for a null object or type.
inline bool is_instance(const void* obj, PyTypeObject* type) {
    return obj != nullptr && type != nullptr &&
           PyObject_TypeCheck(reinterpret_cast<PyObject*>(const_cast<void*>(obj)), type);
}

// A sibling type as a module uses it: the type, kept for the process, and its operation table.
// `Object` is the sibling's object layout from interfaces/, which names its module and type.
template <typename Object>
struct BoundType {
    PyTypeObject* type = nullptr;  // strong
    typename Object::VTable* vtable = nullptr;

    // Imports the sibling and takes the type, replacing what an earlier import bound. 0, or -1
    // with an exception set (see the failures above).
    int bind() {
        void* table = nullptr;
        PyTypeObject* found = import_type(Object::kModule, Object::kName, sizeof(Object), &table);
        if (found == nullptr) return -1;
        PyTypeObject* old = type;
        type = found;
        vtable = static_cast<typename Object::VTable*>(table);
        Py_XDECREF(reinterpret_cast<PyObject*>(old));
        return 0;
    }

    // Whether `obj` is an instance (of a subclass too). False before binding.
    bool instance(const void* obj) const { return is_instance(obj, type); }
};

// Takes the function `name` with signature text `signature` from the module's `__pyx_capi__`.
inline int import_function(PyObject* module, const char* module_name, const char* name,
                           const char* signature, void** fn_out) {
    PyObject* capi_obj = nullptr;
    if (PyObject_GetOptionalAttrString(module, "__pyx_capi__", &capi_obj) < 0) return -1;
    PyRef capi = PyRef::steal(capi_obj);
    PyRef capsule;
    if (capi && PyDict_Check(capi.get())) {
        PyObject* found = nullptr;
        if (PyDict_GetItemStringRef(capi.get(), name, &found) < 0) return -1;
        capsule = PyRef::steal(found);
    }
    if (!capsule) {
        PyErr_Format(PyExc_ImportError, "%.200s does not export expected C function %.200s",
                     module_name, name);
        return -1;
    }
    const char* actual =
        PyCapsule_CheckExact(capsule.get()) ? PyCapsule_GetName(capsule.get()) : nullptr;
    if (actual == nullptr || std::strcmp(actual, signature) != 0) {
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError,
                     "C function %.200s.%.200s has wrong signature (expected %.500s, got %.500s)",
                     module_name, name, signature, actual ? actual : "(no signature)");
        return -1;
    }
    *fn_out = PyCapsule_GetPointer(capsule.get(), actual);
    return *fn_out ? 0 : -1;
}

// Binds all fourteen drawing entry points, in order, from `module_name` (the layer's module
// unless a test names a stand-in).
inline int import_raylib_api(rl::Api* api, const char* module_name = rl::kModuleName) {
    PyRef module = PyRef::steal(PyImport_ImportModule(module_name));
    if (!module) return -1;
    for (const rl::ApiEntry& entry : rl::kApiEntries) {
        void* fn = nullptr;
        if (import_function(module.get(), module_name, entry.name, entry.signature, &fn) < 0) {
            return -1;
        }
        std::memcpy(reinterpret_cast<char*>(api) + entry.offset, &fn, sizeof fn);
    }
    return 0;
}

}  // namespace zorva::bind
