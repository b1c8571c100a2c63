// The call trace for tests: while on, every entry point appends one tuple per call, in call
// order, whether it was called natively or from Python (ZORVA_TRACE, layer_core.h, records it in
// every module of the layer). Off, it costs one test of a flag.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace zorva::layer {

// Appends Py_BuildValue(format, ...) to the trace. 0, or -1 with an exception set.
int trace_record(const char* format, ...);

// Starts a new recording (dropping one in progress). 0, or -1 with an exception set.
int trace_start();
// Stops and returns the records (a new list; empty when nothing was recording).
PyObject* trace_stop();

}  // namespace zorva::layer
