#include "fast/raylib/trace.h"

#include <cstdarg>

#include "fast/common/pyref.h"

namespace zorva::layer {

bool g_tracing = false;

namespace {
PyObject* g_records = nullptr;  // strong; a list while tracing
}  // namespace

int trace_record(const char* format, ...) {
    if (g_records == nullptr) return 0;
    va_list args;
    va_start(args, format);
    PyRef record = PyRef::steal(Py_VaBuildValue(format, args));
    va_end(args);
    if (!record) return -1;
    return PyList_Append(g_records, record.get());
}

int trace_start() {
    PyObject* records = PyList_New(0);
    if (records == nullptr) return -1;
    PyObject* old = g_records;
    g_records = records;
    g_tracing = true;
    Py_XDECREF(old);
    return 0;
}

PyObject* trace_stop() {
    g_tracing = false;
    PyObject* records = g_records;
    g_records = nullptr;
    return records ? records : PyList_New(0);
}

}  // namespace zorva::layer
