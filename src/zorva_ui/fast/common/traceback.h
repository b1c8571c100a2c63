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

namespace detail {

// The code object of one call site (function name and line), made on its first failure and
// kept for the process, so that repeated failures cost no allocation beyond the entry itself.
// Call sites are string literals with a line: a small table is enough; past it, a new object
// is made per failure.
inline PyCodeObject* site_code(const char* funcname, int line, const char* filename, bool* cached) {
    struct Site {
        const char* funcname;
        const char* filename;
        int line;
        PyCodeObject* code;
    };
    static Site sites[256];
    static int used = 0;
    for (int i = 0; i < used; ++i) {
        const Site& site = sites[i];
        if (site.line == line && site.funcname == funcname && site.filename == filename) {
            *cached = true;
            return site.code;
        }
    }
    PyCodeObject* code = PyCode_NewEmpty(filename, funcname, line);
    *cached = code != nullptr && used < 256;
    if (*cached) sites[used++] = Site{funcname, filename, line, code};
    return code;
}

// The globals of the synthetic frames: one empty dict, kept for the process.
inline PyObject* frame_globals() {
    static PyObject* globals = nullptr;
    if (globals == nullptr) globals = PyDict_New();
    return globals;
}

}  // namespace detail

// Adds one traceback entry to the pending exception. `funcname` is the dotted qualified name
// ("zorva_ui.fast.zorvacache.zorvacache.Cache.get"), `filename` the source path shown
// ("fast/zorvacache/zorvacache.cpp"); both must be string literals (they key a cache). Never
// replaces the pending exception: if building the entry fails, the entry is simply omitted.
inline void add_traceback(const char* funcname, int line, const char* filename) {
    PyObject* exc = PyErr_GetRaisedException();
    if (exc == nullptr) return;
    bool cached = false;
    PyCodeObject* code = detail::site_code(funcname, line, filename, &cached);
    PyObject* globals = code ? detail::frame_globals() : nullptr;
    PyFrameObject* frame =
        globals ? PyFrame_New(PyThreadState_Get(), code, globals, nullptr) : nullptr;
    // Building the entry may have failed; the original error wins over the secondary one.
    if (frame == nullptr) PyErr_Clear();
    PyErr_SetRaisedException(exc);
    if (frame != nullptr) PyTraceBack_Here(frame);
    Py_XDECREF(frame);
    if (!cached) Py_XDECREF(code);
}

}  // namespace zorva
