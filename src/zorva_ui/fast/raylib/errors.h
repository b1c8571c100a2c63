// LayerError: the exception of the layer's own failures (GL, EGL and GLX, the context, the
// drawing state), a RuntimeError subclass so that `except RuntimeError` still catches them.
// Every failure site of the layer raises it through `layer_error()`:
//
//     PyErr_SetString(layer_error(), "end_blend_mode without begin_blend_mode");
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace zorva::layer {

// The LayerError type, borrowed (the module keeps it for the process's life); RuntimeError
// itself should a failure come before the module made it.
PyObject* layer_error();

// Makes LayerError once and binds it in the module. 0, or -1.
int add_layer_error(PyObject* module);

}  // namespace zorva::layer
