// What zorva_raylib keeps between calls besides its devices (device.h) and objects (objects.h):
// the Python-visible handle types and sibling types, and the trace.
//
// Naming: the module's mutable data lives in the one object `state`; everything else at
// namespace scope is a constant (kName), a static type (NameType), or one of the tables of
// entry points loaded from a library at run time (gl::fn, egl, glx), named after the library.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

#include "fast/raylib/layer_core.h"
#include "interfaces/bind.h"
#include "interfaces/zvrendertex.h"
#include "interfaces/zvshader.h"
#include "interfaces/zvvector2.h"

namespace zorva::layer {

// ---- the module -------------------------------------------------------------------------------

struct State {
    // Python-visible handles (handles.cpp).
    PyTypeObject* target_handle_type = nullptr;  // struct sequence RenderTarget
    uint64_t next_image_id = 1;                  // serial numbers of images, for the trace
    // Counts every begin and end of a drawing mode in any device; a begin's count is its entry's
    // serial (device.h, Pass), so an unchanged count means no mode changed.
    uint64_t mode_changes = 0;
    // Sibling types: ZvVector2 is bound at initialisation; ZvShader and ZvRenderTexture register
    // themselves when their modules initialise (they import this module, not the other way round).
    bind::BoundType<ZvVector2Object> vector2;
    PyTypeObject* shader_type = nullptr;
    PyTypeObject* render_texture_type = nullptr;
    // The trace (trace.cpp): a list while recording.
    bool tracing = false;
    PyObject* records = nullptr;  // strong
};

extern State state;

}  // namespace zorva::layer
