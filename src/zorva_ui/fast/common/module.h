// The skeleton of every module: one declaration, one guarded exec with ordered steps, one way
// of failing, one way of adding types.
//
//     constexpr ModuleSpec kModule{kModuleName, "Docstring.", method_table<kF, kG>,
//                                  {ready_types, bind_siblings, import_names}};
//     PyMODINIT_FUNC PyInit_name() { return zorva::define_module<ns::kModule>(); }
//
// The exec hook runs the steps in order, once per process (module_guard.h). A step returns 0,
// or -1 with an exception set; the first failure ends the import: the traceback gets the entry
// "init <module>", the partly built module is dropped and the next import starts again from the
// first step, so each step must be safe to run again (types stay ready, state is reset).
//
// Types are static PyTypeObjects written with designated initialisers, their methods and
// properties from declaration tables (callable.h), their docstring from the constructor's
// declaration (`type_doc`); `add_type` readies and binds them.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>

#include "fast/common/callable.h"
#include "fast/common/module_guard.h"
#include "fast/common/pyref.h"
#include "fast/common/source_location.h"
#include "fast/common/vtable.h"

namespace zorva {

// One step of a module's initialisation: 0, or -1 with an exception set.
using ExecStep = int (*)(PyObject* module);

template <size_t N>
struct ModuleSpec {
    const char* name;        // "zorva_ui.fast.zvshader.zvshader"
    const char* doc;         // the module's docstring
    PyMethodDef* functions;  // a method_table of module functions, or nullptr
    ExecStep steps[N];       // the exec hook, in order
    SourceLocation where = SourceLocation::current();
};

// Deduces the number of steps for compilers without aggregate deduction (clang before 17).
template <size_t N>
ModuleSpec(const char*, const char*, PyMethodDef*, ExecStep const (&)[N]) -> ModuleSpec<N>;

namespace module_detail {

template <const auto& spec>
struct Module {
    static inline ModuleGuard guard{spec.name + callable_detail::last_component(spec.name),
                                    spec.name};

    static constexpr auto init_name = [] {
        callable_detail::Text<callable_detail::length(spec.name) + 6> t;
        t.append("init ");
        t.append(spec.name);
        return t.chars;
    }();

    static int exec(PyObject* module) {
        const int begun = guarded_exec_begin(guard, module);
        if (begun == 1) return 0;
        if (begun == 0) {
            bool done = true;
            for (ExecStep step : spec.steps) {
                if (step(module) < 0) {
                    done = false;
                    break;
                }
            }
            if (done) {
                guarded_exec_done(guard);
                return 0;
            }
        }
        add_traceback(init_name.data(), static_cast<int>(spec.where.line()),
                      callable_detail::package_path(spec.where.file_name()));
        guarded_exec_failed(guard);
        return -1;
    }
};

}  // namespace module_detail

// The body of `PyInit_<name>`.
template <const auto& spec>
PyObject* define_module() {
    using M = module_detail::Module<spec>;
    return guarded_module_init<M::guard, M::exec>(spec.doc, spec.functions);
}

// Readies a static type (once per process: a retried import finds it ready), publishes its
// native operation table when it has one, and binds it in the module under its short name.
inline int add_type(PyObject* module, PyTypeObject* type, void* vtable = nullptr) {
    if (!PyType_HasFeature(type, Py_TPFLAGS_READY) && PyType_Ready(type) < 0) return -1;
    if (vtable != nullptr && publish_vtable(type, vtable) < 0) return -1;
    const char* name = type->tp_name + callable_detail::last_component(type->tp_name);
    return PyModule_AddObjectRef(module, name, reinterpret_cast<PyObject*>(type));
}

}  // namespace zorva
