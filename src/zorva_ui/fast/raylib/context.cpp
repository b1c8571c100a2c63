// The layer's GL context. libEGL (and, for adopted GLX contexts, the GLX library the application
// already loaded) is opened with dlopen and every entry point is looked up at run time, so the
// module loads (and imports) on a machine without any GL library at all; only the first call
// that needs drawing fails there.
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <dlfcn.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "fast/raylib/context.h"
#include "fast/raylib/errors.h"
#include "fast/raylib/gl.h"
#include "fast/raylib/host_state.h"
#include "fast/raylib/renderer.h"
#include "fast/raylib/state.h"

namespace zorva::gl {
Functions fn{};
}  // namespace zorva::gl

namespace zorva::layer {
namespace {

using EGLDisplay = void*;
using EGLConfig = void*;
using EGLContext = void*;
using EGLSurface = void*;
using EGLDeviceEXT = void*;
using EGLint = int32_t;
using EGLBoolean = unsigned int;
using EGLenum = unsigned int;

constexpr EGLint kEglSuccess = 0x3000;
constexpr EGLint kEglNone = 0x3038;
constexpr EGLint kEglRenderableType = 0x3040;
constexpr EGLint kEglOpenGlBit = 0x0008;
constexpr EGLint kEglSurfaceType = 0x3033;
constexpr EGLint kEglPbufferBit = 0x0001;
constexpr EGLint kEglWidth = 0x3057;
constexpr EGLint kEglHeight = 0x3056;
constexpr EGLenum kEglOpenGlApi = 0x30A2;
constexpr EGLint kEglContextMajorVersion = 0x3098;
constexpr EGLint kEglContextMinorVersion = 0x30FB;
constexpr EGLint kEglContextProfileMask = 0x30FD;
constexpr EGLint kEglCoreProfileBit = 0x0001;
constexpr EGLenum kEglPlatformSurfacelessMesa = 0x31DD;
constexpr EGLenum kEglPlatformDeviceExt = 0x313F;
constexpr EGLint kEglExtensions = 0x3055;
constexpr EGLint kEglDraw = 0x3059;
constexpr EGLint kEglRead = 0x305A;

struct Egl {
    void* library = nullptr;
    void* (*GetProcAddress)(const char*) = nullptr;
    EGLint (*GetError)() = nullptr;
    EGLDisplay (*GetDisplay)(void*) = nullptr;
    const char* (*QueryString)(EGLDisplay, EGLint) = nullptr;
    EGLBoolean (*Initialize)(EGLDisplay, EGLint*, EGLint*) = nullptr;
    EGLBoolean (*BindAPI)(EGLenum) = nullptr;
    EGLBoolean (*ChooseConfig)(EGLDisplay, const EGLint*, EGLConfig*, EGLint, EGLint*) = nullptr;
    EGLContext (*CreateContext)(EGLDisplay, EGLConfig, EGLContext, const EGLint*) = nullptr;
    EGLSurface (*CreatePbufferSurface)(EGLDisplay, EGLConfig, const EGLint*) = nullptr;
    EGLBoolean (*MakeCurrent)(EGLDisplay, EGLSurface, EGLSurface, EGLContext) = nullptr;
    EGLDisplay (*GetPlatformDisplayEXT)(EGLenum, void*, const EGLint*) = nullptr;
    EGLBoolean (*QueryDevicesEXT)(EGLint, EGLDeviceEXT*, EGLint*) = nullptr;
    EGLContext (*GetCurrentContext)() = nullptr;
    EGLDisplay (*GetCurrentDisplay)() = nullptr;
    EGLSurface (*GetCurrentSurface)(EGLint) = nullptr;
};

// GLX, only as far as finding, saving and restoring the application's current context. The
// library is never loaded by the layer: if the application has not loaded it, no GLX context
// can be current.
using GLXContext = void*;
using GLXDrawable = unsigned long;
struct Glx {
    void* library = nullptr;
    GLXContext (*GetCurrentContext)() = nullptr;
    void* (*GetCurrentDisplay)() = nullptr;
    GLXDrawable (*GetCurrentDrawable)() = nullptr;
    GLXDrawable (*GetCurrentReadDrawable)() = nullptr;
    int (*MakeContextCurrent)(void*, GLXDrawable, GLXDrawable, GLXContext) = nullptr;
    void* (*GetProcAddress)(const unsigned char*) = nullptr;
};

Egl egl;
Glx glx;

const char* egl_error_name(EGLint code) {
    static const char* const kNames[] = {
        "EGL_SUCCESS",       "EGL_NOT_INITIALIZED",     "EGL_BAD_ACCESS",
        "EGL_BAD_ALLOC",     "EGL_BAD_ATTRIBUTE",       "EGL_BAD_CONFIG",
        "EGL_BAD_CONTEXT",   "EGL_BAD_CURRENT_SURFACE", "EGL_BAD_DISPLAY",
        "EGL_BAD_MATCH",     "EGL_BAD_NATIVE_PIXMAP",   "EGL_BAD_NATIVE_WINDOW",
        "EGL_BAD_PARAMETER", "EGL_BAD_SURFACE",         "EGL_CONTEXT_LOST",
    };
    const EGLint index = code - kEglSuccess;
    if (index >= 0 && index < static_cast<EGLint>(std::size(kNames))) return kNames[index];
    return "unknown EGL error";
}

// What to install: the EGL loader and the Mesa drivers (software rendering included), by
// Debian package name.
constexpr char kInstallHint[] =
    "; a machine without a GPU driver needs Mesa's EGL and GL drivers (Debian: libegl1 "
    "libgl1-mesa-dri)";

constexpr char kOwnFailure[] = "could not create a headless OpenGL 3.3 context";

int fail(const char* what) {
    EGLint code = egl.GetError ? egl.GetError() : 0;
    PyErr_Format(layer_error(), "%s: %s (EGL error 0x%04x, %s)%s", kOwnFailure, what,
                 static_cast<unsigned>(code), egl_error_name(code), kInstallHint);
    return -1;
}

template <typename Fn>
bool load_symbol(void* library, Fn& out, const char* name) {
    out = reinterpret_cast<Fn>(dlsym(library, name));
    return out != nullptr;
}

int open_library() {
    if (egl.library != nullptr) return 0;
    void* library = dlopen("libEGL.so.1", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = dlerror();
        PyErr_Format(layer_error(), "%s: libEGL.so.1 cannot be loaded (%s)%s", kOwnFailure,
                     why ? why : "unknown reason", kInstallHint);
        return -1;
    }
    egl.library = library;
    bool ok = load_symbol(egl.library, egl.GetProcAddress, "eglGetProcAddress") &&
              load_symbol(egl.library, egl.GetError, "eglGetError") &&
              load_symbol(egl.library, egl.GetDisplay, "eglGetDisplay") &&
              load_symbol(egl.library, egl.QueryString, "eglQueryString") &&
              load_symbol(egl.library, egl.Initialize, "eglInitialize") &&
              load_symbol(egl.library, egl.BindAPI, "eglBindAPI") &&
              load_symbol(egl.library, egl.ChooseConfig, "eglChooseConfig") &&
              load_symbol(egl.library, egl.CreateContext, "eglCreateContext") &&
              load_symbol(egl.library, egl.CreatePbufferSurface, "eglCreatePbufferSurface") &&
              load_symbol(egl.library, egl.MakeCurrent, "eglMakeCurrent") &&
              load_symbol(egl.library, egl.GetCurrentContext, "eglGetCurrentContext") &&
              load_symbol(egl.library, egl.GetCurrentDisplay, "eglGetCurrentDisplay") &&
              load_symbol(egl.library, egl.GetCurrentSurface, "eglGetCurrentSurface");
    if (!ok) {
        egl = Egl{};
        dlclose(library);
        PyErr_Format(layer_error(), "%s: libEGL.so.1 lacks a core EGL function", kOwnFailure);
        return -1;
    }
    egl.GetPlatformDisplayEXT = reinterpret_cast<decltype(egl.GetPlatformDisplayEXT)>(
        egl.GetProcAddress("eglGetPlatformDisplayEXT"));
    egl.QueryDevicesEXT =
        reinterpret_cast<decltype(egl.QueryDevicesEXT)>(egl.GetProcAddress("eglQueryDevicesEXT"));
    return 0;
}

bool has_extension(const char* list, const char* name) {
    if (list == nullptr) return false;
    const size_t len = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += len) {
        if ((p == list || p[-1] == ' ') && (p[len] == ' ' || p[len] == '\0')) return true;
    }
    return false;
}

// An initialised display: the surfaceless platform first (no display server, no device node
// needed), then the first EGL device, then the default display. Null with RuntimeError when none
// can be initialised.
EGLDisplay open_display() {
    const char* client = egl.QueryString(nullptr, kEglExtensions);
    if (egl.GetPlatformDisplayEXT != nullptr) {
        if (has_extension(client, "EGL_MESA_platform_surfaceless")) {
            EGLDisplay display =
                egl.GetPlatformDisplayEXT(kEglPlatformSurfacelessMesa, nullptr, nullptr);
            if (display != nullptr && egl.Initialize(display, nullptr, nullptr)) return display;
        }
        if (egl.QueryDevicesEXT != nullptr && has_extension(client, "EGL_EXT_platform_device")) {
            EGLDeviceEXT devices[4];
            EGLint count = 0;
            if (egl.QueryDevicesEXT(4, devices, &count) && count > 0) {
                EGLDisplay display =
                    egl.GetPlatformDisplayEXT(kEglPlatformDeviceExt, devices[0], nullptr);
                if (display != nullptr && egl.Initialize(display, nullptr, nullptr)) {
                    return display;
                }
            }
        }
    }
    EGLDisplay display = egl.GetDisplay(nullptr);
    if (display != nullptr && egl.Initialize(display, nullptr, nullptr)) return display;
    fail("no EGL display could be initialised");
    return nullptr;
}

// Every GL function, through `get_proc` (the API's own lookup) and, for core GL 1.x functions
// that a lookup may not return, the vendor-neutral GL library.
int load_gl_functions(void* (*get_proc)(const char*), const char* failure_prefix) {
    void* gl_library = dlopen("libOpenGL.so.0", RTLD_NOW | RTLD_LOCAL);
    if (gl_library == nullptr) gl_library = dlopen("libGL.so.1", RTLD_NOW | RTLD_LOCAL);
    auto lookup = [gl_library, get_proc](const char* name) -> void* {
        void* p = get_proc(name);
        if (p == nullptr && gl_library != nullptr) p = dlsym(gl_library, name);
        return p;
    };
    using namespace gl;
    gl::Functions table{};
#define ZORVA_GL_LOAD(ret, name, params)                                              \
    table.name = reinterpret_cast<ret(*) params>(lookup("gl" #name));                 \
    if (table.name == nullptr) {                                                      \
        PyErr_Format(layer_error(), "%s: the driver lacks gl" #name, failure_prefix); \
        return -1;                                                                    \
    }
    ZORVA_GL_FUNCTIONS(ZORVA_GL_LOAD)
#undef ZORVA_GL_LOAD
    gl::fn = table;
    return 0;
}

void* egl_proc(const char* name) {
    return egl.GetProcAddress(name);
}

void* glx_proc(const char* name) {
    return glx.GetProcAddress(reinterpret_cast<const unsigned char*>(name));
}

void remember_strings() {
    const auto* renderer = gl::fn.GetString(gl::RENDERER);
    const auto* version = gl::fn.GetString(gl::VERSION);
    state.context.renderer = renderer ? reinterpret_cast<const char*>(renderer) : "";
    state.context.version = version ? reinterpret_cast<const char*>(version) : "";
}

int create_own_context() {
    if (open_library() < 0) return -1;
    EGLDisplay display = open_display();
    if (display == nullptr) return -1;
    if (!egl.BindAPI(kEglOpenGlApi)) return fail("eglBindAPI(OpenGL) failed");

    // Surface type 0: any configuration (the default would ask for window surfaces, which a
    // headless platform has none of).
    const EGLint config_attribs[] = {kEglRenderableType, kEglOpenGlBit, kEglSurfaceType, 0,
                                     kEglNone};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (!egl.ChooseConfig(display, config_attribs, &config, 1, &count) || count < 1) {
        return fail("no EGL configuration renders OpenGL");
    }
    const EGLint context_attribs[] = {
        kEglContextMajorVersion, 3,       kEglContextMinorVersion, 3, kEglContextProfileMask,
        kEglCoreProfileBit,      kEglNone};
    EGLContext context = egl.CreateContext(display, config, nullptr, context_attribs);
    if (context == nullptr) return fail("eglCreateContext for OpenGL 3.3 core failed");

    // All drawing goes to our own framebuffers, so no surface is needed where the driver allows
    // that; otherwise a 1x1 pbuffer stands in.
    EGLSurface surface = nullptr;
    if (!egl.MakeCurrent(display, nullptr, nullptr, context)) {
        const EGLint pbuffer_config_attribs[] = {kEglRenderableType, kEglOpenGlBit, kEglSurfaceType,
                                                 kEglPbufferBit, kEglNone};
        EGLConfig pbuffer_config = nullptr;
        if (!egl.ChooseConfig(display, pbuffer_config_attribs, &pbuffer_config, 1, &count) ||
            count < 1) {
            return fail("neither a surfaceless context nor a pbuffer configuration is available");
        }
        context = egl.CreateContext(display, pbuffer_config, nullptr, context_attribs);
        if (context == nullptr) return fail("eglCreateContext for a pbuffer failed");
        const EGLint surface_attribs[] = {kEglWidth, 1, kEglHeight, 1, kEglNone};
        surface = egl.CreatePbufferSurface(display, pbuffer_config, surface_attribs);
        if (surface == nullptr) return fail("eglCreatePbufferSurface failed");
        if (!egl.MakeCurrent(display, surface, surface, context)) {
            return fail("eglMakeCurrent failed");
        }
    }
    // Released again on failure, so that a failed attempt leaves nothing current on the thread.
    if (load_gl_functions(egl_proc, kOwnFailure) < 0) {
        egl.MakeCurrent(display, nullptr, nullptr, nullptr);
        return -1;
    }
    remember_strings();
    state.host.adopted = false;
    if (init_renderer() < 0) {
        egl.MakeCurrent(display, nullptr, nullptr, nullptr);
        gl::fn = gl::Functions{};
        return -1;
    }
    state.context.display = display;
    state.context.surface = surface;
    state.context.handle = context;
    state.context.kind = ContextKind::kOwn;
    // Nothing was current before (else the layer would have adopted it): the call that made the
    // context releases it when it ends.
    state.context.caller = CallerContext{Restore::kRelease};
    return 0;
}

// The GLX library, when the application has loaded one (RTLD_NOLOAD: never loaded here).
bool glx_available() {
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
            load_symbol(library, found.GetProcAddress, "glXGetProcAddressARB")) {
            glx = found;
            return true;
        }
        dlclose(library);
    }
    return false;
}

EGLContext current_egl_context() {
    return egl.GetCurrentContext != nullptr ? egl.GetCurrentContext() : nullptr;
}

GLXContext current_glx_context() {
    return glx_available() ? glx.GetCurrentContext() : nullptr;
}

// The context current on this thread in the API of the adopted one.
void* current_adopted_api_context() {
    return state.context.kind == ContextKind::kAdoptedGlx ? current_glx_context()
                                                          : current_egl_context();
}

const char* api_name(ContextKind kind) {
    return kind == ContextKind::kAdoptedGlx ? "GLX" : "EGL";
}

// The version an adopted context offers, checked against what the layer's shaders need.
int check_adopted_version() {
    int major = 0, minor = 0;
    const char* version = state.context.version.c_str();
    if (std::strncmp(version, "OpenGL ES", 9) == 0) {
        PyErr_Format(layer_error(),
                     "the current context is %s (%s), not desktop OpenGL: the rendering layer "
                     "needs desktop OpenGL 3.3 or later (core or compatibility profile)",
                     version, state.context.renderer.c_str());
        return -1;
    }
    std::sscanf(version, "%d.%d", &major, &minor);
    if (major < 3 || (major == 3 && minor < 3)) {
        PyErr_Format(layer_error(),
                     "the current OpenGL context is too old for the rendering layer: it offers "
                     "OpenGL %s (%s), and the layer needs OpenGL 3.3 or later (core or "
                     "compatibility profile); create the context with version 3.3 or later",
                     version, state.context.renderer.c_str());
        return -1;
    }
    return 0;
}

int adopt(ContextKind kind, void* context) {
    const char* prefix = kind == ContextKind::kAdoptedGlx
                             ? "cannot draw into the current GLX context"
                             : "cannot draw into the current EGL context";
    if (load_gl_functions(kind == ContextKind::kAdoptedGlx ? glx_proc : egl_proc, prefix) < 0)
        return -1;
    remember_strings();
    if (check_adopted_version() < 0) {
        gl::fn = gl::Functions{};
        return -1;
    }
    state.host.adopted = true;
    if (init_renderer() < 0) {
        host_restore();
        state.host.adopted = false;
        gl::fn = gl::Functions{};
        PyObject* cause = PyErr_GetRaisedException();
        PyObject* text = cause ? PyObject_Str(cause) : nullptr;
        const char* why = text ? PyUnicode_AsUTF8(text) : nullptr;
        if (why == nullptr) PyErr_Clear();
        PyErr_Format(layer_error(),
                     "the current OpenGL context (%s, %s) cannot compile the rendering layer's "
                     "shaders (GLSL 3.30 needed): %s",
                     state.context.version.c_str(), state.context.renderer.c_str(),
                     why ? why : "unknown failure");
        Py_XDECREF(text);
        Py_XDECREF(cause);
        return -1;
    }
    state.context.handle = context;
    state.context.kind = kind;
    state.context.caller = CallerContext{};
    return 0;
}

void release_queued_at_exit();

// First need: adopt the context current on this thread, or make the layer's own.
int choose_context() {
    const auto started = std::chrono::steady_clock::now();
    const bool have_egl = open_library() == 0;
    int result;
    if (EGLContext context = have_egl ? current_egl_context() : nullptr) {
        result = adopt(ContextKind::kAdoptedEgl, context);
    } else if (GLXContext context = current_glx_context()) {
        if (!have_egl) PyErr_Clear();
        result = adopt(ContextKind::kAdoptedGlx, context);
    } else if (!have_egl) {
        result = -1;  // open_library's error says why no headless context can be made
    } else {
        result = create_own_context();
    }
    if (result < 0) return -1;
    state.context.marker = gl::fn.FenceSync(gl::SYNC_GPU_COMMANDS_COMPLETE, 0);
    state.context.owner_thread = PyThread_get_thread_ident();
    Py_AtExit(release_queued_at_exit);
    state.context.startup_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return 0;
}

int not_owner_thread() {
    // A GL context is current on one thread only; calls from another thread would draw into
    // nothing.
    PyErr_SetString(layer_error(), "the rendering context belongs to the thread that created it");
    return -1;
}

int adopted_not_current() {
    void* current = current_adopted_api_context();
    char other[64];
    if (current == nullptr) {
        std::snprintf(other, sizeof other, "no context is current");
    } else {
        std::snprintf(other, sizeof other, "context %p is current instead", current);
    }
    PyErr_Format(layer_error(),
                 "the rendering layer draws into the application's %s context %p (adopted at its "
                 "first use), which is not current on this thread (%s); make that context "
                 "current before calling the layer",
                 api_name(state.context.kind), state.context.handle, other);
    return -1;
}

int make_own_current() {
    if (egl.MakeCurrent(state.context.display, state.context.surface, state.context.surface,
                        state.context.handle))
        return 0;
    PyErr_Format(layer_error(),
                 "could not make the rendering layer's headless context current (EGL error "
                 "0x%04x)",
                 static_cast<unsigned>(egl.GetError()));
    return -1;
}

void put_back_caller() {
    switch (state.context.caller.restore) {
        case Restore::kEgl:
            egl.MakeCurrent(state.context.caller.egl_display, state.context.caller.egl_draw,
                            state.context.caller.egl_read, state.context.caller.egl_context);
            break;
        case Restore::kGlx:
            // Only one window-system API may be current on a thread: the layer's EGL context is
            // released before GLX takes its own back.
            egl.MakeCurrent(state.context.display, nullptr, nullptr, nullptr);
            glx.MakeContextCurrent(state.context.caller.glx_display, state.context.caller.glx_draw,
                                   state.context.caller.glx_read, state.context.caller.glx_context);
            break;
        case Restore::kRelease:
            egl.MakeCurrent(state.context.display, nullptr, nullptr, nullptr);
            break;
        case Restore::kNothing:
            break;
    }
}

// The outermost call in the own context: make it current, remembering what to put back.
int enter_own() {
    EGLContext current = egl.GetCurrentContext();
    if (current == state.context.handle) {
        state.context.caller =
            CallerContext{state.context.holding ? Restore::kRelease : Restore::kNothing};
        return 0;
    }
    state.context.holding = false;  // the application made another context current over ours
    CallerContext caller{};
    if (current != nullptr) {
        caller.restore = Restore::kEgl;
        caller.egl_display = egl.GetCurrentDisplay();
        caller.egl_draw = egl.GetCurrentSurface(kEglDraw);
        caller.egl_read = egl.GetCurrentSurface(kEglRead);
        caller.egl_context = current;
    } else if (GLXContext glx_context = current_glx_context()) {
        caller.restore = Restore::kGlx;
        caller.glx_display = glx.GetCurrentDisplay();
        caller.glx_draw = glx.GetCurrentDrawable();
        caller.glx_read = glx.GetCurrentReadDrawable();
        caller.glx_context = glx_context;
        glx.MakeContextCurrent(caller.glx_display, 0, 0, nullptr);
    } else {
        caller.restore = Restore::kRelease;
    }
    state.context.caller = caller;
    if (make_own_current() < 0) {
        put_back_caller();
        state.context.caller = CallerContext{};
        return -1;
    }
    return 0;
}

void run_deferred() {
    if (state.context.deferred.empty()) return;
    std::vector<Deferred> pending;
    pending.swap(state.context.deferred);
    for (const Deferred& item : pending) item.release(item.first, item.second);
}

// After the interpreter has finished (no Python calls here): objects released on other threads
// since the owner's last call are deleted while the context still exists and can be used.
void release_queued_at_exit() {
    if (state.context.deferred.empty() || state.context.depth != 0 ||
        PyThread_get_thread_ident() != state.context.owner_thread) {
        return;
    }
    switch (state.context.kind) {
        case ContextKind::kOwn: {
            EGLContext current = egl.GetCurrentContext();
            if (current != state.context.handle && current != nullptr)
                return;  // not ours to switch now
            if (current == nullptr &&
                !egl.MakeCurrent(state.context.display, state.context.surface,
                                 state.context.surface, state.context.handle)) {
                return;
            }
            run_deferred();
            if (current == nullptr)
                egl.MakeCurrent(state.context.display, nullptr, nullptr, nullptr);
            break;
        }
        case ContextKind::kAdoptedEgl:
        case ContextKind::kAdoptedGlx:
            // Only while the host's context still exists and is current; else it went with it.
            if (current_adopted_api_context() == state.context.handle) {
                run_deferred();
                host_restore();
            }
            break;
        case ContextKind::kNone:
            break;
    }
}

}  // namespace

int enter_call() {
    if (state.context.kind != ContextKind::kNone &&
        PyThread_get_thread_ident() != state.context.owner_thread) [[unlikely]] {
        return not_owner_thread();
    }
    if (state.context.depth > 0) {
        ++state.context.depth;
        return 0;
    }
    const bool marker_current =
        state.context.marker != nullptr && gl::fn.IsSync(state.context.marker);
    switch (state.context.kind) {
        case ContextKind::kOwn:
            // Nothing shares the layer's own context, so the marker identifies it.
            if (marker_current) {
                state.context.caller =
                    CallerContext{state.context.holding ? Restore::kRelease : Restore::kNothing};
            } else if (enter_own() < 0) {
                return -1;
            }
            break;
        case ContextKind::kAdoptedEgl:
        case ContextKind::kAdoptedGlx:
            // A context sharing the host's objects also sees the marker, so a drawing pass is
            // checked exactly where it begins; inside it the marker suffices.
            if (marker_current && !modes_idle()) break;
            if (current_adopted_api_context() != state.context.handle) {
                return adopted_not_current();
            }
            // An error the host left pending (some libraries leave one after a successful
            // read-back) would otherwise be reported as the layer's own.
            if (modes_idle()) gl::drain_errors();
            break;
        case ContextKind::kNone:
            if (choose_context() < 0) return -1;
            break;
    }
    state.context.depth = 1;
    run_deferred();
    return 0;
}

void leave_call() {
    if (--state.context.depth > 0) return;
    if (state.context.kind != ContextKind::kOwn) {
        if (modes_idle()) host_restore();
        return;
    }
    if (state.context.caller.restore == Restore::kRelease && !modes_idle()) {
        // Keep the context current through a drawing pass; the call that ends the last mode
        // releases it.
        state.context.holding = true;
    } else {
        if (state.context.caller.restore == Restore::kRelease) state.context.holding = false;
        put_back_caller();
    }
    state.context.caller = CallerContext{};
}

int ensure_context() {
    CallScope scope;
    return scope.ok() ? 0 : -1;
}

bool context_ready() {
    return state.context.kind != ContextKind::kNone;
}

bool foreign_context_at_entry() {
    return state.context.kind == ContextKind::kOwn &&
           (state.context.caller.restore == Restore::kEgl ||
            state.context.caller.restore == Restore::kGlx);
}

void release_gl_objects(void (*release)(uint32_t, uint32_t), uint32_t first, uint32_t second) {
    if (state.context.kind == ContextKind::kNone) return;  // no context, so no object was ever made
    PyObject* pending = PyErr_GetRaisedException();
    if (enter_call() == 0) {
        release(first, second);
        leave_call();
    } else {
        PyErr_Clear();
        state.context.deferred.push_back(Deferred{release, first, second});
    }
    PyErr_SetRaisedException(pending);
}

const char* context_kind() {
    switch (state.context.kind) {
        case ContextKind::kOwn:
            return "own headless EGL";
        case ContextKind::kAdoptedEgl:
            return "adopted EGL";
        case ContextKind::kAdoptedGlx:
            return "adopted GLX";
        case ContextKind::kNone:
            break;
    }
    return "";
}

const char* renderer_name() {
    return state.context.renderer.c_str();
}
const char* gl_version() {
    return state.context.version.c_str();
}
double context_startup_seconds() {
    return state.context.startup_seconds;
}

}  // namespace zorva::layer
