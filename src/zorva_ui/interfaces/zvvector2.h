// `zorva_ui.fast.zvvector2.zvvector2.ZvVector2`: object layout and native operation table.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace zorva {

struct ZvVector2Object;

struct ZvVector2VTable {
    // Static: a new vector, or null with an exception set.
    ZvVector2Object* (*new_)(double x, double y);
};

struct ZvVector2Object {
    // Where the type lives (for binding it) and its operation table; no part of the layout.
    static constexpr const char kModule[] = "zorva_ui.fast.zvvector2.zvvector2";
    static constexpr const char kName[] = "ZvVector2";
    using VTable = ZvVector2VTable;

    PyObject_HEAD ZvVector2VTable* vtab;
    double x;
    double y;
};

}  // namespace zorva
