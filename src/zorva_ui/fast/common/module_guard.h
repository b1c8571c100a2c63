// One module object per process, in one interpreter.
//
// The modules keep their state (static types, operation tables, shared rendering resources) in
// process-wide native variables, so a second interpreter, or a second module object in the
// same interpreter, would share or clobber that state. The guard refuses both, using the
// multi-phase initialisation hooks: `create` runs before a module object exists, `exec` on it.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

namespace zorva {

struct ModuleGuard {
    const char* short_name;  // "zorvacache": used in the re-initialisation message
    const char* full_name;   // "zorva_ui.fast.zorvacache.zorvacache"
    int64_t interpreter_id = -1;
    PyObject* module = nullptr;  // strong, never released: the module lives as long as the process
    bool executed = false;
};

namespace detail {

// Copies one attribute of the import spec onto the new module, as the import system would.
inline int copy_spec_attr(PyObject* spec, PyObject* moddict, const char* from, const char* to,
                          bool allow_none) {
    PyObject* value = PyObject_GetAttrString(spec, from);
    if (value == nullptr) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
        PyErr_Clear();
        return 0;
    }
    int rc = 0;
    if (allow_none || value != Py_None) rc = PyDict_SetItemString(moddict, to, value);
    Py_DECREF(value);
    return rc;
}

}  // namespace detail

// The create hook (Py_mod_create). Returns the existing module on repeated creation.
inline PyObject* guarded_create(ModuleGuard& guard, PyObject* spec) {
    int64_t current = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (current == -1 && PyErr_Occurred()) return nullptr;
    if (guard.interpreter_id == -1) {
        guard.interpreter_id = current;
    } else if (guard.interpreter_id != current) {
        PyErr_SetString(PyExc_ImportError,
                        "Interpreter change detected - this module can only be loaded into one "
                        "interpreter per process.");
        return nullptr;
    }
    if (guard.module != nullptr) return Py_NewRef(guard.module);

    PyObject* name = PyObject_GetAttrString(spec, "name");
    if (name == nullptr) return nullptr;
    PyObject* module = PyModule_NewObject(name);
    Py_DECREF(name);
    if (module == nullptr) return nullptr;
    PyObject* moddict = PyModule_GetDict(module);  // borrowed
    if (detail::copy_spec_attr(spec, moddict, "loader", "__loader__", true) < 0 ||
        detail::copy_spec_attr(spec, moddict, "origin", "__file__", true) < 0 ||
        detail::copy_spec_attr(spec, moddict, "parent", "__package__", true) < 0 ||
        detail::copy_spec_attr(spec, moddict, "submodule_search_locations", "__path__", false) <
            0) {
        Py_DECREF(module);
        return nullptr;
    }
    guard.module = Py_NewRef(module);
    return module;
}

// Start of the exec hook (Py_mod_exec). Returns 1 when the module was already initialised and
// the hook must do nothing, 0 to go on, -1 with an exception set.
inline int guarded_exec_begin(ModuleGuard& guard, PyObject* module) {
    if (guard.executed) {
        if (module == guard.module) return 1;
        PyErr_Format(PyExc_RuntimeError,
                     "Module '%s' has already been imported. Re-initialisation is not supported.",
                     guard.short_name);
        return -1;
    }
    if (guard.module != module) {
        // A module object that our create hook did not make (a loader calling exec directly):
        // adopt it, so that later creations return it.
        Py_XSETREF(guard.module, Py_NewRef(module));
    }
    // Built for one minor version: warn (and go on) when loaded into another.
    const int compiled_major = PY_MAJOR_VERSION, compiled_minor = PY_MINOR_VERSION;
    const int runtime_major = static_cast<int>((Py_Version >> 24) & 0xFF);
    const int runtime_minor = static_cast<int>((Py_Version >> 16) & 0xFF);
    if (compiled_major != runtime_major || compiled_minor != runtime_minor) {
        if (PyErr_WarnFormat(nullptr, 1,
                             "compile time Python version %d.%d of module '%.100s' %s runtime "
                             "version %d.%d",
                             compiled_major, compiled_minor, guard.full_name, "does not match",
                             runtime_major, runtime_minor) < 0) {
            return -1;
        }
    }
    return 0;
}

// End of a successful exec hook.
inline void guarded_exec_done(ModuleGuard& guard) {
    guard.executed = true;
}

// A failed first exec drops the partly built module: the next import starts again from
// creation. A refused re-initialisation leaves the imported module in place.
inline void guarded_exec_failed(ModuleGuard& guard) {
    if (!guard.executed) Py_CLEAR(guard.module);
}

// The create hook of a module guarded by `guard`.
template <ModuleGuard& guard>
PyObject* guarded_create_hook(PyObject* spec, PyModuleDef*) {
    return guarded_create(guard, spec);
}

// The body of `PyInit_<name>` for a guarded module: multi-phase initialisation with the guard's
// create hook and the module's own exec hook. The definition is made once and lives as long as
// the process, as the interpreter requires.
template <ModuleGuard& guard, int (*exec)(PyObject*)>
PyObject* guarded_module_init(const char* doc, PyMethodDef* methods = nullptr) {
    static PyModuleDef_Slot slots[] = {
        {Py_mod_create, reinterpret_cast<void*>(&guarded_create_hook<guard>)},
        {Py_mod_exec, reinterpret_cast<void*>(exec)},
        {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_SUPPORTED},
        {0, nullptr},
    };
    static PyModuleDef definition = {
        PyModuleDef_HEAD_INIT, guard.short_name, doc, 0, methods, slots,
    };
    return PyModuleDef_Init(&definition);
}

}  // namespace zorva
