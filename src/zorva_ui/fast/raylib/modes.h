// What the Python forms of the begin_* calls return: the mode just begun, whose `with` block
// ends exactly that mode. Compiled callers keep the native entry points, which return nothing
// of the kind. One type for every mode (texture, shader, blend, the frame scope, scissor and
// camera), so a `with` block reads the same whichever mode it opens.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace zorva::layer {

enum class DrawingModeKind { kTexture, kShader, kBlend, kDrawing, kScissor, kCamera, kCount };

// Readies the mode type and makes one object per kind. 0, or -1.
int add_mode_objects(PyObject* module);

// A new reference to the object of `kind` (made once: beginning a mode allocates nothing).
PyObject* begun_mode(DrawingModeKind kind);

// Ends the mode of `kind` as its end_* function does (trace record included). 0, or -1.
int end_mode(DrawingModeKind kind);

}  // namespace zorva::layer
