// `zorva_ui.fast.zvraygrad.zvraygrad`: object layouts and native operation table of
// `GradientRaylib` and `ClickGradient`, for compiled callers.
//
// A compiled caller imports the module, takes the types from it, and reaches `_update_colors`
// through the table pointer stored in each object (the same table is published on each type as
// the capsule `__pyx_vtable__`). Calling through the object's own table matters: a
// `ClickGradient` held as a `GradientRaylib` must still run its own colour update.
//
// The vectors are plain `std::vector` members, constructed in tp_new and destroyed in
// tp_dealloc; a Cython consumer compiled in C++ mode declares them as `vector[Vector4]` and
// `vector[float]` (same layout). They are not safe to resize from outside without catching
// std::bad_alloc.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <vector>

// Relative, so that a compiled caller that reaches this header through zorva_ui.get_include()
// finds it without another include folder.
#include "../../interfaces/vector4.h"

namespace zorva {

inline constexpr const char kGradientModuleName[] = "zorva_ui.fast.zvraygrad.zvraygrad";

struct GradientRaylibObject;

// The one-slot native operation table shared by both classes (each type has its own instance).
struct GradientRaylibVTable {
    // Rebuilds `_colors` and `_stops` (ClickGradient: also `weights`) from `colors`, a list or
    // None. Returns nothing: on failure a Python exception is left set, which the caller must
    // test with PyErr_Occurred() right after the call. When Python code run by the update sets
    // the object's colours again, the update stops there and the newer state stands.
    void (*_update_colors)(GradientRaylibObject* self, PyObject* colors);
};

struct GradientRaylibObject {
    PyObject_HEAD GradientRaylibVTable* vtab;
    PyObject* raw_colors;          // list or None (strong)
    int32_t _transparency;         // 255 = opaque
    float _angle;                  // degrees, linear gradients
    PyObject* _center;             // ZvVector2 or None (strong)
    PyObject* type;                // any object, normally a GradientType member (strong)
    std::vector<Vector4> _colors;  // one normalised RGBA per colour
    std::vector<float> _stops;     // one position in 0..1 per colour
};

// `ClickGradient`: the base object first, so a pointer to it is a valid GradientRaylibObject*.
struct ClickGradientObject {
    GradientRaylibObject base;
    std::vector<float> weights;  // one per colour entry
};

// Calls the colour update through the object's own table. Returns 0, or -1 with an exception.
inline int gradient_update_colors(GradientRaylibObject* self, PyObject* colors) {
    self->vtab->_update_colors(self, colors);
    return PyErr_Occurred() ? -1 : 0;
}

}  // namespace zorva
