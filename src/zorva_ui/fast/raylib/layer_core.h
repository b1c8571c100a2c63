// What the layer's sibling modules (zvshader, zv_render_tex) need of zorva_raylib, which owns the
// process's one GL context. zorva_raylib publishes this table as the capsule `_layer_core`; the
// siblings import it at initialisation, so every module draws through the same context and the
// same state (current target, shader and blend stacks, trace).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

#include "fast/common/pyref.h"
#include "interfaces/zvrendertex.h"
#include "interfaces/zvshader.h"

namespace zorva::layer {

inline constexpr const char kCoreCapsuleName[] = "zorva_ui.fast.raylib.zorva_raylib._layer_core";
inline constexpr int kCoreVersion = 3;

// Indices into ZvShaderObject::locs: the layer's standard vertex attributes and uniforms.
enum ShaderLoc : int {
    kLocVertexPosition = 0,
    kLocVertexTexCoord,
    kLocVertexColor,
    kLocMatrixMvp,
    kLocColorDiffuse,
    kLocMapDiffuse,
    kLocCount
};

// The three mode stacks.
enum ModeKind : int { kModeTexture = 0, kModeShader, kModeBlend, kModeKindCount };

struct Core {
    int version;  // kCoreVersion
    // Chooses the context on first need and checks it can be used now. 0, or -1 with
    // RuntimeError.
    int (*ensure_context)();
    // Compiles and links a program; a null source takes the layer's default for that stage.
    // Fills `locs` (kLocCount entries). 0, or -1 with RuntimeError carrying the driver's log.
    int (*compile_program)(const char* vertex, const char* fragment, uint32_t* program,
                           int32_t* locs);
    // Releases a program (no-op without a context, or for 0). Refuses (-1, RuntimeError) while
    // the program is an active shader, or where the context cannot be used (another thread, an
    // adopted context that is not current).
    int (*delete_program)(uint32_t program);
    // A framebuffer with an RGBA8 colour texture of width x height. ValueError for sizes
    // outside 1..the driver's maximum.
    int (*create_target)(int32_t width, int32_t height, ZvRenderTarget* out);
    // Releases a target (no-op for one already released). Refuses (-1, RuntimeError) while the
    // target is on the texture-mode stack.
    int (*delete_target)(ZvRenderTarget* target);
    // Clears a whole target to 0..255 channels, whatever target is current.
    int (*clear_target)(const ZvRenderTarget* target, const uint8_t rgba[4]);
    // RGBA8 bytes of the target, top row first.
    PyObject* (*read_target)(const ZvRenderTarget* target);
    // The siblings' types, so that zorva_raylib can check its arguments.
    void (*register_shader_type)(PyTypeObject* type);
    void (*register_render_texture_type)(PyTypeObject* type);
    // The trace: `tracing` is true while recording; `record` appends Py_BuildValue(format, ...)
    // (returns -1 with an exception set if that fails).
    const bool* tracing;
    int (*record)(const char* format, ...);
    // The Python form of `ZvRenderTexture.render_texture`: RenderTarget(id, texture_id, width,
    // height), which begin_texture_mode also takes from Python.
    PyObject* (*target_handle)(const ZvRenderTarget* target);
    // For deallocation: release now, or queue the GL names for the owner thread's next call.
    // Never raise.
    void (*discard_program)(uint32_t program);
    void (*discard_target)(ZvRenderTarget* target);
    // Mode ownership, for calls that begin modes and run Python code before they end them.
    // The serial of the innermost open mode of a kind (0 when none is open), and the serial of
    // the last begin or end of any mode. Never raise.
    uint64_t (*mode_serial)(int kind);
    uint64_t (*mode_changes)();
    // Ends the open mode of that kind and serial where it lies in its stack, below others too;
    // 0 and nothing done when it was ended already. As the end_* entry points otherwise (the
    // innermost one rebinds what is left, and may raise).
    int (*end_mode_serial)(int kind, uint64_t serial);
    // The driver's largest texture side, choosing the context on first need. -1 with
    // RuntimeError when there is none.
    int32_t (*max_texture_size)();
};

// The core this module draws through: zorva_raylib's own table, or the one a sibling module took
// from it at initialisation (`take_core`). Each module of the layer has its own copy of this.
inline const Core* bound_core = nullptr;

inline const Core& core() {
    return *bound_core;
}

// Whether the trace is recording (see trace.h).
inline bool tracing() {
    return *bound_core->tracing;
}

// Imports zorva_raylib and takes its core table. Null with an exception set on failure.
inline const Core* import_core() {
    PyRef module = PyRef::steal(PyImport_ImportModule("zorva_ui.fast.raylib.zorva_raylib"));
    if (!module) return nullptr;
    PyRef capsule = PyRef::steal(PyObject_GetAttrString(module.get(), "_layer_core"));
    if (!capsule) return nullptr;
    auto* core = static_cast<const Core*>(PyCapsule_GetPointer(capsule.get(), kCoreCapsuleName));
    if (core == nullptr) return nullptr;
    if (core->version != kCoreVersion) {
        PyErr_SetString(PyExc_ImportError, "zorva_raylib's layer core has another version");
        return nullptr;
    }
    return core;
}

// The exec step of the sibling modules that binds them to zorva_raylib's core. 0, or -1.
inline int take_core(PyObject*) {
    bound_core = import_core();
    return bound_core != nullptr ? 0 : -1;
}

}  // namespace zorva::layer

// Records one call when tracing is on (Py_BuildValue(format, ...)); makes the enclosing function
// fail with `fail_value` if recording fails. Off, it costs one test of a flag.
#define ZORVA_TRACE(fail_value, ...)                                                 \
    do {                                                                             \
        if (::zorva::layer::tracing()) [[unlikely]] {                                \
            if (::zorva::layer::core().record(__VA_ARGS__) < 0) return (fail_value); \
        }                                                                            \
    } while (0)
