// raylib's bindings as a host. raylib batches its draws and applies its 2D camera and render
// texture projection in its own matrices, not in GL state, so a layer draw in its window would
// land before raylib's pending draws and ignore its camera. Given the bindings module once
// (`attach_host`), each layer draw into raylib's framebuffer first submits raylib's batch and
// then draws through raylib's current projection, model-view and transform matrices.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace zorva::layer {

// Takes the C entry points from raylib's bindings module (`pyray` or `raylib`); TypeError for
// anything else. 0, or -1 with an exception set.
int attach_raylib(PyObject* module);

// Whether raylib is attached and its window is open (its drawing state exists).
bool raylib_host_active();

// Submits raylib's pending draws, so that they land under the layer's next draw.
void raylib_flush();

// raylib's current target pixels to clip space, column-major for glUniformMatrix4fv.
void raylib_mvp(float out[16]);

}  // namespace zorva::layer
