// The devices the layer knows and the call that finds the right one (context.h): setting up a
// device in a context seen for the first time, telling contexts that share objects apart from
// those that do not, and forgetting devices whose context is gone.
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <dlfcn.h>
#include <pthread.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fast/common/pyref.h"
#include "fast/raylib/context.h"
#include "fast/raylib/frame.h"
#include "fast/raylib/device.h"
#include "fast/raylib/errors.h"
#include "fast/raylib/gl.h"
#include "fast/raylib/host_state.h"
#include "fast/raylib/platform.h"
#include "fast/raylib/renderer.h"

namespace zorva::gl {
Functions fn{};
}  // namespace zorva::gl

namespace zorva::layer {

Device* active_device = nullptr;

namespace {

using platform::Api;
using platform::Binding;

struct Registry {
    // Devices and groups live for the process: objects keep pointers to their group, and a
    // forgotten device keeps answering "destroyed" to them.
    std::vector<std::unique_ptr<Device>> devices;
    std::vector<std::unique_ptr<ShareGroup>> groups;
    Device* own = nullptr;
    Device* last = nullptr;         // the device of the last call: checked first
    Device* table_owner = nullptr;  // whose GL entry points gl::fn holds
    int depth = 0;                  // nesting of layer calls
    unsigned long thread = 0;       // the thread of the running call
    bool at_exit_registered = false;
    // This process is a child of one that had contexts (os.fork(), multiprocessing): the
    // layer's own context must be made on a display the parent never initialised.
    bool forked = false;
    // Shaders the pass of a forgotten device held, let go once the call that found it out has
    // entered its device: their release must not run inside the search for the device.
    std::vector<ZvShaderObject*> let_go;
};

Registry& registry = *new Registry();

// Set in a child right after fork (nothing else is safe there): the next call leaves the
// parent's devices behind.
bool fork_pending = false;

void note_fork_in_child() {
    fork_pending = true;
}

// Holds the thread's token; its destruction, as the thread exits, marks the token ended.
struct TokenHolder {
    std::shared_ptr<ThreadToken> token = std::make_shared<ThreadToken>();
    ~TokenHolder() { token->ended.store(true, std::memory_order_release); }
};

int not_owner_thread() {
    // A GL context is current on one thread only; calls from another thread would draw into
    // nothing.
    PyErr_SetString(layer_error(), "the rendering context belongs to the thread that created it");
    return -1;
}

const char* kind_name(DeviceKind kind) {
    switch (kind) {
        case DeviceKind::kOwn:
            return "own headless EGL";
        case DeviceKind::kAdoptedEgl:
            return "adopted EGL";
        case DeviceKind::kAdoptedGlx:
            return "adopted GLX";
    }
    return "";
}

// Whether the calling thread may use the device: its owner, or any thread once the owner has
// ended, which then takes the device over with what the owner left queued. An identifier alone
// would not do: a new thread may be given a dead thread's.
bool owned_here(Device& device, unsigned long me) {
    if (!device.owner->ended.load(std::memory_order_acquire)) return device.owner_thread == me;
    device.owner = this_thread_token();
    device.owner_thread = me;
    if (device.pass.open()) {
        // The modes the ended thread left open mean nothing to this one.
        registry.let_go.insert(registry.let_go.end(), device.pass.shaders.begin(),
                               device.pass.shaders.end());
        device.pass = Pass{};
        device.holding = false;
    }
    return true;
}

void use_table(Device& device) {
    if (registry.table_owner != &device) {
        gl::fn = device.gl;
        registry.table_owner = &device;
    }
}

// Every GL function, through `get_proc` (the API's own lookup) and, for core GL 1.x functions
// that a lookup may not return, the vendor-neutral GL library.
int load_gl_functions(void* (*get_proc)(const char*), const char* failure_prefix,
                      gl::Functions* out) {
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
    *out = table;
    return 0;
}

// How each library that opens windows asks for a context the layer can use.
constexpr char kHowToAsk[] =
    ". Ask for desktop OpenGL 3.3: GLFW: glfw.window_hint(glfw.CONTEXT_VERSION_MAJOR, 3), "
    "glfw.window_hint(glfw.CONTEXT_VERSION_MINOR, 3) and glfw.window_hint(glfw.OPENGL_PROFILE, "
    "glfw.OPENGL_CORE_PROFILE) before glfw.create_window (and glfw.CLIENT_API left at "
    "glfw.OPENGL_API); pygame: pygame.display.gl_set_attribute(pygame.GL_CONTEXT_MAJOR_VERSION, "
    "3), (pygame.GL_CONTEXT_MINOR_VERSION, 3) and (pygame.GL_CONTEXT_PROFILE_MASK, "
    "pygame.GL_CONTEXT_PROFILE_CORE) before pygame.display.set_mode(..., pygame.OPENGL); "
    "raylib: its desktop build (OpenGL 3.3, the default of the pip package), not an OpenGL ES or "
    "OpenGL 2.1 build";

// The version a context offers, checked against what the layer's shaders need.
int check_version(const Device& device) {
    int major = 0, minor = 0;
    const char* version = device.version.c_str();
    if (std::strncmp(version, "OpenGL ES", 9) == 0) {
        PyErr_Format(layer_error(),
                     "the current context is %s (%s), not desktop OpenGL: the rendering layer "
                     "needs desktop OpenGL 3.3 or later (core or compatibility profile)%s",
                     version, device.renderer.c_str(), kHowToAsk);
        return -1;
    }
    std::sscanf(version, "%d.%d", &major, &minor);
    if (major < 3 || (major == 3 && minor < 3)) {
        PyErr_Format(layer_error(),
                     "the current OpenGL context is too old for the rendering layer: it offers "
                     "OpenGL %s (%s), and the layer needs OpenGL 3.3 or later (core or "
                     "compatibility profile); create the context with version 3.3 or later%s",
                     version, device.renderer.c_str(), kHowToAsk);
        return -1;
    }
    return 0;
}

// The share group of a device being set up (its context current): the group of any live
// device whose marker this context can see, else a new group.
ShareGroup* find_group(Device& device) {
    for (const auto& group : registry.groups) {
        Device* member = group->live_device();
        if (member != nullptr && member->marker != nullptr && device.gl.IsSync(member->marker)) {
            return group.get();
        }
    }
    auto group = std::make_unique<ShareGroup>();
    group->serial = registry.groups.size() + 1;
    registry.groups.push_back(std::move(group));
    return registry.groups.back().get();
}

void release_queued_at_exit();

// Sets up a device in the context current now (`binding`). Null with RuntimeError when the
// context cannot run the layer; nothing is remembered then.
Device* set_up(const Binding& binding, DeviceKind kind) {
    const auto started = std::chrono::steady_clock::now();
    auto device = std::make_unique<Device>();
    device->kind = kind;
    device->binding = binding;
    device->owner_thread = PyThread_get_thread_ident();
    device->owner = this_thread_token();
    device->draws_into_host = kind != DeviceKind::kOwn;
    device->keeps_host_state = kind != DeviceKind::kOwn;
    const platform::Backend& backend = platform::backend(binding.api);
    const char* prefix = kind == DeviceKind::kOwn ? "could not create a headless OpenGL 3.3 context"
                         : kind == DeviceKind::kAdoptedGlx
                             ? "cannot draw into the current GLX context"
                             : "cannot draw into the current EGL context";
    if (load_gl_functions(backend.proc_address, prefix, &device->gl) < 0) return nullptr;
    const auto* renderer = device->gl.GetString(gl::RENDERER);
    const auto* version = device->gl.GetString(gl::VERSION);
    device->renderer = renderer ? reinterpret_cast<const char*>(renderer) : "";
    device->version = version ? reinterpret_cast<const char*>(version) : "";
    if (kind != DeviceKind::kOwn && check_version(*device) < 0) return nullptr;

    Device* previous = active_device;
    active_device = device.get();
    use_table(*device);
    // The host's pending errors are not the set-up's; they go back to it when the first call
    // returns (or now, when the set-up fails).
    if (device->keeps_host_state) take_host_errors();
    const int set_up_objects = set_up_device(*device);
    if (set_up_objects < 0) {
        host_restore(*device);
        give_back_host_errors();
    }
    active_device = previous;
    registry.table_owner = nullptr;
    if (set_up_objects < 0) {
        if (kind == DeviceKind::kOwn) return nullptr;
        PyObject* cause = PyErr_GetRaisedException();
        PyRef text = PyRef::steal(cause ? PyObject_Str(cause) : nullptr);
        const char* why = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
        if (why == nullptr) PyErr_Clear();
        PyErr_Format(layer_error(),
                     "the current OpenGL context (%s, %s) cannot compile the rendering layer's "
                     "shaders (GLSL 3.30 needed): %s%s",
                     device->version.c_str(), device->renderer.c_str(),
                     why ? why : "unknown failure", kHowToAsk);
        Py_XDECREF(cause);
        return nullptr;
    }
    device->group = find_group(*device);
    device->marker = device->gl.FenceSync(gl::SYNC_GPU_COMMANDS_COMPLETE, 0);
    device->driver_context = platform::driver_context();
    device->serial = registry.devices.size() + 1;
    device->startup_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    device->group->devices.push_back(device.get());
    if (!registry.at_exit_registered) {
        Py_AtExit(release_queued_at_exit);
        pthread_atfork(nullptr, nullptr, note_fork_in_child);
        registry.at_exit_registered = true;
    }
    registry.devices.push_back(std::move(device));
    return registry.devices.back().get();
}

// A device whose context is gone: nothing of it is touched again (its GL objects went with the
// context). Its pass lets go of the shaders it held (at the next call's entry).
void forget(Device& device) {
    if (!device.alive) return;
    device.alive = false;
    device.deferred.clear();
    device.host = HostState{};
    if (registry.last == &device) registry.last = nullptr;
    if (registry.table_owner == &device) registry.table_owner = nullptr;
    registry.let_go.insert(registry.let_go.end(), device.pass.shaders.begin(),
                           device.pass.shaders.end());
    device.pass = Pass{};
}

// In a child after fork: every device is the parent's. Their contexts cannot be used here (the
// driver's worker threads stayed in the parent; waiting on them would hang), so they are
// forgotten without a GL call, and their objects refuse use or are dropped quietly.
void leave_parent_behind() {
    fork_pending = false;
    registry.forked = true;
    for (const auto& device : registry.devices) {
        if (!device->alive) continue;
        device->inherited = true;
        forget(*device);
    }
    registry.own = nullptr;
    registry.last = nullptr;
    registry.table_owner = nullptr;
}

inline void notice_fork() {
    if (fork_pending) [[unlikely]]
        leave_parent_behind();
}

// The parent's device of a context current in a child (one the parent left current).
const Device* find_inherited(const Binding& binding) {
    for (const auto& device : registry.devices) {
        if (device->inherited && device->binding.api == binding.api &&
            device->binding.context == binding.context) {
            return device.get();
        }
    }
    return nullptr;
}

// The open pass of another device of this thread, which a call in `device` must not cross.
const Device* pass_elsewhere(const Device& device, unsigned long me) {
    for (const auto& other : registry.devices) {
        if (other.get() != &device && other->alive && other->pass.open() &&
            other->owner_thread == me && !other->owner->ended.load(std::memory_order_acquire)) {
            return other.get();
        }
    }
    return nullptr;
}

// Inside a call (nested releases only count depth): the shaders of forgotten passes go.
void let_go_of_forgotten_shaders() {
    while (!registry.let_go.empty()) {
        PyObject* shader = reinterpret_cast<PyObject*>(registry.let_go.back());
        registry.let_go.pop_back();
        Py_DECREF(shader);
    }
}

// When a context not seen before is current, the contexts the layer knows may have gone: each
// adopted one that is not current is asked, without touching it, whether it still exists.
void forget_destroyed(const Binding* now) {
    for (const auto& device : registry.devices) {
        if (!device->alive || device->own()) continue;
        if (now != nullptr && device->binding.api == now->api &&
            device->binding.context == now->context) {
            continue;
        }
        const platform::Backend& backend = platform::backend(device->binding.api);
        if (backend.exists(device->binding, now) == platform::Existence::kDestroyed) {
            forget(*device);
        }
    }
}

Device* find_device(const Binding& binding) {
    for (const auto& device : registry.devices) {
        if (device->alive && device->binding.api == binding.api &&
            device->binding.context == binding.context) {
            return device.get();
        }
    }
    return nullptr;
}

int make_own_current(Device& own) {
    if (platform::backend(Api::kEgl).make_current(own.binding)) return 0;
    PyErr_SetString(layer_error(), "could not make the rendering layer's headless context current");
    return -1;
}

// The layer's own context, made current (made first when there is none yet).
Device* own_device() {
    if (registry.own != nullptr) {
        if (!owned_here(*registry.own, PyThread_get_thread_ident())) {
            not_owner_thread();
            return nullptr;
        }
        if (make_own_current(*registry.own) < 0) return nullptr;
        registry.own->release_at_leave = true;
        return registry.own;
    }
    Binding binding;
    if (platform::create_headless(&binding, registry.forked) < 0) return nullptr;
    Device* own = set_up(binding, DeviceKind::kOwn);
    if (own == nullptr) {
        // Released again, so that a failed attempt leaves nothing current on the thread.
        platform::backend(Api::kEgl).release(binding);
        return nullptr;
    }
    registry.own = own;
    own->release_at_leave = true;
    return own;
}

// Whether `device`, the last one used on this thread, is still the one current: the marker
// suffices for the own context, which nothing shares; a context sharing an adopted one's
// objects sees its marker too (and a pass must notice the host switching to one), so there the
// driver's context object, or else the window system's current context, is compared as well.
bool still_current(Device& device) {
    if (!device.gl.IsSync(device.marker)) return false;
    if (device.own()) return true;
    if (device.driver_context != nullptr)
        return platform::driver_context() == device.driver_context;
    return platform::backend(device.binding.api).current_context() == device.binding.context;
}

// The device of the context current now, set up when it is new. Null with RuntimeError.
Device* identify() {
    Binding now = platform::current_binding();
    if (registry.forked && now.context != nullptr) {
        if (const Device* parent = find_inherited(now)) {
            if (!parent->own()) {
                PyErr_Format(layer_error(),
                             "the current %s was made before os.fork(), in the parent process: "
                             "a GL context cannot be used in a child process (its driver's "
                             "threads stayed in the parent); make a new context in this process, "
                             "or leave none current and the layer renders in a headless context "
                             "of its own",
                             describe(*parent).c_str());
                return nullptr;
            }
            now = Binding{};  // the parent's own context, left current by a pass: ours replaces it
        }
    }
    if (now.context == nullptr) return own_device();
    Device* device = find_device(now);
    if (device != nullptr && !device->gl.IsSync(device->marker)) {
        // The handle is one the layer knew, but the marker is missing: that context was
        // destroyed and a new one was given its address.
        forget(*device);
        device = nullptr;
    }
    if (device == nullptr) {
        forget_destroyed(&now);
        device =
            set_up(now, now.api == Api::kGlx ? DeviceKind::kAdoptedGlx : DeviceKind::kAdoptedEgl);
        if (device == nullptr) return nullptr;
    }
    if (!owned_here(*device, PyThread_get_thread_ident())) {
        not_owner_thread();
        return nullptr;
    }
    // The own context found current: an earlier call held it through a pass.
    device->release_at_leave = device->holding;
    return device;
}

void run_deferred(Device& device) {
    if (device.deferred.empty()) return;
    std::vector<Deferred> pending;
    pending.swap(device.deferred);
    for (const Deferred& item : pending) item.release(item.first, item.second);
}

// After the interpreter has finished (no Python calls here): objects released on other threads
// since their context's last call are deleted while the context still exists and is current
// (or, for the own context, can be made current).
void release_queued_at_exit() {
    if (registry.depth != 0) return;
    notice_fork();
    const Binding now = platform::current_binding();
    for (const auto& held : registry.devices) {
        Device& device = *held;
        if (!device.alive || device.deferred.empty() ||
            !owned_here(device, PyThread_get_thread_ident())) {
            continue;
        }
        active_device = &device;
        use_table(device);
        if (device.own()) {
            if (now.context != nullptr && now.context != device.binding.context) continue;
            if (now.context == nullptr &&
                !platform::backend(Api::kEgl).make_current(device.binding))
                continue;
            run_deferred(device);
            if (now.context == nullptr) platform::backend(Api::kEgl).release(device.binding);
        } else if (now.api == device.binding.api && now.context == device.binding.context &&
                   device.gl.IsSync(device.marker)) {
            run_deferred(device);
            host_restore(device);
        }
    }
    // A child's own context goes with its display before the driver's exit handlers run, which
    // would otherwise wait for its threads for ever.
    Device* own = registry.own;
    if (registry.forked && own != nullptr && owned_here(*own, PyThread_get_thread_ident())) {
        forget(*own);
        registry.own = nullptr;
        platform::destroy_headless(own->binding);
    }
}

}  // namespace

Device* ShareGroup::live_device() const {
    for (Device* device : devices) {
        if (device->alive) return device;
    }
    return nullptr;
}

std::string describe(const Device& device) {
    char text[128];
    std::snprintf(text, sizeof text, "%s context %p%s", kind_name(device.kind),
                  device.binding.context,
                  device.inherited ? " (of the parent process)"
                  : device.alive   ? ""
                                   : " (destroyed)");
    return text;
}

const std::shared_ptr<ThreadToken>& this_thread_token() {
    thread_local TokenHolder holder;
    return holder.token;
}

int enter_call() {
    notice_fork();
    const unsigned long me = PyThread_get_thread_ident();
    if (registry.depth > 0) {
        // Another thread may run while a call waits on Python code (a conversion, a
        // collection): it must not work in the context of the call in progress.
        if (registry.thread != me) [[unlikely]] {
            return not_owner_thread();
        }
        ++registry.depth;
        return 0;
    }
    Device* const last = registry.last;
    Device* device = last;
    const Device* crossed = nullptr;
    if (device != nullptr && device->owner_thread == me &&
        !device->owner->ended.load(std::memory_order_relaxed) && still_current(*device)) {
        // The own context current already: an earlier call held it through a pass.
        device->release_at_leave = device->holding;
    } else {
        device = identify();
        if (device == nullptr) return -1;
        crossed = pass_elsewhere(*device, me);
    }
    registry.last = device;
    registry.thread = me;
    registry.depth = 1;
    active_device = device;
    use_table(*device);
    // An error the host left pending (some libraries leave one after a successful read-back)
    // would otherwise be reported as the layer's own; it is the host's again when the call
    // returns.
    if (device->keeps_host_state) take_host_errors();
    run_deferred(*device);
    if (!registry.let_go.empty()) [[unlikely]] {
        PyObject* pending = PyErr_GetRaisedException();
        let_go_of_forgotten_shaders();
        PyErr_SetRaisedException(pending);
    }
    if (crossed != nullptr) [[unlikely]] {
        // Left as entered (the host's state put back, the own context released), and the
        // pass's device stays the one checked first.
        const std::string here = describe(*device);
        leave_call();
        registry.last = last;
        PyErr_Format(layer_error(),
                     "a drawing pass (texture, shader or blend mode) is open in the %s, but the "
                     "current context is the %s; nothing was done. Make the pass's context "
                     "current again to go on or end it",
                     describe(*crossed).c_str(), here.c_str());
        return -1;
    }
    return 0;
}

void leave_call() {
    if (--registry.depth > 0) return;
    Device& device = active();
    if (device.keeps_host_state) {
        if (!device.pass.open()) host_restore(device);
        give_back_host_errors();
        return;
    }
    if (!device.release_at_leave) return;
    if (device.pass.open()) {
        // Keep the context current through a pass; the call that ends it releases it.
        device.holding = true;
    } else {
        device.holding = false;
        platform::backend(Api::kEgl).release(device.binding);
    }
}

int ensure_context() {
    CallScope scope;
    return scope.ok() ? 0 : -1;
}

bool context_ready() {
    return !registry.devices.empty();
}

int release_gl_objects(ShareGroup* group, Device* device, void (*release)(uint32_t, uint32_t),
                       uint32_t first, uint32_t second, bool explicit_release) {
    notice_fork();
    Device* home = device != nullptr  ? (device->alive ? device : nullptr)
                   : group != nullptr ? group->live_device()
                                      : nullptr;
    if (home == nullptr) return 0;  // the objects went with their context
    auto here = [group, device](const Device* candidate) {
        return device != nullptr ? candidate == device : candidate->group == group;
    };
    const unsigned long me = PyThread_get_thread_ident();
    if (registry.depth > 0 && registry.thread == me && here(active_device)) {
        release(first, second);
        return 0;
    }
    if (!owned_here(*home, me)) {
        if (explicit_release) return not_owner_thread();
        home->deferred.push_back(Deferred{release, first, second});
        return 0;
    }
    PyObject* pending = PyErr_GetRaisedException();
    // Worth entering only when such a context is current, or the objects are the own context's
    // and nothing is current (entering would otherwise set up or make current another context
    // for nothing).
    const Binding now = platform::current_binding();
    bool reachable = false;
    if (now.context == nullptr) {
        reachable = registry.own != nullptr && here(registry.own);
    } else if (Device* current = find_device(now)) {
        reachable = here(current);
    }
    bool done = false;
    if (reachable && registry.depth == 0 && enter_call() == 0) {
        if (here(active_device)) {
            release(first, second);
            done = true;
        }
        leave_call();
    }
    PyErr_Clear();
    if (!done) home->deferred.push_back(Deferred{release, first, second});
    PyErr_SetRaisedException(pending);
    return 0;
}

int raise_unreachable(const ShareGroup* group, const char* what) {
    notice_fork();
    const Binding now = platform::current_binding();
    forget_destroyed(now.context != nullptr ? &now : nullptr);
    if (group != nullptr && !group->devices.empty() && group->devices.front()->inherited) {
        PyErr_Format(layer_error(),
                     "this %s was made before os.fork(), in the parent process: GL objects stay "
                     "in the process that made them; create it again in this process",
                     what);
        return -1;
    }
    if (group == nullptr || !group->alive()) {
        // A GLX context that was not current when the layer last looked may have gone since.
        PyErr_Format(layer_error(),
                     "the context this %s lived in was destroyed (its window was closed); "
                     "create it again in the current context",
                     what);
        return -1;
    }
    const std::string home = describe(*group->live_device());
    const std::string here = describe(active());
    PyErr_Format(layer_error(),
                 "this %s lives in the %s, which does not share objects with the current %s; "
                 "nothing was drawn. Use it while its own context is current, or create the "
                 "contexts sharing objects (GLFW: the share argument of glfw.create_window)",
                 what, home.c_str(), here.c_str());
    return -1;
}

bool shader_in_a_pass(uint32_t program) {
    for (const auto& device : registry.devices) {
        for (const ZvShaderObject* shader : device->pass.shaders) {
            if (shader->id == program) return true;
        }
    }
    return false;
}

namespace {

PyObject* device_info(const Device& device, bool current) {
    char handle[32];
    std::snprintf(handle, sizeof handle, "%p", device.binding.context);
    return Py_BuildValue("{s:s,s:s,s:s,s:s,s:O,s:O,s:K,s:K}", "context", kind_name(device.kind),
                         "handle", handle, "renderer", device.renderer.c_str(), "version",
                         device.version.c_str(), "current", current ? Py_True : Py_False, "alive",
                         device.alive ? Py_True : Py_False, "share_group",
                         static_cast<unsigned long long>(device.group ? device.group->serial : 0),
                         "thread", static_cast<unsigned long long>(device.owner_thread));
}

}  // namespace

PyObject* context_info() {
    notice_fork();
    PyRef error = PyRef::borrow(Py_None);
    const Device* working = nullptr;
    // The list reports which contexts still exist: asked now, not at the last new context.
    const Binding now = platform::current_binding();
    forget_destroyed(now.context != nullptr ? &now : nullptr);
    if (enter_call() == 0) {
        working = active_device;
        leave_call();
    } else {
        PyObject* raised = PyErr_GetRaisedException();
        error = PyRef::steal(PyObject_Str(raised));
        Py_DECREF(raised);
        if (!error) return nullptr;
    }
    PyRef contexts = PyRef::steal(PyList_New(0));
    if (!contexts) return nullptr;
    PyRef current_index = PyRef::borrow(Py_None);
    for (const auto& device : registry.devices) {
        const bool current = device.get() == working;
        if (current) {
            current_index = PyRef::steal(PyLong_FromSsize_t(PyList_GET_SIZE(contexts.get())));
            if (!current_index) return nullptr;
        }
        PyRef info = PyRef::steal(device_info(*device, current));
        if (!info || PyList_Append(contexts.get(), info.get()) < 0) return nullptr;
    }
    return Py_BuildValue("{s:s,s:s,s:s,s:d,s:i,s:O,s:O,s:O}", "context",
                         working ? kind_name(working->kind) : "", "renderer",
                         working ? working->renderer.c_str() : "", "version",
                         working ? working->version.c_str() : "", "startup_seconds",
                         working ? working->startup_seconds : 0.0, "max_texture_size",
                         working ? working->max_texture_size : 0, "contexts", contexts.get(),
                         "current", current_index.get(), "error", error.get());
}

}  // namespace zorva::layer
