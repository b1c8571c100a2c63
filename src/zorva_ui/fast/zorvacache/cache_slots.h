// The slot steps of a cache, shared by the native operations and the Python methods.
//
// Every step re-reads `cache_arr` and checks the key against the list's current length before
// touching it: the list is handed out by pickling and may be resized or replaced by the caller,
// and releasing an old value may run code that does so too.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

#include "fast/common/pyref.h"
#include "fast/zorvacache/zorvacache.h"

namespace zorva::cache {

inline constexpr int kSlots = ZORVA_CACHE_SLOTS;

void raise_not_ready();
void raise_key_out_of_range(int32_t idx);

// The slot `idx` of the current list (a reference to the list's item pointer), or null with
// TypeError (not ready) or IndexError (no such slot) set.
inline PyObject** slot_ref(ZorvaCache* self, int32_t idx) {
    PyObject* list = self->cache_arr;
    if (!PyList_CheckExact(list)) {  // None before __init__ and after the collector's clear
        raise_not_ready();
        return nullptr;
    }
    if (idx < 0 || idx >= PyList_GET_SIZE(list)) {
        raise_key_out_of_range(idx);
        return nullptr;
    }
    return &reinterpret_cast<PyListObject*>(list)->ob_item[idx];
}

// A new reference to a slot's object. Py_INCREF stores only the low half of the reference
// count, and a caller that releases the object soon after reads the whole count back, which
// the processor cannot forward from the narrower store: a tight `cache.get` loop pays for the
// stall (fast/common/README.md has the figure). Updating the full count avoids it;
// Py_SET_REFCNT leaves immortal objects alone as Py_INCREF does. Builds that count or share
// references take the usual path, and so does a build with ZORVA_CACHE_PLAIN_NEWREF
// (benchmarks/bench_refcount.py compares the two).
inline PyObject* slot_new_ref(PyObject* obj) {
#if defined(Py_REF_DEBUG) || defined(Py_GIL_DISABLED) || defined(Py_LIMITED_API) || \
    defined(ZORVA_CACHE_PLAIN_NEWREF)
    return Py_NewRef(obj);
#else
    Py_SET_REFCNT(obj, Py_REFCNT(obj) + 1);
    return obj;
#endif
}

// The slot's object: new reference, or null with an exception set.
inline PyObject* slot_get(ZorvaCache* self, int32_t idx) {
    PyObject** slot = slot_ref(self, idx);
    return slot ? slot_new_ref(*slot) : nullptr;
}

// Stores `value` (borrowed) and releases the previous object after the store.
inline int slot_set(ZorvaCache* self, int32_t idx, PyObject* value) {
    PyObject** slot = slot_ref(self, idx);
    if (slot == nullptr) return -1;
    set_field(*slot, Py_NewRef(value));
    return 0;
}

inline PyObject* slot_get_or_set(ZorvaCache* self, int32_t idx, PyObject* value) {
    PyObject** slot = slot_ref(self, idx);
    if (slot == nullptr) return nullptr;
    if (*slot != Py_None) return slot_new_ref(*slot);
    set_field(*slot, Py_NewRef(value));  // releases None: runs no code
    return Py_NewRef(value);
}

PyObject* slot_get_or_exec(ZorvaCache* self, int32_t idx, PyObject* func);
int slots_clear(ZorvaCache* self);
int slots_clear_selected(ZorvaCache* self, PyObject* blacklist, PyObject* whitelist);

// A new list of 32 None entries.
PyObject* new_slot_list();

}  // namespace zorva::cache
