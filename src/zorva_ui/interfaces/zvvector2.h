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
    PyObject_HEAD ZvVector2VTable* vtab;
    double x;
    double y;
};

}  // namespace zorva
