// `zorva_ui.fast.zvshader.zvshader.ZvShader`: object layout and native operation table.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

namespace zorva {

struct ZvShaderObject;

struct ZvShaderVTable {
    // Static: compiles and links a program from two sources, each a str or None (None: the
    // layer's default for that stage). New shader, or null with RuntimeError carrying the
    // driver's log (TypeError for a source that is neither str nor None).
    ZvShaderObject* (*c_create_from_code)(PyObject* vertex_source, PyObject* fragment_source);
};

struct ZvShaderObject {
    // Where the type lives (for binding it) and its operation table; no part of the layout.
    static constexpr const char kModule[] = "zorva_ui.fast.zvshader.zvshader";
    static constexpr const char kName[] = "ZvShader";
    using VTable = ZvShaderVTable;

    PyObject_HEAD ZvShaderVTable* vtab;
    uint32_t id;    // GL program object
    int32_t* locs;  // locations of the layer's default attributes and uniforms (owned)
};

}  // namespace zorva
