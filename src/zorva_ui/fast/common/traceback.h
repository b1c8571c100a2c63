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

// The code object of one traceback entry, made once per (function, line, file) and kept for
// the life of the process. A fresh code object per failure would make every failing call build
// and throw away interpreter-internal state for it, which shows as memory growth on hot error
// paths. New reference, or null with an exception set.
inline PyCodeObject* traceback_code(const char* funcname, int line, const char* filename) {
    struct Entry {
        const char* funcname;
        const char* filename;
        int line;
        PyCodeObject* code;  // strong, never released
    };
    static Entry entries[512];
    static size_t used = 0;
    for (size_t i = 0; i < used; ++i) {
        const Entry& e = entries[i];
        if (e.funcname == funcname && e.line == line && e.filename == filename) {
            return reinterpret_cast<PyCodeObject*>(Py_NewRef(e.code));
        }
    }
    PyCodeObject* code = PyCode_NewEmpty(filename, funcname, line);
    if (code != nullptr && used < sizeof entries / sizeof entries[0]) {
        entries[used++] = {funcname, filename, line,
                           reinterpret_cast<PyCodeObject*>(Py_NewRef(code))};
    }
    return code;
}

}  // namespace detail

// Adds one traceback entry to the pending exception. `funcname` is the dotted qualified name
// ("zorva_ui.fast.zorvacache.zorvacache.Cache.get"), `filename` the source path shown
// ("fast/zorvacache/zorvacache.cpp"). Never replaces the pending exception: if building the
// entry fails, the entry is simply omitted.
inline void add_traceback(const char* funcname, int line, const char* filename) {
    PyObject* exc = PyErr_GetRaisedException();
    if (exc == nullptr) return;
    PyCodeObject* code = detail::traceback_code(funcname, line, filename);
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
