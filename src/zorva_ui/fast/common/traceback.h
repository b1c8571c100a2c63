// Traceback entries for failures inside native functions.
//
// A Python traceback only shows Python frames; callers of these modules want to see which native
// method failed, so each failing method adds a synthetic frame naming its qualified name and
// its source file, the way compiled Python modules conventionally do.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <frameobject.h>

namespace zorva {

// Adds one traceback entry to the pending exception. `funcname` is the dotted qualified name
// ("zorva_ui.fast.zorvacache.zorvacache.Cache.get"), `filename` the source path shown
// ("fast/zorvacache/zorvacache.cpp"). Never replaces the pending exception: if building the
// entry fails, the entry is simply omitted.
inline void add_traceback(const char* funcname, int line, const char* filename) {
    PyObject* exc = PyErr_GetRaisedException();
    if (exc == nullptr) return;
    PyCodeObject* code = PyCode_NewEmpty(filename, funcname, line);
    PyObject* globals = code ? PyDict_New() : nullptr;
    PyFrameObject* frame =
        globals ? PyFrame_New(PyThreadState_Get(), code, globals, nullptr) : nullptr;
    // Building the entry may have failed; the original error wins over the secondary one.
    if (frame == nullptr) PyErr_Clear();
    PyErr_SetRaisedException(exc);
    if (frame != nullptr) PyTraceBack_Here(frame);
    Py_XDECREF(frame);
    Py_XDECREF(globals);
    Py_XDECREF(code);
}

}  // namespace zorva

// Adds a traceback entry for the current line. Each module defines ZORVA_SOURCE_FILE.
#define ZORVA_TRACEBACK(qualname) ::zorva::add_traceback((qualname), __LINE__, ZORVA_SOURCE_FILE)
