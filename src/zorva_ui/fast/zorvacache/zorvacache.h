// Object layout and native operation table of `zorva_ui.fast.zorvacache.zorvacache.Cache`.
//
// Compiled callers include this header, import the module, and take the table from the type's
// `__pyx_vtable__` capsule (unnamed). The layout is a binary contract: the header, then the
// table pointer, then the slot list; the table's entries keep their positions.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#ifdef __cplusplus
extern "C" {
#endif

// Number of slots of a cache; a key is a slot index, 0 to ZORVA_CACHE_SLOTS - 1.
#define ZORVA_CACHE_SLOTS 32

struct ZorvaCache;

// Failure: the three operations returning nothing leave an exception set (test PyErr_Occurred
// after the call); the others return null with an exception set.
struct ZorvaCacheVTable {
    void (*c_clear)(struct ZorvaCache* self);
    void (*c_clear_selected)(struct ZorvaCache* self, PyObject* blacklist, PyObject* whitelist);
    PyObject* (*c_get)(struct ZorvaCache* self, int type_idx);
    void (*c_set)(struct ZorvaCache* self, int type_idx, PyObject* value);
    PyObject* (*c_get_or_set_val)(struct ZorvaCache* self, int type_idx, PyObject* value);
    PyObject* (*c_get_or_exec)(struct ZorvaCache* self, int type_idx, PyObject* func);
    struct ZorvaCache* (*new_cache)(void);  // static: a new ready Cache
};

struct ZorvaCache {
    PyObject_HEAD struct ZorvaCacheVTable* vtab;
    PyObject* cache_arr;  // list of slots, or None before __init__
};

// Imports the module and returns the `Cache` type (new reference) and its operation table, or
// null with an exception set. Refuses a type whose instance size differs from this layout.
static inline PyTypeObject* ZorvaCache_Import(struct ZorvaCacheVTable** table) {
    PyObject* module = PyImport_ImportModule("zorva_ui.fast.zorvacache.zorvacache");
    if (module == NULL) return NULL;
    PyObject* type = PyObject_GetAttrString(module, "Cache");
    Py_DECREF(module);
    if (type == NULL) return NULL;
    if (!PyType_Check(type) ||
        ((PyTypeObject*)type)->tp_basicsize != (Py_ssize_t)sizeof(struct ZorvaCache)) {
        PyErr_SetString(PyExc_ImportError, "zorvacache: Cache has an unexpected object layout");
        Py_DECREF(type);
        return NULL;
    }
    PyObject* capsule = PyObject_GetAttrString(type, "__pyx_vtable__");
    void* pointer = capsule ? PyCapsule_GetPointer(capsule, NULL) : NULL;
    Py_XDECREF(capsule);
    if (pointer == NULL) {
        Py_DECREF(type);
        return NULL;
    }
    *table = (struct ZorvaCacheVTable*)pointer;
    return (PyTypeObject*)type;
}

#ifdef __cplusplus
}
#endif
