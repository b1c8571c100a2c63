// Name lookups made on every draw, kept between calls while the dictionaries they came from are
// unchanged: the module global `GradientType`, and `md` and `md.rl` on the way to `md.rl.WHITE`
// and `md.rl.BlendMode`. A dict watcher drops what was kept at the first change to any of those
// dictionaries (before the change happens), so every call sees exactly what a fresh lookup
// would, without paying for the lookups when nothing changed.
#define ZORVA_SOURCE_FILE "fast/zvraygrad/lookups.cpp"

#include "fast/common/pyref.h"
#include "fast/zvraygrad/internal.h"

namespace zorva::grad {

namespace {

struct LookupCache {
    int watcher = -1;  // -1: no watcher could be had, every lookup is made afresh
    bool valid = false;
    // All borrowed: each is held by a watched dictionary, whose change clears `valid` first.
    PyObject* gradient_type = nullptr;  // null: not a plain module global, looked up each time
    PyObject* rl_dict = nullptr;        // null: md.rl is not a plain module attribute
};

LookupCache cache;

int on_dict_event(PyDict_WatchEvent, PyObject*, PyObject*, PyObject*) {
    cache.valid = false;
    return 0;
}

// The value stored under `name` in `dict`, borrowed, or null (missing, or with an error set).
PyObject* dict_value(PyObject* dict, PyObject* name) {
    return PyDict_GetItemWithError(dict, name);
}

// Fills the cache from the current dictionaries. Returns -1 with an exception set on error.
int refresh() {
    cache.valid = false;
    cache.gradient_type = nullptr;
    cache.rl_dict = nullptr;
    PyObject* globals = PyModule_GetDict(state.module);
    if (PyDict_Watch(cache.watcher, globals) < 0) return -1;
    cache.gradient_type = dict_value(globals, state.constants.str_gradient_type.get());
    if (cache.gradient_type == nullptr && PyErr_Occurred()) return -1;
    // `md.rl` is the value in md's dictionary when md is a plain module holding it: module
    // objects have no attribute of those names of their own.
    PyObject* md = dict_value(globals, state.constants.str_md.get());
    if (md == nullptr && PyErr_Occurred()) return -1;
    if (md != nullptr && PyModule_CheckExact(md)) {
        PyObject* md_dict = PyModule_GetDict(md);
        if (PyDict_Watch(cache.watcher, md_dict) < 0) return -1;
        PyObject* layer = dict_value(md_dict, state.constants.str_rl.get());
        if (layer == nullptr && PyErr_Occurred()) return -1;
        if (layer != nullptr && PyModule_CheckExact(layer)) cache.rl_dict = PyModule_GetDict(layer);
    }
    cache.valid = true;
    return 0;
}

bool usable() {
    if (cache.watcher < 0) return false;
    if (cache.valid) return true;
    if (refresh() == 0) return true;
    PyErr_Clear();  // the plain lookup that follows reports whatever is wrong
    return false;
}

}  // namespace

int lookup_cache_init() {
    cache.valid = false;
    if (cache.watcher < 0) {
        cache.watcher = PyDict_AddWatcher(on_dict_event);
        // All watcher slots taken: work without the cache.
        if (cache.watcher < 0) PyErr_Clear();
    }
    return 0;
}

PyObject* gradient_type_global() {
    if (usable() && cache.gradient_type != nullptr) return Py_NewRef(cache.gradient_type);
    return module_global(state.constants.str_gradient_type.get());
}

PyObject* layer_attr(PyObject* name) {
    if (usable() && cache.rl_dict != nullptr) {
        // A plain module attribute: its dictionary's value; anything else (a module-level
        // __getattr__, a missing name) through the ordinary lookup below.
        PyObject* value = dict_value(cache.rl_dict, name);
        if (value != nullptr) return Py_NewRef(value);
        if (PyErr_Occurred()) return nullptr;
    }
    PyRef md = PyRef::steal(module_global(state.constants.str_md.get()));
    if (!md) return nullptr;
    PyRef layer = PyRef::steal(PyObject_GetAttr(md.get(), state.constants.str_rl.get()));
    if (!layer) return nullptr;
    return PyObject_GetAttr(layer.get(), name);
}

}  // namespace zorva::grad
