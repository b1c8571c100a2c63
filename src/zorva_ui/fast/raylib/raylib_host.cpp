#include "fast/raylib/raylib_host.h"

#include <cstring>

#include "fast/common/pyref.h"
#include "fast/raylib/state.h"

namespace zorva::layer {
namespace {

// The address of a C function of the bindings' library, through the module's cffi objects:
// int(ffi.cast("uintptr_t", ffi.addressof(lib, name))).
void* entry_point(PyObject* ffi, PyObject* lib, const char* name) {
    PyRef function = PyRef::steal(PyObject_CallMethod(ffi, "addressof", "Os", lib, name));
    if (!function) return nullptr;
    PyRef address =
        PyRef::steal(PyObject_CallMethod(ffi, "cast", "sO", "uintptr_t", function.get()));
    if (!address) return nullptr;
    PyRef number = PyRef::steal(PyNumber_Long(address.get()));
    if (!number) return nullptr;
    void* pointer = PyLong_AsVoidPtr(number.get());
    if (pointer == nullptr && !PyErr_Occurred()) {
        PyErr_Format(PyExc_TypeError, "raylib's bindings have no %s", name);
    }
    return pointer;
}

template <typename Fn>
int load(PyObject* ffi, PyObject* lib, const char* name, Fn* out) {
    void* pointer = entry_point(ffi, lib, name);
    if (pointer == nullptr) return -1;
    *out = reinterpret_cast<Fn>(pointer);
    return 0;
}

int refuse(PyObject* module) {
    PyErr_Format(PyExc_TypeError,
                 "attach_host takes raylib's bindings module (pyray or raylib), got %.200s",
                 Py_TYPE(module)->tp_name);
    return -1;
}

// raylib's Matrix lays out the rows one after the other; GL wants the columns.
void to_columns(const RaylibMatrix& matrix, float out[16]) {
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column)
            out[column * 4 + row] = matrix.m[row * 4 + column];
    }
}

void multiply(const float a[16], const float b[16], float out[16]) {
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 4; ++row) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) sum += a[k * 4 + row] * b[column * 4 + k];
            out[column * 4 + row] = sum;
        }
    }
}

}  // namespace

int attach_raylib(PyObject* module) {
    if (!PyModule_Check(module)) return refuse(module);
    const char* name = PyModule_GetName(module);
    if (name == nullptr) {
        PyErr_Clear();
        return refuse(module);
    }
    if (std::strcmp(name, "pyray") != 0 && std::strcmp(name, "raylib") != 0) {
        PyErr_Format(PyExc_TypeError,
                     "attach_host takes raylib's bindings module (pyray or raylib), got module %s",
                     name);
        return -1;
    }
    PyRef ffi = PyRef::steal(PyObject_GetAttrString(module, "ffi"));
    PyRef lib = ffi ? PyRef::steal(PyObject_GetAttrString(module, "rl")) : PyRef();
    if (!ffi || !lib) {
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError,
                     "module %s is not raylib's bindings: it lacks their ffi and rl objects", name);
        return -1;
    }
    RaylibHost host;
    if (load(ffi.get(), lib.get(), "IsWindowReady", &host.window_ready) < 0 ||
        load(ffi.get(), lib.get(), "rlDrawRenderBatchActive", &host.flush) < 0 ||
        load(ffi.get(), lib.get(), "rlGetMatrixModelview", &host.modelview) < 0 ||
        load(ffi.get(), lib.get(), "rlGetMatrixProjection", &host.projection) < 0 ||
        load(ffi.get(), lib.get(), "rlGetMatrixTransform", &host.transform) < 0) {
        // A module of that name that is not raylib's (or a version without these) is refused
        // as the wrong argument.
        PyRef cause = PyRef::steal(PyErr_GetRaisedException());
        PyErr_Format(PyExc_TypeError, "module %s is not raylib's bindings (%S)", name,
                     cause.get() ? cause.get() : Py_None);
        return -1;
    }
    state.host.raylib = host;
    return 0;
}

bool raylib_host_active() {
    return state.host.raylib.window_ready != nullptr && state.host.adopted &&
           state.host.raylib.window_ready();
}

void raylib_flush() {
    state.host.raylib.flush();
}

void raylib_mvp(float out[16]) {
    float projection[16], modelview[16], transform[16], view[16];
    to_columns(state.host.raylib.projection(), projection);
    to_columns(state.host.raylib.modelview(), modelview);
    to_columns(state.host.raylib.transform(), transform);
    // As raylib's own vertices: the transform first, then the model-view, then the projection.
    multiply(modelview, transform, view);
    multiply(projection, view, out);
}

}  // namespace zorva::layer
