// `zorva_ui.fast.zvrect.zvrect.ZvRect`: object layout and native operation table.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace zorva {

struct ZvRectObject;

struct ZvRectVTable {
    // Static: a new rectangle, or null with an exception set.
    ZvRectObject* (*new_)(double x, double y, double width, double height);
};

struct ZvRectObject {
    // Where the type lives (for binding it) and its operation table; no part of the layout.
    static constexpr const char kModule[] = "zorva_ui.fast.zvrect.zvrect";
    static constexpr const char kName[] = "ZvRect";
    using VTable = ZvRectVTable;

    PyObject_HEAD ZvRectVTable* vtab;
    double x;
    double y;
    double width;
    double height;
};

}  // namespace zorva
