// Colour, stop and sequence conversions of the gradient module.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <vector>

#include "fast/common/args.h"
#include "interfaces/vector4.h"

namespace zorva::grad {

// One colour tuple (exactly a tuple, or None) to a normalised Vector4: each of the first four
// items divided by 255 as Python divides, then narrowed to 32-bit floats. A tuple of fewer than
// four items raises IndexError at the first missing item. 0, or -1 with an exception set.
// Not a Python-visible callable, but its failures have always had a traceback entry of their own.
int tuple_to_vector4(PyObject* t, Vector4* out);

// One stop per weight, from the running normalised sums of the weights (see the .cpp for the
// precision each step uses). Replaces `stops` only on success; -1 with MemoryError.
int compute_stops(const float* weights, size_t count, std::vector<float>* stops);

// A growable float array whose first elements live inline, so that the weights of a typical
// colour update need no allocation.
class FloatBuffer {
  public:
    // 0, or -1 with MemoryError.
    int push_back(float value);
    const float* data() const { return heap_.empty() ? inline_ : heap_.data(); }
    size_t size() const { return size_; }

  private:
    static constexpr size_t kInline = 32;
    float inline_[kInline];
    std::vector<float> heap_;  // all elements, once there are more than kInline
    size_t size_ = 0;
};

// Native vectors to new Python lists: floats, and dicts with the keys "x", "y", "z", "w".
PyObject* floats_to_list(const std::vector<float>& values);
PyObject* vector4s_to_list(const std::vector<Vector4>& values);

// Any iterable to a native vector (lists and tuples read directly). `out` is filled from empty;
// on failure it holds a partial result the caller must drop. 0, or -1 with an exception set.
int list_to_floats(PyObject* iterable, std::vector<float>* out);
int list_to_vector4s(PyObject* iterable, std::vector<Vector4>* out);

// Is `item` a weighted colour: a tuple (or subclass) of length 2 whose second item is an int
// or a float (or subclass)? 1 (with the two items as new references), 0, or -1 on error.
int weighted_pair(PyObject* item, PyObject** colour, PyObject** weight);

// A colour list handed to the colour update: a list (or subclass), else TypeError
// "Expected list, got ...". 0, or -1 with the exception set.
inline int check_colour_list(PyObject* colors) {
    if (PyList_Check(colors)) return 0;
    PyErr_Format(PyExc_TypeError, "Expected %s, got %.200s", "list", Py_TYPE(colors)->tp_name);
    return -1;
}

// Python's item access `obj[index]` for small non-negative indices: lists and tuples
// bounds-checked directly, other sequences through their item slot, anything else through
// subscription. New reference or null.
PyObject* get_item(PyObject* obj, Py_ssize_t index);

}  // namespace zorva::grad
