#include "fast/raylib/errors.h"

namespace zorva::layer {
namespace {

PyObject* layer_error_type = nullptr;  // a strong reference, never released

}  // namespace

PyObject* layer_error() {
    return layer_error_type != nullptr ? layer_error_type : PyExc_RuntimeError;
}

int add_layer_error(PyObject* module) {
    if (layer_error_type == nullptr) {
        layer_error_type = PyErr_NewExceptionWithDoc(
            "zorva_ui.fast.raylib.zorva_raylib.LayerError",
            "A failure of the rendering layer itself: OpenGL, EGL or GLX, the context it draws "
            "in, or its drawing state. A RuntimeError, so `except RuntimeError` catches it too.",
            PyExc_RuntimeError, nullptr);
        if (layer_error_type == nullptr) return -1;
    }
    return PyModule_AddObjectRef(module, "LayerError", layer_error_type);
}

}  // namespace zorva::layer
