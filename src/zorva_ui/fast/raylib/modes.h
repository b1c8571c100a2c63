// What the Python forms of the begin_* calls return: the mode just begun, whose `with` block
// ends exactly that mode. Compiled callers keep the native entry points, which return nothing
// of the kind.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace zorva::layer {

enum class DrawingModeKind { kTexture, kShader, kBlend, kCount };

// Readies the mode type and makes one object per kind. 0, or -1.
int add_mode_objects(PyObject* module);

// A new reference to the object of `kind` (made once: beginning a mode allocates nothing).
PyObject* begun_mode(DrawingModeKind kind);

}  // namespace zorva::layer
