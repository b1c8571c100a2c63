#include "fast/raylib/modes.h"

#include <iterator>

#include "fast/common/callable.h"
#include "fast/common/module.h"
#include "fast/common/pyref.h"
#include "fast/raylib/context.h"
#include "fast/raylib/entry_points.h"
#include "fast/raylib/frame.h"
#include "fast/raylib/trace.h"
#include "fast/raylib/view.h"

namespace zorva::layer {
namespace {

using rl::kModuleName;

struct ModeObject {
    PyObject_HEAD const char* name;  // "texture_mode": the mode's begin_/end_ suffix
    int (*end)();
};

struct ModeEntry {
    const char* name;
    int (*end)();
};

// The frame scope, scissor and camera modes have no native entry point of their own: their end
// records itself and opens the layer call here.
template <const char* kEndName, int (*kEnd)()>
int end_in_call() {
    ZORVA_TRACE(-1, "(s)", kEndName);
    CallScope scope;
    if (!scope.ok()) return -1;
    return kEnd();
}

constexpr char kEndDrawing[] = "end_drawing";
constexpr char kEndScissor[] = "end_scissor_mode";
constexpr char kEndCamera[] = "end_mode_2d";

// One row per kind, in DrawingModeKind's order.
const ModeEntry kModes[] = {
    {"texture_mode", [] { return kApi.end_texture_mode(); }},
    {"shader_mode", [] { return kApi.end_shader_mode(); }},
    {"blend_mode", [] { return kApi.end_blend_mode(); }},
    {"drawing", end_in_call<kEndDrawing, end_frame>},
    {"scissor_mode", end_in_call<kEndScissor, end_scissor>},
    {"mode_2d", end_in_call<kEndCamera, end_camera>},
};
static_assert(std::size(kModes) == static_cast<size_t>(DrawingModeKind::kCount));

PyObject* mode_objects[static_cast<size_t>(DrawingModeKind::kCount)];

ModeObject* as_mode(PyObject* self) {
    return reinterpret_cast<ModeObject*>(self);
}

PyObject* mode_enter(PyObject* self) {
    return Py_NewRef(self);
}

// Ends the mode whatever happened in the block; the block's own exception then propagates.
PyObject* mode_exit(PyObject* self, Args) {
    if (as_mode(self)->end() < 0) return nullptr;
    Py_RETURN_NONE;
}

PyObject* mode_repr(PyObject* self) {
    return PyUnicode_FromFormat("<DrawingMode %s: ends with end_%s() or a with block's end>",
                                as_mode(self)->name, as_mode(self)->name);
}

PyObject* mode_get_name(PyObject* self) {
    return PyUnicode_FromString(as_mode(self)->name);
}

constexpr Callable kEnter{kModuleName, "DrawingMode.__enter__", "($self)", mode_enter,
                          "Returns the mode itself; the with block draws in it."};
constexpr Callable kExit{
    kModuleName, "DrawingMode.__exit__", "($self, exc_type=None, exc_value=None, traceback=None)",
    mode_exit, "Ends the mode, also when the block raised (whose exception then propagates)."};
constexpr Property kName{kModuleName, "DrawingMode.name", mode_get_name, nullptr,
                         "Which mode: 'texture_mode', 'shader_mode', 'blend_mode', 'drawing', "
                         "'scissor_mode' or 'mode_2d' (the suffix of its begin_ and end_ calls)."};

PyTypeObject DrawingModeType = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0).tp_name =
        "zorva_ui.fast.raylib.zorva_raylib.DrawingMode",
    .tp_basicsize = sizeof(ModeObject),
    .tp_repr = mode_repr,
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_doc =
        "A begun drawing mode, as the begin_* functions return it: `with "
        "begin_texture_mode(target):` ends the mode when the block ends.",
    .tp_methods = method_table<kEnter, kExit>,
    .tp_getset = getset_table<kName>,
};

}  // namespace

int add_mode_objects(PyObject* module) {
    if (add_type(module, &DrawingModeType) < 0) return -1;
    // The frame scope, scissor and camera modes had a type of their own under this name.
    if (PyModule_AddObjectRef(module, "ModeScope", reinterpret_cast<PyObject*>(&DrawingModeType)) <
        0)
        return -1;
    for (size_t i = 0; i < std::size(kModes); ++i) {
        if (mode_objects[i] != nullptr) continue;  // made by an earlier initialisation
        ModeObject* mode = PyObject_New(ModeObject, &DrawingModeType);
        if (mode == nullptr) return -1;
        mode->name = kModes[i].name;
        mode->end = kModes[i].end;
        mode_objects[i] = reinterpret_cast<PyObject*>(mode);  // kept for the process's life
    }
    return 0;
}

PyObject* begun_mode(DrawingModeKind kind) {
    return Py_NewRef(mode_objects[static_cast<size_t>(kind)]);
}

int end_mode(DrawingModeKind kind) {
    return kModes[static_cast<size_t>(kind)].end();
}

}  // namespace zorva::layer
