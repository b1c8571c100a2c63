// The call trace for tests: while on, every entry point appends one tuple per call, in call
// order, whether it was called natively or from Python. Off, it costs one test of a flag.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace zorva::layer {

extern bool g_tracing;

// Appends Py_BuildValue(format, ...) to the trace. 0, or -1 with an exception set.
int trace_record(const char* format, ...);

// Starts a new recording (dropping one in progress).
int trace_start();
// Stops and returns the records (a new list; empty when nothing was recording).
PyObject* trace_stop();

}  // namespace zorva::layer

// Records one call when tracing is on; makes the enclosing function fail if recording fails.
#define ZORVA_TRACE(fail_value, ...)                                                \
    do {                                                                            \
        if (::zorva::layer::g_tracing) [[unlikely]] {                               \
            if (::zorva::layer::trace_record(__VA_ARGS__) < 0) return (fail_value); \
        }                                                                           \
    } while (0)
