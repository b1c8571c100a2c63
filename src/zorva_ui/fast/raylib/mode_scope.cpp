#include "fast/raylib/mode_scope.h"

#include "fast/common/callable.h"
#include "fast/common/module.h"
#include "fast/common/pyref.h"
#include "interfaces/raylib_api.h"

namespace zorva::layer {
namespace {

struct ModeScopeObject {
    PyObject_HEAD EndMode end;
    const char* name;  // of the begin call, for repr
};

PyObject* scopes[static_cast<int>(ScopeKind::kCount)] = {};

PyObject* scope_enter(PyObject* self) {
    return Py_NewRef(self);
}

// Ends the mode whether or not the block raised; the block's exception is never swallowed.
PyObject* scope_exit(PyObject* self, Args) {
    if (reinterpret_cast<ModeScopeObject*>(self)->end() < 0) return nullptr;
    Py_RETURN_FALSE;
}

PyObject* scope_repr(PyObject* self) {
    return PyUnicode_FromFormat("<mode of %s>", reinterpret_cast<ModeScopeObject*>(self)->name);
}

constexpr Callable kEnter{rl::kModuleName, "ModeScope.__enter__", "($self)", scope_enter,
                          "Returns the object itself."};
constexpr Callable kExit{rl::kModuleName, "ModeScope.__exit__",
                         "($self, exc_type=None, exc_value=None, traceback=None)", scope_exit,
                         "Ends the mode."};

PyTypeObject ModeScopeType = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0).tp_name =
        "zorva_ui.fast.raylib.zorva_raylib.ModeScope",
    .tp_basicsize = sizeof(ModeScopeObject),
    .tp_repr = scope_repr,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    .tp_doc =
        "Returned by begin_drawing, begin_scissor_mode and begin_mode_2d: leaving its "
        "`with` block ends the mode.",
    .tp_methods = method_table<kEnter, kExit>,
};

constexpr const char* kBeginNames[] = {"begin_drawing", "begin_scissor_mode", "begin_mode_2d"};

}  // namespace

int add_mode_scopes(PyObject* module, const EndMode ends[static_cast<int>(ScopeKind::kCount)]) {
    if (add_type(module, &ModeScopeType) < 0) return -1;
    for (int i = 0; i < static_cast<int>(ScopeKind::kCount); ++i) {
        if (scopes[i] != nullptr) continue;  // a module made again shares them
        auto* scope = PyObject_New(ModeScopeObject, &ModeScopeType);
        if (scope == nullptr) return -1;
        scope->end = ends[i];
        scope->name = kBeginNames[i];
        scopes[i] = reinterpret_cast<PyObject*>(scope);
    }
    return 0;
}

PyObject* mode_scope(ScopeKind kind) {
    return Py_NewRef(scopes[static_cast<int>(kind)]);
}

}  // namespace zorva::layer
