// Headless EGL context: libEGL is opened with dlopen and every entry point is looked up at run
// time, so the module loads (and imports) on a machine without any GL library at all; only the
// first call that needs drawing fails there.
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <dlfcn.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>

#include "fast/raylib/context.h"
#include "fast/raylib/gl.h"
#include "fast/raylib/renderer.h"

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

struct Egl {
    void* library = nullptr;
    void* (*GetProcAddress)(const char*) = nullptr;
    EGLint (*GetError)() = nullptr;
    EGLDisplay (*GetDisplay)(void*) = nullptr;
    const char* (*QueryString)(EGLDisplay, EGLint) = nullptr;
    EGLBoolean (*Initialize)(EGLDisplay, EGLint*, EGLint*) = nullptr;
    EGLBoolean (*Terminate)(EGLDisplay) = nullptr;
    EGLBoolean (*BindAPI)(EGLenum) = nullptr;
    EGLBoolean (*ChooseConfig)(EGLDisplay, const EGLint*, EGLConfig*, EGLint, EGLint*) = nullptr;
    EGLContext (*CreateContext)(EGLDisplay, EGLConfig, EGLContext, const EGLint*) = nullptr;
    EGLSurface (*CreatePbufferSurface)(EGLDisplay, EGLConfig, const EGLint*) = nullptr;
    EGLBoolean (*MakeCurrent)(EGLDisplay, EGLSurface, EGLSurface, EGLContext) = nullptr;
    EGLDisplay (*GetPlatformDisplayEXT)(EGLenum, void*, const EGLint*) = nullptr;
    EGLBoolean (*QueryDevicesEXT)(EGLint, EGLDeviceEXT*, EGLint*) = nullptr;
};

Egl egl;
bool g_ready = false;
unsigned long g_owner_thread = 0;
double g_startup_seconds = 0.0;
std::string g_renderer;
std::string g_version;

int fail(const char* what) {
    EGLint code = egl.GetError ? egl.GetError() : 0;
    PyErr_Format(PyExc_RuntimeError,
                 "could not create a headless OpenGL 3.3 context: %s (EGL error 0x%04x)", what,
                 static_cast<unsigned>(code));
    return -1;
}

template <typename Fn>
bool load_symbol(Fn& out, const char* name) {
    out = reinterpret_cast<Fn>(dlsym(egl.library, name));
    return out != nullptr;
}

int open_library() {
    if (egl.library != nullptr) return 0;
    void* library = dlopen("libEGL.so.1", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = dlerror();
        PyErr_Format(PyExc_RuntimeError,
                     "could not create a headless OpenGL 3.3 context: libEGL.so.1 cannot be "
                     "loaded (%s)",
                     why ? why : "unknown reason");
        return -1;
    }
    egl.library = library;
    bool ok =
        load_symbol(egl.GetProcAddress, "eglGetProcAddress") &&
        load_symbol(egl.GetError, "eglGetError") && load_symbol(egl.GetDisplay, "eglGetDisplay") &&
        load_symbol(egl.QueryString, "eglQueryString") &&
        load_symbol(egl.Initialize, "eglInitialize") &&
        load_symbol(egl.Terminate, "eglTerminate") && load_symbol(egl.BindAPI, "eglBindAPI") &&
        load_symbol(egl.ChooseConfig, "eglChooseConfig") &&
        load_symbol(egl.CreateContext, "eglCreateContext") &&
        load_symbol(egl.CreatePbufferSurface, "eglCreatePbufferSurface") &&
        load_symbol(egl.MakeCurrent, "eglMakeCurrent");
    if (!ok) {
        egl = Egl{};
        dlclose(library);
        PyErr_SetString(PyExc_RuntimeError,
                        "could not create a headless OpenGL 3.3 context: libEGL.so.1 lacks a "
                        "core EGL function");
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
// needed), then the first EGL device, then the default display.
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
    return nullptr;
}

int load_gl_functions() {
    // Core GL 1.x functions are not always reachable through eglGetProcAddress; the GL library
    // of the same vendor-neutral dispatch is the fallback.
    void* gl_library = dlopen("libOpenGL.so.0", RTLD_NOW | RTLD_LOCAL);
    if (gl_library == nullptr) gl_library = dlopen("libGL.so.1", RTLD_NOW | RTLD_LOCAL);
    auto lookup = [gl_library](const char* name) -> void* {
        void* p = egl.GetProcAddress(name);
        if (p == nullptr && gl_library != nullptr) p = dlsym(gl_library, name);
        return p;
    };
    using namespace gl;
    gl::Functions table{};
#define ZORVA_GL_LOAD(ret, name, params)                                                    \
    table.name = reinterpret_cast<ret(*) params>(lookup("gl" #name));                       \
    if (table.name == nullptr) {                                                            \
        PyErr_SetString(PyExc_RuntimeError,                                                 \
                        "could not create a headless OpenGL 3.3 context: the driver lacks " \
                        "gl" #name);                                                        \
        return -1;                                                                          \
    }
    ZORVA_GL_FUNCTIONS(ZORVA_GL_LOAD)
#undef ZORVA_GL_LOAD
    gl::fn = table;
    return 0;
}

int create_context() {
    const auto started = std::chrono::steady_clock::now();
    if (open_library() < 0) return -1;
    EGLDisplay display = open_display();
    if (display == nullptr) return fail("no EGL display could be initialised");
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
        EGLSurface surface = egl.CreatePbufferSurface(display, pbuffer_config, surface_attribs);
        if (surface == nullptr) return fail("eglCreatePbufferSurface failed");
        if (!egl.MakeCurrent(display, surface, surface, context)) {
            return fail("eglMakeCurrent failed");
        }
    }
    if (load_gl_functions() < 0) return -1;
    const auto* renderer = gl::fn.GetString(gl::RENDERER);
    const auto* version = gl::fn.GetString(gl::VERSION);
    g_renderer = renderer ? reinterpret_cast<const char*>(renderer) : "";
    g_version = version ? reinterpret_cast<const char*>(version) : "";
    if (init_renderer() < 0) {
        gl::fn = gl::Functions{};
        return -1;
    }
    g_owner_thread = PyThread_get_thread_ident();
    g_ready = true;
    g_startup_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    (void)kEglSuccess;
    return 0;
}

}  // namespace

int ensure_context() {
    if (g_ready) {
        // A GL context is current on one thread only; calls from another thread would draw
        // into nothing.
        if (PyThread_get_thread_ident() == g_owner_thread) [[likely]]
            return 0;
        PyErr_SetString(PyExc_RuntimeError,
                        "the rendering context belongs to the thread that created it");
        return -1;
    }
    return create_context();
}

bool context_ready() {
    return g_ready;
}
const char* renderer_name() {
    return g_renderer.c_str();
}
const char* gl_version() {
    return g_version.c_str();
}
double context_startup_seconds() {
    return g_startup_seconds;
}

}  // namespace zorva::layer
