// What the layer's newer begin_* calls return: an object whose `with` block ends the mode, so
// `with rl.begin_drawing(): ...` and the begin/end pair are the same thing. One object per kind
// of mode, made once: a frame pays for no allocation.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace zorva::layer {

enum class ScopeKind { kDrawing, kScissor, kCamera, kCount };

// The end call of each kind (0, or -1 with an exception), as the module's Python functions run it.
using EndMode = int (*)();

// Readies the type and makes the objects. 0, or -1.
int add_mode_scopes(PyObject* module, const EndMode ends[static_cast<int>(ScopeKind::kCount)]);

// A new reference to the kind's object.
PyObject* mode_scope(ScopeKind kind);

}  // namespace zorva::layer
