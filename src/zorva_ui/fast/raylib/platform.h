// Window-system backends, one file per API (platform_egl.cpp, platform_glx.cpp): which context
// is current on the thread, making a context current and releasing it, GL entry points, whether
// a context still exists, and the layer's own headless context. Nothing here knows about the
// renderer or the layer's objects; a WGL or CGL backend would be one more file and one more entry
// in kBackends (platform.cpp).
#pragma once

#include <cstdint>

namespace zorva::layer::platform {

enum class Api : uint8_t { kEgl, kGlx };

// A context with the display and the draw and read surfaces (EGL) or drawables (GLX) it was
// current with.
struct Binding {
    Api api = Api::kEgl;
    void* display = nullptr;
    uintptr_t draw = 0;
    uintptr_t read = 0;
    void* context = nullptr;
};

enum class Existence : uint8_t { kAlive, kDestroyed, kUnknown };

struct Backend {
    Api api;
    const char* name;  // "EGL", "GLX"
    // The context current on this thread through this API; null when none (or when the
    // application never loaded the API's library).
    void* (*current_context)();
    // The full binding of the current context (call when current_context() is not null).
    Binding (*current)();
    // Makes the binding current; false when the window system refuses.
    bool (*make_current)(const Binding& binding);
    // Leaves no context of this API current on the thread.
    void (*release)(const Binding& binding);
    // A GL entry point, as this API looks it up.
    void* (*proc_address)(const char* name);
    // Whether a context that is not current on this thread still exists, asked without touching
    // it (a destroyed context's memory is gone). `current` is what is current now, if anything.
    Existence (*exists)(const Binding& context, const Binding* current);
};

const Backend& backend(Api api);

// The context current on this thread in any API (context null when there is none).
Binding current_binding();

// The driver's own context object current on this thread, where the driver lets it be read
// cheaply (Mesa's GL dispatch library, loaded once a Mesa context exists): a thread-local read,
// where asking the window system costs a lock. Null when none is current or it cannot be read.
void* driver_context();

// The layer's headless OpenGL 3.3 core context (EGL), left current. 0, or -1 with
// RuntimeError saying what failed and what to install. `fresh_display`: in a child after fork,
// on a display nobody initialised before (the parent's driver instances do not work there).
int create_headless(Binding* out, bool fresh_display);

// Destroys a context made by create_headless and terminates its display. Only for a display
// made fresh in a child after fork, as that process exits: the driver's exit handlers would
// otherwise wait there for ever on the threads of the context left behind.
void destroy_headless(const Binding& binding);

}  // namespace zorva::layer::platform
