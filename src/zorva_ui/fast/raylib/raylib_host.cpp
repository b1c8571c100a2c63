#include "fast/raylib/raylib_host.h"

#include <cstring>

#include "fast/common/pyref.h"
#include "fast/raylib/device.h"

namespace zorva::layer {
namespace {

// raylib's Matrix: the rows one after the other.
struct RaylibMatrix {
    float m[16];
};

struct RaylibHost {
    bool (*window_ready)() = nullptr;
    void (*flush)() = nullptr;
    RaylibMatrix (*modelview)() = nullptr;
    RaylibMatrix (*projection)() = nullptr;
    RaylibMatrix (*transform)() = nullptr;
};

// The process's raylib, once attached (raylib has one window, so one context).
RaylibHost raylib;

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
    raylib = host;
    return 0;
}

bool raylib_host_active() {
    return raylib.window_ready != nullptr && active().draws_into_host && raylib.window_ready();
}

void raylib_flush() {
    raylib.flush();
}

void raylib_mvp(float out[16]) {
    float projection[16], modelview[16], transform[16], view[16];
    to_columns(raylib.projection(), projection);
    to_columns(raylib.modelview(), modelview);
    to_columns(raylib.transform(), transform);
    // As raylib's own vertices: the transform first, then the model-view, then the projection.
    multiply(modelview, transform, view);
    multiply(projection, view, out);
}

}  // namespace zorva::layer
