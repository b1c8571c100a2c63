#include "fast/raylib/trace.h"

#include <cstdarg>

#include "fast/common/pyref.h"
#include "fast/raylib/state.h"

namespace zorva::layer {

int trace_record(const char* format, ...) {
    if (state.records == nullptr) return 0;
    va_list args;
    va_start(args, format);
    PyRef record = PyRef::steal(Py_VaBuildValue(format, args));
    va_end(args);
    if (!record) return -1;
    return PyList_Append(state.records, record.get());
}

int trace_start() {
    PyObject* records = PyList_New(0);
    if (records == nullptr) return -1;
    PyObject* old = state.records;
    state.records = records;
    state.tracing = true;
    Py_XDECREF(old);
    return 0;
}

PyObject* trace_stop() {
    state.tracing = false;
    PyObject* records = state.records;
    state.records = nullptr;
    return records ? records : PyList_New(0);
}

}  // namespace zorva::layer
