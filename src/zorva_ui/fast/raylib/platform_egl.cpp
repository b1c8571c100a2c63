// EGL: applications' EGL contexts (moderngl's standalone ones, GLFW or SDL windows on EGL) and
// the layer's own headless context. libEGL is opened with dlopen and every entry point looked up
// at run time, so the module imports on a machine without any GL library at all; only a call
// that needs a context fails there.
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <dlfcn.h>
#include <sys/resource.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "fast/raylib/errors.h"
#include "fast/raylib/platform.h"

namespace zorva::layer::platform {
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
constexpr EGLint kEglVersion = 0x3054;
constexpr EGLint kEglDraw = 0x3059;
constexpr EGLint kEglRead = 0x305A;
constexpr EGLint kEglConfigId = 0x3028;

struct Egl {
    void* library = nullptr;
    bool unavailable = false;  // dlopen failed once: not retried on every lookup of the current
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
    EGLBoolean (*QueryContext)(EGLDisplay, EGLContext, EGLint, EGLint*) = nullptr;
    EGLBoolean (*DestroyContext)(EGLDisplay, EGLContext) = nullptr;
    EGLBoolean (*DestroySurface)(EGLDisplay, EGLSurface) = nullptr;
    EGLBoolean (*Terminate)(EGLDisplay) = nullptr;
    EGLDisplay (*GetPlatformDisplayEXT)(EGLenum, void*, const EGLint*) = nullptr;
    EGLBoolean (*QueryDevicesEXT)(EGLint, EGLDeviceEXT*, EGLint*) = nullptr;
    EGLContext (*GetCurrentContext)() = nullptr;
    EGLDisplay (*GetCurrentDisplay)() = nullptr;
    EGLSurface (*GetCurrentSurface)(EGLint) = nullptr;
};

Egl egl;

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

// What to say instead under an address-space limit (`ulimit -v`): the driver maps its code, a
// heap and the shader compiler's memory, which a tight limit refuses, and installing drivers
// would not help. The limit is the likelier cause, so it is named rather than the drivers.
const char* failure_hint() {
    static char text[160];
    struct rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return kInstallHint;
    std::snprintf(text, sizeof text,
                  "; the process's address space is limited to %llu MiB (ulimit -v), which may "
                  "leave the GL driver too little room to load",
                  static_cast<unsigned long long>(limit.rlim_cur >> 20));
    return text;
}

constexpr char kOwnFailure[] = "could not create a headless OpenGL 3.3 context";

int fail(const char* what) {
    EGLint code = egl.GetError ? egl.GetError() : 0;
    PyErr_Format(layer_error(), "%s: %s (EGL error 0x%04x, %s)%s", kOwnFailure, what,
                 static_cast<unsigned>(code), egl_error_name(code), failure_hint());
    return -1;
}

template <typename Fn>
bool load_symbol(void* library, Fn& out, const char* name) {
    out = reinterpret_cast<Fn>(dlsym(library, name));
    return out != nullptr;
}

// 0, or -1 with RuntimeError saying why libEGL cannot be used.
int open_library() {
    if (egl.library != nullptr) return 0;
    void* library = dlopen("libEGL.so.1", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        egl.unavailable = true;
        const char* why = dlerror();
        PyErr_Format(layer_error(), "%s: libEGL.so.1 cannot be loaded (%s)%s", kOwnFailure,
                     why ? why : "unknown reason", failure_hint());
        return -1;
    }
    Egl found{library};
    bool ok = load_symbol(library, found.GetProcAddress, "eglGetProcAddress") &&
              load_symbol(library, found.GetError, "eglGetError") &&
              load_symbol(library, found.GetDisplay, "eglGetDisplay") &&
              load_symbol(library, found.QueryString, "eglQueryString") &&
              load_symbol(library, found.Initialize, "eglInitialize") &&
              load_symbol(library, found.BindAPI, "eglBindAPI") &&
              load_symbol(library, found.ChooseConfig, "eglChooseConfig") &&
              load_symbol(library, found.CreateContext, "eglCreateContext") &&
              load_symbol(library, found.CreatePbufferSurface, "eglCreatePbufferSurface") &&
              load_symbol(library, found.MakeCurrent, "eglMakeCurrent") &&
              load_symbol(library, found.QueryContext, "eglQueryContext") &&
              load_symbol(library, found.DestroyContext, "eglDestroyContext") &&
              load_symbol(library, found.DestroySurface, "eglDestroySurface") &&
              load_symbol(library, found.Terminate, "eglTerminate") &&
              load_symbol(library, found.GetCurrentContext, "eglGetCurrentContext") &&
              load_symbol(library, found.GetCurrentDisplay, "eglGetCurrentDisplay") &&
              load_symbol(library, found.GetCurrentSurface, "eglGetCurrentSurface");
    if (!ok) {
        dlclose(library);
        egl.unavailable = true;
        PyErr_Format(layer_error(), "%s: libEGL.so.1 lacks a core EGL function", kOwnFailure);
        return -1;
    }
    found.GetPlatformDisplayEXT = reinterpret_cast<decltype(found.GetPlatformDisplayEXT)>(
        found.GetProcAddress("eglGetPlatformDisplayEXT"));
    found.QueryDevicesEXT = reinterpret_cast<decltype(found.QueryDevicesEXT)>(
        found.GetProcAddress("eglQueryDevicesEXT"));
    egl = found;
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

// Whether a display was initialised already, in this process or, before a fork, in a parent.
bool initialised(EGLDisplay display) {
    if (egl.QueryString(display, kEglVersion) != nullptr) return true;
    egl.GetError();  // EGL_NOT_INITIALIZED, consumed
    return false;
}

bool initialise(EGLDisplay display, bool fresh) {
    if (display == nullptr || (fresh && initialised(display))) return false;
    return egl.Initialize(display, nullptr, nullptr) != 0;
}

// An initialised display: the surfaceless platform first (no display server, no device node
// needed), then the first EGL device, then the default display. Null with RuntimeError when none
// can be initialised.
//
// `fresh`: none initialised before. A display the parent initialised before a fork holds a
// driver instance whose worker threads stayed in the parent, and terminating it waits for them
// for ever. EGL hands back the same display for the same platform, device and attribute list,
// and counts an empty list apart from none, so a child (and a grandchild) still finds one.
EGLDisplay open_display(bool fresh) {
    static const EGLint kNoAttributes[] = {kEglNone};
    const EGLint* const lists[] = {nullptr, kNoAttributes};
    const char* client = egl.QueryString(nullptr, kEglExtensions);
    if (egl.GetPlatformDisplayEXT != nullptr) {
        const bool surfaceless = has_extension(client, "EGL_MESA_platform_surfaceless");
        EGLDeviceEXT devices[4];
        EGLint count = 0;
        const bool device = egl.QueryDevicesEXT != nullptr &&
                            has_extension(client, "EGL_EXT_platform_device") &&
                            egl.QueryDevicesEXT(4, devices, &count) && count > 0;
        for (const EGLint* attributes : lists) {
            if (surfaceless) {
                EGLDisplay display =
                    egl.GetPlatformDisplayEXT(kEglPlatformSurfacelessMesa, nullptr, attributes);
                if (initialise(display, fresh)) return display;
            }
            if (device) {
                EGLDisplay display =
                    egl.GetPlatformDisplayEXT(kEglPlatformDeviceExt, devices[0], attributes);
                if (initialise(display, fresh)) return display;
            }
            if (!fresh) break;
        }
    }
    EGLDisplay display = egl.GetDisplay(nullptr);
    if (initialise(display, fresh)) return display;
    if (fresh) {
        PyErr_Format(layer_error(),
                     "%s: every EGL display this process can open was initialised before "
                     "os.fork(), in a parent process, and its driver cannot run in a child; "
                     "start the process with multiprocessing's \"spawn\" or \"forkserver\" "
                     "method instead",
                     kOwnFailure);
        return nullptr;
    }
    fail("no EGL display could be initialised");
    return nullptr;
}

void* current_context() {
    if (egl.library == nullptr) {
        if (egl.unavailable) return nullptr;
        if (open_library() < 0) {
            PyErr_Clear();  // no EGL: nothing of it can be current
            return nullptr;
        }
    }
    return egl.GetCurrentContext();
}

Binding current() {
    Binding binding{Api::kEgl};
    binding.context = egl.GetCurrentContext();
    binding.display = egl.GetCurrentDisplay();
    binding.draw = reinterpret_cast<uintptr_t>(egl.GetCurrentSurface(kEglDraw));
    binding.read = reinterpret_cast<uintptr_t>(egl.GetCurrentSurface(kEglRead));
    return binding;
}

bool make_current(const Binding& b) {
    return egl.MakeCurrent(b.display, reinterpret_cast<EGLSurface>(b.draw),
                           reinterpret_cast<EGLSurface>(b.read), b.context) != 0;
}

void release(const Binding& b) {
    egl.MakeCurrent(b.display, nullptr, nullptr, nullptr);
}

void* proc_address(const char* name) {
    return egl.GetProcAddress(name);
}

// EGL checks the handles it is given against its display's lists, so asking about a destroyed
// context is safe: it answers EGL_BAD_CONTEXT (or EGL_NOT_INITIALIZED once the display was
// terminated).
Existence exists(const Binding& b, const Binding*) {
    EGLint value = 0;
    if (egl.QueryContext(b.display, b.context, kEglConfigId, &value)) return Existence::kAlive;
    egl.GetError();  // consumed: the next EGL failure must report its own code
    return Existence::kDestroyed;
}

}  // namespace

extern const Backend kEglBackend = {
    Api::kEgl, "EGL", current_context, current, make_current, release, proc_address, exists,
};

int create_headless(Binding* out, bool fresh_display) {
    if (open_library() < 0) return -1;
    EGLDisplay display = open_display(fresh_display);
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
    *out = Binding{Api::kEgl, display, reinterpret_cast<uintptr_t>(surface),
                   reinterpret_cast<uintptr_t>(surface), context};
    return 0;
}

void destroy_headless(const Binding& b) {
    egl.MakeCurrent(b.display, nullptr, nullptr, nullptr);
    if (b.draw != 0) egl.DestroySurface(b.display, reinterpret_cast<EGLSurface>(b.draw));
    egl.DestroyContext(b.display, b.context);
    egl.Terminate(b.display);
}

}  // namespace zorva::layer::platform
