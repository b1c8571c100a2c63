// GLX: applications' windows on X11 (GLFW, raylib's bindings, pygame, pyglet). The layer never
// loads the GLX library itself: if the application has not loaded it, no GLX context can be
// current.
#include <dlfcn.h>

#include <cstdint>
#include <initializer_list>

#include "fast/raylib/platform.h"

namespace zorva::layer::platform {
namespace {

using GLXContext = void*;
using GLXDrawable = unsigned long;

struct Glx {
    void* library = nullptr;
    bool vendor_neutral = false;  // the vendor-neutral dispatcher (libGLX.so.0) was found
    GLXContext (*GetCurrentContext)() = nullptr;
    void* (*GetCurrentDisplay)() = nullptr;
    GLXDrawable (*GetCurrentDrawable)() = nullptr;
    GLXDrawable (*GetCurrentReadDrawable)() = nullptr;
    int (*MakeContextCurrent)(void*, GLXDrawable, GLXDrawable, GLXContext) = nullptr;
    void* (*GetProcAddress)(const unsigned char*) = nullptr;
    int (*IsDirect)(void*, GLXContext) = nullptr;
};

// Xlib, only to catch the error a query about a destroyed context reports.
struct XlibErrors {
    using Handler = int (*)(void*, void*);
    Handler (*SetErrorHandler)(Handler) = nullptr;
};

Glx glx;
XlibErrors xlib;

template <typename Fn>
bool load_symbol(void* library, Fn& out, const char* name) {
    out = reinterpret_cast<Fn>(dlsym(library, name));
    return out != nullptr;
}

// The GLX library, when the application has loaded one (RTLD_NOLOAD: never loaded here).
bool available() {
    if (glx.library != nullptr) return true;
    for (const char* name : {"libGLX.so.0", "libGL.so.1"}) {
        void* library = dlopen(name, RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
        if (library == nullptr) continue;
        Glx found{library};
        if (load_symbol(library, found.GetCurrentContext, "glXGetCurrentContext") &&
            load_symbol(library, found.GetCurrentDisplay, "glXGetCurrentDisplay") &&
            load_symbol(library, found.GetCurrentDrawable, "glXGetCurrentDrawable") &&
            load_symbol(library, found.GetCurrentReadDrawable, "glXGetCurrentReadDrawable") &&
            load_symbol(library, found.MakeContextCurrent, "glXMakeContextCurrent") &&
            load_symbol(library, found.GetProcAddress, "glXGetProcAddressARB") &&
            load_symbol(library, found.IsDirect, "glXIsDirect")) {
            found.vendor_neutral = name[5] == 'X';
            glx = found;
            if (void* x11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD)) {
                load_symbol(x11, xlib.SetErrorHandler, "XSetErrorHandler");
            }
            return true;
        }
        dlclose(library);
    }
    return false;
}

void* current_context() {
    return available() ? glx.GetCurrentContext() : nullptr;
}

Binding current() {
    Binding binding{Api::kGlx};
    binding.context = glx.GetCurrentContext();
    binding.display = glx.GetCurrentDisplay();
    binding.draw = glx.GetCurrentDrawable();
    binding.read = glx.GetCurrentReadDrawable();
    return binding;
}

bool make_current(const Binding& b) {
    return glx.MakeContextCurrent(b.display, b.draw, b.read, b.context) != 0;
}

void release(const Binding& b) {
    glx.MakeContextCurrent(b.display, 0, 0, nullptr);
}

void* proc_address(const char* name) {
    return glx.GetProcAddress(reinterpret_cast<const unsigned char*>(name));
}

bool error_reported = false;
int note_error(void*, void*) {
    error_reported = true;
    return 0;
}

// A GLXContext is the driver's pointer: asking the driver about a destroyed one would read freed
// memory. The vendor-neutral dispatcher first looks the context up in its own table of live
// contexts, and reports GLXBadContext through Xlib when it is not there; that lookup is what is
// asked here, on the display that is current now (the context's own display may be closed). A
// legacy libGL, or no current GLX display to report on, leaves the answer unknown.
Existence exists(const Binding& b, const Binding* now) {
    if (!glx.vendor_neutral || xlib.SetErrorHandler == nullptr || now == nullptr ||
        now->api != Api::kGlx || now->display == nullptr) {
        return Existence::kUnknown;
    }
    error_reported = false;
    XlibErrors::Handler previous = xlib.SetErrorHandler(note_error);
    glx.IsDirect(now->display, b.context);
    xlib.SetErrorHandler(previous);
    return error_reported ? Existence::kDestroyed : Existence::kAlive;
}

}  // namespace

extern const Backend kGlxBackend = {
    Api::kGlx, "GLX", current_context, current, make_current, release, proc_address, exists,
};

}  // namespace zorva::layer::platform
