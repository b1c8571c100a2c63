// Everything zorva_raylib keeps between calls, in one place: the context it draws in, the drawing
// state of that context, what it saved of a host's GL state, the Python-visible handle types
// and sibling types, and the trace.
//
// Naming: the module's mutable data lives in the one object `state`; everything else at
// namespace scope is a constant (kName), a static type (NameType), or one of the tables of
// entry points loaded from a library at run time (gl::fn, egl, glx), named after the library.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "fast/raylib/gl.h"
#include "fast/raylib/layer_core.h"
#include "interfaces/bind.h"
#include "interfaces/zvrendertex.h"
#include "interfaces/zvshader.h"
#include "interfaces/zvvector2.h"

namespace zorva::layer {

// ---- the context (context.cpp) ----------------------------------------------------------------

enum class ContextKind { kNone, kOwn, kAdoptedEgl, kAdoptedGlx };

// What the outermost call found current, so that its end can put it back.
enum class Restore { kNothing, kRelease, kEgl, kGlx };

struct CallerContext {
    Restore restore = Restore::kNothing;
    void* egl_display = nullptr;
    void* egl_draw = nullptr;
    void* egl_read = nullptr;
    void* egl_context = nullptr;
    void* glx_display = nullptr;
    unsigned long glx_draw = 0;
    unsigned long glx_read = 0;
    void* glx_context = nullptr;
};

// GL objects released where the context could not be used, for the owner thread's next call.
struct Deferred {
    void (*release)(uint32_t, uint32_t);
    uint32_t first;
    uint32_t second;
};

struct ContextState {
    ContextKind kind = ContextKind::kNone;
    unsigned long owner_thread = 0;
    double startup_seconds = 0.0;
    std::string renderer;
    std::string version;
    // The layer's own context (display, surface, context), or the adopted one (the context
    // only: the host owns its display and surfaces).
    void* display = nullptr;
    void* surface = nullptr;
    void* handle = nullptr;
    int depth = 0;  // nesting of layer calls on the owner thread
    // A sync object of the chosen context: glIsSync(marker) is true only while that context (or,
    // for an adopted one, a context sharing its objects) is current. Sync objects are pointers,
    // unlike other GL names, so no other context can answer true by coincidence. It costs a
    // fraction of asking the window-system library which context is current, which takes a lock
    // on every call.
    gl::GLsync marker = nullptr;
    CallerContext caller;
    bool holding = false;  // own context left current over "nothing current" while a mode is open
    std::vector<Deferred> deferred;
};

// ---- the drawing state of the context (renderer.cpp) ------------------------------------------

struct TargetEntry {
    uint32_t texture;
    int32_t width;
    int32_t height;
    uint64_t serial;
};

struct StackedTarget {
    uint32_t fbo;
    uint64_t
        serial;  // GL reuses names: an entry whose target was released must not match a new one
};

struct RendererState {
    uint32_t default_program = 0;
    int32_t default_locs[kLocCount] = {};
    uint32_t vao = 0;
    uint32_t vbo = 0;
    int32_t max_texture_size = 0;
    uint32_t bound_program = 0;  // in the own context, what UseProgram last bound
    uint64_t next_serial = 1;
    std::unordered_map<uint32_t, TargetEntry> targets;
    std::vector<StackedTarget> target_stack;
    std::vector<ZvShaderObject*> shader_stack;  // strong references
    std::vector<int32_t> blend_stack;
    // Beside each stack, the serial of each entry (ModeKind order): a call that began a mode
    // finds that very entry again, whatever Python code run meanwhile began or ended. Every
    // begin and end takes the next serial, so an unchanged `mode_changes` means no mode changed.
    std::vector<uint64_t> mode_serials[kModeKindCount];
    uint64_t mode_changes = 0;
};

// ---- the host's GL state, in an adopted context (host_state.cpp) -------------------------------

struct SavedHostState {
    int32_t program;
    int32_t vertex_array, array_buffer, element_buffer;
    int32_t active_texture, texture_2d, sampler;
    int32_t draw_framebuffer, read_framebuffer;
    int32_t viewport[4];
    bool switches[20];  // the capabilities of kHostSwitches (host_state.cpp), in its order
    int32_t blend_src_rgb, blend_dst_rgb, blend_src_alpha, blend_dst_alpha;
    int32_t blend_equation_rgb, blend_equation_alpha;
    gl::GLboolean color_mask[4];
    int32_t polygon_mode[2];
    int32_t pixel_store[8];  // the parameters of kPixelStore (host_state.cpp), in its order
    int32_t pack_buffer, unpack_buffer;
    float clear_color[4];
};

struct HostState {
    bool adopted = false;       // the layer works in a context it adopted (set when it is chosen)
    uint32_t saved_groups = 0;  // HostGroup bits saved in this episode
    SavedHostState saved{};
};

// ---- the module -------------------------------------------------------------------------------

struct State {
    ContextState context;
    RendererState renderer;
    HostState host;
    // Python-visible handles (handles.cpp).
    PyTypeObject* target_handle_type = nullptr;  // struct sequence RenderTarget
    uint64_t next_image_id = 1;                  // serial numbers of images, for the trace
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
