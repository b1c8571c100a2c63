// `with` for the layer's resources: `__enter__` gives the object itself and `__exit__` releases
// it, also when the block raised (the block's exception then propagates, since __exit__ answers
// None). A type declares the pair with its own qualified names and release function:
//
//     constexpr Callable kEnter{kModuleName, "ZvShader.__enter__", "($self)", with_enter, "..."};
//     constexpr Callable kExit{kModuleName, "ZvShader.__exit__", kWithExitParams,
//                              with_exit<shader_unload>, "..."};
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "fast/common/callable.h"
#include "fast/common/pyref.h"

namespace zorva {

inline constexpr const char kWithExitParams[] =
    "($self, exc_type=None, exc_value=None, traceback=None)";

inline PyObject* with_enter(PyObject* self) {
    return Py_NewRef(self);
}

// Releases through `release` (a METH_NOARGS implementation returning None or null).
template <PyObject* (*release)(PyObject*)>
PyObject* with_exit(PyObject* self, Args) {
    PyRef done = PyRef::steal(release(self));
    if (!done) return nullptr;
    Py_RETURN_NONE;
}

}  // namespace zorva
