// Conversions of the small tuples the drawing calls take (rectangles, points, colours).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <cstdint>

#include "fast/common/args.h"
#include "fast/common/pyref.h"

namespace zorva::layer {

// A tuple (or list) of exactly `count` items, as a tuple the caller holds: the items of a list
// are copied first, so that item conversions running Python code cannot resize it under us.
inline PyRef fixed_tuple(PyObject* obj, Py_ssize_t count, const char* what, const char* items) {
    PyRef tuple;
    if (obj == nullptr) {
        PyErr_Format(PyExc_TypeError, "%s is missing", what);
        return tuple;
    }
    if (PyTuple_Check(obj)) {
        tuple = PyRef::borrow(obj);
    } else if (PyList_Check(obj)) {
        tuple = PyRef::steal(PyList_AsTuple(obj));
        if (!tuple) return tuple;
    } else {
        PyErr_Format(PyExc_TypeError, "%s must be a tuple of %zd %s, got %.200s", what, count,
                     items, Py_TYPE(obj)->tp_name);
        return PyRef();
    }
    if (PyTuple_GET_SIZE(tuple.get()) != count) {
        PyErr_Format(PyExc_ValueError, "%s must have %zd items, got %zd", what, count,
                     PyTuple_GET_SIZE(tuple.get()));
        return PyRef();
    }
    return tuple;
}

// `count` numbers through the float protocol, narrowed to 32-bit floats.
inline int parse_floats(PyObject* obj, Py_ssize_t count, const char* what, float* out) {
    PyRef tuple = fixed_tuple(obj, count, what, "numbers");
    if (!tuple) return -1;
    for (Py_ssize_t i = 0; i < count; ++i) {
        if (to_float(PyTuple_GET_ITEM(tuple.get(), i), &out[i]) < 0) return -1;
    }
    return 0;
}

// An (r, g, b, a) colour of integers 0..255.
inline int parse_rgba(PyObject* obj, const char* what, uint8_t out[4]) {
    PyRef tuple = fixed_tuple(obj, 4, what, "integers");
    if (!tuple) return -1;
    for (Py_ssize_t i = 0; i < 4; ++i) {
        int32_t channel;
        if (to_int32(PyTuple_GET_ITEM(tuple.get(), i), &channel) < 0) return -1;
        if (channel < 0 || channel > 255) {
            PyErr_Format(PyExc_ValueError, "%s channels must be in 0..255, got %d", what, channel);
            return -1;
        }
        out[i] = static_cast<uint8_t>(channel);
    }
    return 0;
}

// The pixels of a width x height RGBA8 picture, from any C-contiguous buffer of exactly that
// many bytes. 0 with `view` held (the caller releases it), or -1 with ValueError (or the buffer
// protocol's error) and nothing held.
inline int get_rgba_pixels(PyObject* pixels, int32_t width, int32_t height, Py_buffer* view) {
    if (PyObject_GetBuffer(pixels, view, PyBUF_C_CONTIGUOUS) < 0) return -1;
    const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    if (static_cast<size_t>(view->len) == size) return 0;
    PyErr_Format(PyExc_ValueError, "%d x %d RGBA8 pixels take %zu bytes, got %zd", width, height,
                 size, view->len);
    PyBuffer_Release(view);
    return -1;
}

// Premultiplied RGBA8 pixels divided back by their alpha (straight alpha, as PNG, Pillow and
// pygame store it), rounded to nearest, in place.
inline void unpremultiply_rgba(uint8_t* rgba, size_t size) {
    for (size_t i = 0; i + 3 < size; i += 4) {
        const unsigned alpha = rgba[i + 3];
        if (alpha == 0 || alpha == 255) continue;
        for (int c = 0; c < 3; ++c) {
            const unsigned value = (rgba[i + c] * 255u + alpha / 2) / alpha;
            rgba[i + c] = static_cast<uint8_t>(value > 255 ? 255 : value);
        }
    }
}

}  // namespace zorva::layer
