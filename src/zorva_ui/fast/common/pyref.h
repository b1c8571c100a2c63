// Owning handle for one strong reference to a Python object.
//
// Every new reference a module function receives goes straight into a PyRef, so that each error
// path releases what it holds without hand-written Py_DECREF pairs.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace zorva {

class PyRef {
  public:
    PyRef() noexcept = default;
    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    PyRef(PyRef&& other) noexcept : obj_(other.obj_) { other.obj_ = nullptr; }
    PyRef& operator=(PyRef&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~PyRef() { Py_XDECREF(obj_); }

    // Takes over a new reference (may be null, as an API call's failure result is).
    static PyRef steal(PyObject* obj) noexcept { return PyRef(obj); }
    // Adds a reference to a borrowed one.
    static PyRef borrow(PyObject* obj) noexcept {
        Py_XINCREF(obj);
        return PyRef(obj);
    }

    PyObject* get() const noexcept { return obj_; }
    explicit operator bool() const noexcept { return obj_ != nullptr; }

    // Gives the reference away (to a function that steals, or as a return value).
    [[nodiscard]] PyObject* release() noexcept { return std::exchange(obj_, nullptr); }
    // A new reference for the caller while this handle keeps its own.
    PyObject* new_ref() const noexcept { return Py_XNewRef(obj_); }

    // Replaces the held object; the old one is released last, because its release may run
    // arbitrary code that must see this handle already updated.
    void reset(PyObject* obj = nullptr) noexcept {
        PyObject* old = std::exchange(obj_, obj);
        Py_XDECREF(old);
    }

  private:
    explicit PyRef(PyObject* obj) noexcept : obj_(obj) {}
    PyObject* obj_ = nullptr;
};

// Stores a new reference into an object field and releases the previous value after the
// store, the order CPython's own Py_SETREF uses (a finaliser of the old value must not see a
// field that points at freed memory).
inline void set_field(PyObject*& field, PyObject* new_value) noexcept {
    PyObject* old = field;
    field = new_value;
    Py_XDECREF(old);
}

}  // namespace zorva
