// Module globals read at each use, as Python code of the module reads them, and kept between
// uses while the dictionary they came from is unchanged.
//
// A module's code looks some of its globals up at every call (so that rebinding one in the
// module takes effect at the next call), which costs a dictionary lookup or several each time.
// A dict watcher of the module sees every change to a watched dictionary before it happens and
// drops everything kept, so a kept value is always what a fresh lookup would give.
//
//     LateGlobal cache_type{"CacheType"};          // in the module's State
//     ... cache_type.bind(module)                  // an exec step
//     ... PyRef t = PyRef::steal(cache_type.get()); // at a call: new reference, or null
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

#include "fast/common/names.h"

namespace zorva {

// A name the module's dict lacks, as Python code reads it next: the builtins. New reference, or
// null with NameError "name '%U' is not defined" (or the lookup's own error).
inline PyObject* builtin_global(PyObject* name) {
    PyObject* builtins = PyEval_GetBuiltins();
    if (builtins != nullptr) {
        PyObject* value = nullptr;
        if (PyDict_GetItemRef(builtins, name, &value) != 0) return value;  // found, or an error
    }
    PyErr_Format(PyExc_NameError, "name '%U' is not defined", name);
    return nullptr;
}

namespace globals_detail {

// One watcher per module (each module is a library of its own, with its own copy of these):
// the interpreter has eight, so all of a module's watched dictionaries share it. `epoch` counts
// the changes to them; whatever was kept at an older epoch is stale.
inline int watcher = -1;
inline bool watcher_tried = false;
inline uint64_t epoch = 1;

inline int on_change(PyDict_WatchEvent, PyObject*, PyObject*, PyObject*) {
    ++epoch;
    return 0;
}

}  // namespace globals_detail

// Watches `dict` for the lookups kept from it: true, or false when no watcher can be had (then
// nothing may be kept). Never raises.
inline bool watch_dict(PyObject* dict) {
    using namespace globals_detail;
    if (!watcher_tried) {
        watcher_tried = true;
        watcher = PyDict_AddWatcher(on_change);
        if (watcher < 0) PyErr_Clear();  // all slots taken: every lookup is made afresh
    }
    if (watcher < 0) return false;
    if (PyDict_Watch(watcher, dict) == 0) return true;
    PyErr_Clear();
    return false;
}

// How many changes the watched dictionaries have seen: whatever a module kept itself from a
// watched dictionary (see `watch_dict`) is current while this count is the one it was kept at.
inline uint64_t watch_epoch() {
    return globals_detail::epoch;
}

// The value under `name` in `dict`, kept (borrowed: the dict holds it while it is unchanged)
// until any watched dictionary changes.
class KeptLookup {
  public:
    // Borrowed value, or null when missing (null with an exception set on error).
    PyObject* find(PyObject* dict, PyObject* name) {
        if (dict == dict_ && kept_ != nullptr && epoch_ == globals_detail::epoch) return kept_;
        PyObject* value = PyDict_GetItemWithError(dict, name);
        if (value != nullptr && watch_dict(dict)) {
            dict_ = dict;
            kept_ = value;
            epoch_ = globals_detail::epoch;
        }
        return value;
    }

    // The kept value (borrowed) while it is current for `dict`, else null. Never raises.
    PyObject* current(PyObject* dict) const {
        return dict == dict_ && epoch_ == globals_detail::epoch ? kept_ : nullptr;
    }

    void forget() { kept_ = nullptr; }

  private:
    PyObject* dict_ = nullptr;
    PyObject* kept_ = nullptr;
    uint64_t epoch_ = 0;
};

// A global of one module, read at each use.
class LateGlobal {
  public:
    constexpr explicit LateGlobal(const char* name) : name_(name) {}

    // At module initialisation: interns the name and watches the module's dict. 0, or -1.
    int bind(PyObject* module) {
        if (name_.make() < 0) return -1;
        dict_ = PyModule_GetDict(module);  // borrowed: the module lives as long as the process
        kept_.forget();
        return 0;
    }

    // The value under `name` in the module's own dict (borrowed, kept while the dict is
    // unchanged), or null: missing (no exception set) or an error (exception set).
    PyObject* find() { return kept_.find(dict_, name_.get()); }

    // What `name` means in the module now. New reference, or null with NameError.
    PyObject* get() {
        PyObject* value = find();
        if (value != nullptr) return Py_NewRef(value);
        if (PyErr_Occurred()) return nullptr;
        return builtin_global(name_.get());  // not in the module's dict
    }

    // What `name` means in the module now when that is already kept (borrowed: the module's
    // dict holds it while the value is current), else null. For a check on a hot path; never
    // raises.
    PyObject* peek() const { return kept_.current(dict_); }

    PyObject* name() const { return name_.get(); }

  private:
    InternedName name_;
    PyObject* dict_ = nullptr;
    KeptLookup kept_;
};

}  // namespace zorva
