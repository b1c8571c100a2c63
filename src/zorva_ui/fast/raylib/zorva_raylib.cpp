// zorva_ui.fast.raylib.zorva_raylib: the rendering layer's drawing module. It owns the layer's
// devices (one per GL context it draws in) and objects, publishes the fourteen native entry points
// in
// `__pyx_capi__` (and the same calls to Python), the image/texture helpers, the trace, and the
// `_layer_core` capsule through which zvshader and zv_render_tex reach the same context.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fast/common/args.h"
#include "fast/common/callable.h"
#include "fast/common/module.h"
#include "fast/common/pyref.h"
#include "fast/raylib/context.h"
#include "fast/raylib/entry_points.h"
#include "fast/raylib/errors.h"
#include "fast/raylib/frame.h"
#include "fast/raylib/handles.h"
#include "fast/raylib/layer_core.h"
#include "fast/raylib/modes.h"
#include "fast/raylib/objects.h"
#include "fast/raylib/png.h"
#include "fast/raylib/raylib_host.h"
#include "fast/raylib/renderer.h"
#include "fast/raylib/state.h"
#include "fast/raylib/trace.h"
#include "fast/raylib/values.h"
#include "fast/raylib/view.h"

namespace zorva::layer {

State state;

namespace {

using rl::kModuleName;

// ---- the core table for the sibling modules ---------------------------------------------------

int core_compile_program(const char* vertex, const char* fragment, uint32_t* program,
                         int32_t* locs) {
    CallScope scope;
    if (!scope.ok()) return -1;
    return program_create(vertex, fragment, program, locs);
}

// An explicit release is refused from a thread that does not own the object's context (the
// object stays loaded); where another context is current it is queued for the object's own.
int core_delete_program(uint32_t program) {
    if (!context_ready()) return 0;
    return program_delete(program);
}

int core_create_target(int32_t width, int32_t height, ZvRenderTarget* out) {
    CallScope scope;
    if (!scope.ok()) return -1;
    return target_create(width, height, out);
}

int core_delete_target(ZvRenderTarget* target) {
    if (!context_ready()) return 0;
    return target_delete(target);
}

int core_clear_target(const ZvRenderTarget* target, const uint8_t rgba[4]) {
    CallScope scope;
    if (!scope.ok()) return -1;
    return clear_target(target, rgba);
}

PyObject* core_read_target(const ZvRenderTarget* target) {
    CallScope scope;
    if (!scope.ok()) return nullptr;
    return read_target(target);
}

void register_shader_type(PyTypeObject* type) {
    state.shader_type = type;
}
void register_render_texture_type(PyTypeObject* type) {
    state.render_texture_type = type;
}

// The innermost mode ends through its entry point (traced, rebinding what is left); one buried
// under modes begun later is taken out where it lies.
int core_end_mode_serial(int kind, uint64_t serial) {
    if (serial == 0) return 0;
    if (mode_serial(kind) == serial) {
        switch (kind) {
            case kModeTexture:
                return kApi.end_texture_mode();
            case kModeShader:
                return kApi.end_shader_mode();
            case kModeBlend:
                return kApi.end_blend_mode();
            default:
                return 0;
        }
    }
    return remove_buried_mode(kind, serial);
}

int32_t core_max_texture_size() {
    CallScope scope;
    if (!scope.ok()) return -1;
    return max_texture_size();
}

const Core kCore = {
    kCoreVersion,          ensure_context,
    core_compile_program,  core_delete_program,
    core_create_target,    core_delete_target,
    core_clear_target,     core_read_target,
    register_shader_type,  register_render_texture_type,
    &state.tracing,        trace_record,
    target_handle,         program_discard,
    target_discard,        mode_serial,
    mode_changes,          core_end_mode_serial,
    core_max_texture_size,
};

// ---- Python functions: the entry points and the image, texture, PNG and trace helpers -------

PyObject* none_or_null(int rc) {
    if (rc < 0) return nullptr;
    Py_RETURN_NONE;
}

ZvShaderObject* as_shader(PyObject* obj) {
    return reinterpret_cast<ZvShaderObject*>(obj);
}

// The begin_* calls answer the mode they began, for `with`; failures answer null as before.
PyObject* mode_or_null(int rc, DrawingModeKind kind) {
    return rc < 0 ? nullptr : begun_mode(kind);
}

PyObject* py_begin_zvshader_mode(PyObject*, Args a) {
    PyRef none = PyRef::steal(kApi.begin_zvshader_mode(as_shader(a[0])));
    return none ? begun_mode(DrawingModeKind::kShader) : nullptr;
}

PyObject* py_get_zvshader_location(PyObject*, Args a) {
    const int32_t loc = kApi.get_zvshader_location(as_shader(a[0]), a[1]);
    if (loc == -1 && PyErr_Occurred()) return nullptr;
    return PyLong_FromLong(loc);
}

PyObject* py_draw_texture_pro(PyObject*, Args a) {
    float rotation;
    if (to_float(a[4], &rotation) < 0) return nullptr;
    return none_or_null(kApi.draw_texture_pro(a[0], a[1], a[2], a[3], rotation, a[5]));
}

PyObject* py_begin_texture_mode(PyObject*, Args a) {
    ZvRenderTarget target{};
    if (bind::is_instance(a[0], state.render_texture_type)) {
        target = reinterpret_cast<ZvRenderTextureObject*>(a[0])->render_texture;
    } else if (Py_IS_TYPE(a[0], state.target_handle_type)) {
        int32_t id;
        if (to_int32(PyStructSequence_GetItem(a[0], 0), &id) < 0) return nullptr;
        target.id = static_cast<uint32_t>(id);
    } else {
        raise_expected("ZvRenderTexture or RenderTarget", a[0]);
        return nullptr;
    }
    return mode_or_null(kApi.begin_texture_mode(target), DrawingModeKind::kTexture);
}

PyObject* py_end_texture_mode(PyObject*) {
    return none_or_null(kApi.end_texture_mode());
}
PyObject* py_end_shader_mode(PyObject*) {
    return none_or_null(kApi.end_shader_mode());
}
PyObject* py_end_blend_mode(PyObject*) {
    return none_or_null(kApi.end_blend_mode());
}

PyObject* py_begin_blend_mode(PyObject*, Args a) {
    int32_t mode;
    if (to_int32(a[0], &mode) < 0) return nullptr;
    return mode_or_null(kApi.begin_blend_mode(mode), DrawingModeKind::kBlend);
}

PyObject* py_set_zvshader_value_vec2_tuple(PyObject*, Args a) {
    int32_t loc;
    if (to_int32(a[1], &loc) < 0) return nullptr;
    return none_or_null(kApi.set_zvshader_value_vec2_tuple(as_shader(a[0]), loc, a[2]));
}

PyObject* py_set_zvshader_value_float(PyObject*, Args a) {
    int32_t loc;
    float value;
    if (to_int32(a[1], &loc) < 0 || to_float(a[2], &value) < 0) return nullptr;
    return none_or_null(kApi.set_zvshader_value_float(as_shader(a[0]), loc, value));
}

PyObject* py_set_zvshader_value_int(PyObject*, Args a) {
    int32_t loc, value;
    if (to_int32(a[1], &loc) < 0 || to_int32(a[2], &value) < 0) return nullptr;
    return none_or_null(kApi.set_zvshader_value_int(as_shader(a[0]), loc, value));
}

// A list or tuple, copied to a tuple so that conversions cannot resize it under us.
PyRef sequence_copy(PyObject* obj, const char* what) {
    if (!PyList_Check(obj) && !PyTuple_Check(obj)) {
        PyErr_Format(PyExc_TypeError, "%s must be a list or tuple, got %.200s", what,
                     Py_TYPE(obj)->tp_name);
        return PyRef();
    }
    return PyRef::steal(PySequence_Tuple(obj));
}

// One colour record: an (x, y, z, w) sequence or a dict with those keys. 0, or -1.
int parse_vector4(PyObject* item, Vector4* out) {
    float v[4];
    if (PyDict_Check(item)) {
        static const char* const keys[] = {"x", "y", "z", "w"};
        for (int k = 0; k < 4; ++k) {
            PyObject* value;
            if (PyDict_GetItemStringRef(item, keys[k], &value) < 0) return -1;
            PyRef held = PyRef::steal(value);
            if (!held) {
                PyErr_Format(PyExc_KeyError, "'%s'", keys[k]);
                return -1;
            }
            if (to_float(held.get(), &v[k]) < 0) return -1;
        }
    } else if (parse_floats(item, 4, "vec4 value", v) < 0) {
        return -1;
    }
    *out = Vector4{v[0], v[1], v[2], v[3]};
    return 0;
}

PyObject* py_set_zvshader_value_vec4_v(PyObject*, Args a) {
    int32_t loc;
    if (to_int32(a[1], &loc) < 0) return nullptr;
    PyRef items = sequence_copy(a[2], "values");
    if (!items) return nullptr;
    const Py_ssize_t count = PyTuple_GET_SIZE(items.get());
    std::vector<Vector4> values(static_cast<size_t>(count));
    for (Py_ssize_t i = 0; i < count; ++i) {
        if (parse_vector4(PyTuple_GET_ITEM(items.get(), i), &values[static_cast<size_t>(i)]) < 0) {
            return nullptr;
        }
    }
    return none_or_null(kApi.set_zvshader_value_vec4_v(as_shader(a[0]), loc, values.data(), count));
}

PyObject* py_set_zvshader_value_float_v(PyObject*, Args a) {
    int32_t loc;
    if (to_int32(a[1], &loc) < 0) return nullptr;
    PyRef items = sequence_copy(a[2], "values");
    if (!items) return nullptr;
    const Py_ssize_t count = PyTuple_GET_SIZE(items.get());
    std::vector<float> values(static_cast<size_t>(count));
    for (Py_ssize_t i = 0; i < count; ++i) {
        if (to_float(PyTuple_GET_ITEM(items.get(), i), &values[static_cast<size_t>(i)]) < 0) {
            return nullptr;
        }
    }
    return none_or_null(
        kApi.set_zvshader_value_float_v(as_shader(a[0]), loc, values.data(), count));
}

PyObject* py_set_zvshader_value_vec2_zvvec(PyObject*, Args a) {
    int32_t loc;
    if (to_int32(a[1], &loc) < 0) return nullptr;
    return none_or_null(kApi.set_zvshader_value_vec2_zvvec(
        as_shader(a[0]), loc, reinterpret_cast<ZvVector2Object*>(a[2])));
}

// ---- the frame scope, scissor and camera modes, and raylib as a host ----------------------------

// A mode's begin: the trace record is made by the caller; `begin` runs in a layer call.
template <typename Begin>
PyObject* begin_mode(DrawingModeKind kind, Begin begin) {
    CallScope scope;
    if (!scope.ok() || begin() < 0) return nullptr;
    return begun_mode(kind);
}

PyObject* py_begin_drawing(PyObject*) {
    ZORVA_TRACE(nullptr, "(s)", "begin_drawing");
    return begin_mode(DrawingModeKind::kDrawing, begin_frame);
}
PyObject* py_end_drawing(PyObject*) {
    return none_or_null(end_mode(DrawingModeKind::kDrawing));
}

PyObject* py_begin_scissor_mode(PyObject*, Args a) {
    int32_t box[4];
    for (int i = 0; i < 4; ++i) {
        if (to_int32(a[i], &box[i]) < 0) return nullptr;
    }
    ZORVA_TRACE(nullptr, "(siiii)", "begin_scissor_mode", box[0], box[1], box[2], box[3]);
    return begin_mode(DrawingModeKind::kScissor,
                      [&box] { return begin_scissor(box[0], box[1], box[2], box[3]); });
}
PyObject* py_end_scissor_mode(PyObject*) {
    return none_or_null(end_mode(DrawingModeKind::kScissor));
}

PyObject* py_begin_mode_2d(PyObject*, PyObject* camera) {
    CameraTransform transform;
    if (parse_camera(camera, &transform) < 0) return nullptr;
    ZORVA_TRACE(nullptr, "(s(dddddd))", "begin_mode_2d", double{transform.a}, double{transform.b},
                double{transform.c}, double{transform.d}, double{transform.tx},
                double{transform.ty});
    return begin_mode(DrawingModeKind::kCamera, [&transform] { return begin_camera(transform); });
}
PyObject* py_end_mode_2d(PyObject*) {
    return none_or_null(end_mode(DrawingModeKind::kCamera));
}

PyObject* py_attach_host(PyObject*, PyObject* module) {
    return none_or_null(attach_raylib(module));
}

PyObject* py_gen_image_color(PyObject*, Args a) {
    int32_t width, height;
    if (to_int32(a[0], &width) < 0 || to_int32(a[1], &height) < 0) return nullptr;
    return gen_image_color(width, height, a[2]);
}

PyObject* py_image_from_pixels(PyObject*, Args a) {
    int32_t width, height;
    if (to_int32(a[0], &width) < 0 || to_int32(a[1], &height) < 0) return nullptr;
    return image_from_pixels(width, height, a[2]);
}

PyObject* py_load_texture_from_image(PyObject*, PyObject* image) {
    return load_texture_from_image(image);
}
PyObject* py_unload_image(PyObject*, PyObject* image) {
    return none_or_null(unload_image(image));
}
PyObject* py_unload_texture(PyObject*, PyObject* texture) {
    return none_or_null(unload_texture(texture));
}

PyObject* py_write_png(PyObject*, Args a) {
    if (check_render_texture(a[0]) < 0) return nullptr;
    const int unpremultiply = PyObject_IsTrue(a[2]);
    if (unpremultiply < 0) return nullptr;
    PyObject* path_bytes = nullptr;
    if (!PyUnicode_FSConverter(a[1], &path_bytes)) return nullptr;
    PyRef path = PyRef::steal(path_bytes);
    auto* target = reinterpret_cast<ZvRenderTextureObject*>(a[0]);
    PyRef pixels = PyRef::steal(core_read_target(&target->render_texture));
    if (!pixels) return nullptr;
    auto* rgba = reinterpret_cast<uint8_t*>(PyBytes_AS_STRING(pixels.get()));
    const TargetRecord* record = target_find(target->render_texture.id);
    const int32_t width = record ? record->width : 0, height = record ? record->height : 0;
    // PNG stores straight alpha; a premultiplied target is divided back out.
    if (unpremultiply)
        unpremultiply_rgba(rgba, static_cast<size_t>(PyBytes_GET_SIZE(pixels.get())));
    std::string png;
    if (encode_png(rgba, width, height, PngDeflate::kZlib, &png) < 0) return nullptr;
    const char* filename = PyBytes_AS_STRING(path.get());
    FILE* file = std::fopen(filename, "wb");
    if (file == nullptr) return PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, a[1]);
    const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    if (std::fclose(file) != 0 || !written) {
        return PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, a[1]);
    }
    Py_RETURN_NONE;
}

// The encoder alone, for the tests and the benchmark: RGBA8 pixels (any C-contiguous buffer) to
// the bytes of a PNG file; stored=True gives the uncompressed baseline.
PyObject* py_encode_png(PyObject*, Args a) {
    int32_t width, height;
    if (to_int32(a[1], &width) < 0 || to_int32(a[2], &height) < 0) return nullptr;
    const int stored = PyObject_IsTrue(a[3]);
    if (stored < 0) return nullptr;
    if (width <= 0 || height <= 0) {
        PyErr_Format(PyExc_ValueError, "width and height must be positive, got %d x %d", width,
                     height);
        return nullptr;
    }
    Py_buffer view;
    if (get_rgba_pixels(a[0], width, height, &view) < 0) return nullptr;
    std::string png;
    const int rc = encode_png(static_cast<const uint8_t*>(view.buf), width, height,
                              stored ? PngDeflate::kStored : PngDeflate::kZlib, &png);
    PyBuffer_Release(&view);
    if (rc < 0) return nullptr;
    return PyBytes_FromStringAndSize(png.data(), static_cast<Py_ssize_t>(png.size()));
}

PyObject* py_trace_start(PyObject*) {
    return none_or_null(trace_start());
}
PyObject* py_trace_stop(PyObject*) {
    return trace_stop();
}

PyObject* py_context_info(PyObject*) {
    return context_info();
}

constexpr Callable kBeginShaderMode{kModuleName, "begin_zvshader_mode", "(shader)",
                                    py_begin_zvshader_mode,
                                    "Draws with the shader until end_shader_mode (or the end of "
                                    "a with block over the returned DrawingMode)."};
constexpr Callable kGetShaderLocation{kModuleName, "get_zvshader_location", "(shader, name)",
                                      py_get_zvshader_location,
                                      "Location of a uniform of the shader (-1 when it has none)."};
constexpr Callable kDrawTexturePro{
    kModuleName, "draw_texture_pro", "(texture, source, dest, origin, rotation, tint)",
    py_draw_texture_pro,
    "Draws the source rectangle (x, y, w, h) of a Texture or ZvRenderTexture into the "
    "destination rectangle of the current target, rotated by `rotation` degrees about origin, "
    "tinted by an (r, g, b, a) colour."};
constexpr Callable kBeginTextureMode{
    kModuleName, "begin_texture_mode", "(target)", py_begin_texture_mode,
    "Draws into a render texture (a ZvRenderTexture or its RenderTarget) until "
    "end_texture_mode (or the end of a with block over the returned DrawingMode)."};
constexpr Callable kEndTextureMode{kModuleName, "end_texture_mode", "($module)",
                                   py_end_texture_mode, "Restores the previous target."};
constexpr Callable kEndShaderMode{kModuleName, "end_shader_mode", "($module)", py_end_shader_mode,
                                  "Restores the previous shader."};
constexpr Callable kEndBlendMode{kModuleName, "end_blend_mode", "($module)", py_end_blend_mode,
                                 "Restores the previous blend mode."};
constexpr Callable kBeginBlendMode{kModuleName, "begin_blend_mode", "(mode)", py_begin_blend_mode,
                                   "Blends with a BlendMode until end_blend_mode (or the end of a "
                                   "with block over the returned DrawingMode)."};
constexpr Callable kSetVec2Tuple{kModuleName, "set_zvshader_value_vec2_tuple",
                                 "(shader, loc, value)", py_set_zvshader_value_vec2_tuple,
                                 "Sets a vec2 uniform from an (x, y) tuple."};
constexpr Callable kSetFloat{kModuleName, "set_zvshader_value_float", "(shader, loc, value)",
                             py_set_zvshader_value_float, "Sets a float uniform."};
constexpr Callable kSetInt{kModuleName, "set_zvshader_value_int", "(shader, loc, value)",
                           py_set_zvshader_value_int, "Sets an int uniform."};
constexpr Callable kSetVec4Array{
    kModuleName, "set_zvshader_value_vec4_v", "(shader, loc, values)", py_set_zvshader_value_vec4_v,
    "Sets a vec4 array uniform from a list of (x, y, z, w) tuples or x/y/z/w dicts."};
constexpr Callable kSetFloatArray{kModuleName, "set_zvshader_value_float_v",
                                  "(shader, loc, values)", py_set_zvshader_value_float_v,
                                  "Sets a float array uniform from a list of numbers."};
constexpr Callable kSetVec2Vector{kModuleName, "set_zvshader_value_vec2_zvvec",
                                  "(shader, loc, value)", py_set_zvshader_value_vec2_zvvec,
                                  "Sets a vec2 uniform from a ZvVector2."};
constexpr Callable kBeginDrawing{
    kModuleName, "begin_drawing", "($module)", py_begin_drawing,
    "Opens a frame scope: in an adopted context the host's GL state is saved once, at the first "
    "draw, and put back by end_drawing, instead of around every call. Returns an object whose "
    "`with` block ends the scope."};
constexpr Callable kEndDrawing{kModuleName, "end_drawing", "($module)", py_end_drawing,
                               "Ends the frame scope; the host's state is put back."};
constexpr Callable kBeginScissorMode{
    kModuleName, "begin_scissor_mode", "(x, y, width, height)", py_begin_scissor_mode,
    "Clips every draw to the box (pixels of the target, y down) until end_scissor_mode; nested "
    "boxes intersect. Returns an object whose `with` block ends the mode."};
constexpr Callable kEndScissorMode{kModuleName, "end_scissor_mode", "($module)",
                                   py_end_scissor_mode, "Restores the previous clip box."};
constexpr Callable kBeginMode2d{
    kModuleName, "begin_mode_2d", "($module, camera, /)", py_begin_mode_2d,
    "Draws through a 2D camera (offset, target, rotation in degrees, zoom) until end_mode_2d. "
    "Returns an object whose `with` block ends the mode."};
constexpr Callable kEndMode2d{kModuleName, "end_mode_2d", "($module)", py_end_mode_2d,
                              "Restores the previous camera."};
constexpr Callable kAttachHost{
    kModuleName, "attach_host", "($module, module, /)", py_attach_host,
    "Draws in step with raylib's bindings (the pyray or raylib module): each draw into "
    "raylib's framebuffer first submits raylib's batched draws and follows its camera and "
    "projection."};
constexpr Callable kGenImageColor{kModuleName, "gen_image_color", "(width, height, color)",
                                  py_gen_image_color,
                                  "A width x height Image of one (r, g, b, a) colour."};
constexpr Callable kImageFromPixels{
    kModuleName, "image_from_pixels", "(width, height, pixels)", py_image_from_pixels,
    "A width x height Image holding a copy of RGBA8 pixels (any buffer of width * height * 4 "
    "bytes), top row first."};
constexpr Callable kEncodePng{
    kModuleName, "_encode_png", "(pixels, width, height, stored=False)", py_encode_png,
    "The bytes of a PNG file of RGBA8 pixels, for tests and benchmarks; stored=True writes "
    "uncompressed blocks."};
constexpr Callable kLoadTexture{kModuleName, "load_texture_from_image", "($module, image, /)",
                                py_load_texture_from_image,
                                "A GL Texture holding the image's pixels."};
constexpr Callable kUnloadImage{kModuleName, "unload_image", "($module, image, /)", py_unload_image,
                                "Frees the image's pixels."};
constexpr Callable kUnloadTexture{kModuleName, "unload_texture", "($module, texture, /)",
                                  py_unload_texture, "Releases the GL texture."};
constexpr Callable kWritePng{
    kModuleName, "write_png", "(render_texture, path, unpremultiply=False)", py_write_png,
    "Writes a render texture to a PNG file, top row first; with unpremultiply=True "
    "premultiplied colours are divided by alpha first."};
constexpr Callable kTraceStart{kModuleName, "trace_start", "($module)", py_trace_start,
                               "Starts recording the drawing calls."};
constexpr Callable kTraceStop{kModuleName, "trace_stop", "($module)", py_trace_stop,
                              "Stops recording; returns the records."};
constexpr Callable kContextInfo{
    kModuleName, "context_info", "($module)", py_context_info,
    "Which context the layer draws in now (adopted EGL or GLX, or its own headless EGL one), "
    "renderer, GL version, start-up time and maximum texture size; every context it knows "
    "('contexts', 'current'), and 'error': why it cannot draw now, or None (the context is set up "
    "if "
    "needed)."};

// ---- module initialisation --------------------------------------------------------------------

int add_blend_mode_enum(PyObject* module) {
    PyRef enum_module = PyRef::steal(PyImport_ImportModule("enum"));
    if (!enum_module) return -1;
    PyRef int_enum = PyRef::steal(PyObject_GetAttrString(enum_module.get(), "IntEnum"));
    if (!int_enum) return -1;
    PyRef members = PyRef::steal(
        Py_BuildValue("[(si)(si)(si)(si)(si)(si)]", "BLEND_ALPHA", kBlendAlpha, "BLEND_ADDITIVE",
                      kBlendAdditive, "BLEND_MULTIPLIED", kBlendMultiplied, "BLEND_ADD_COLORS",
                      kBlendAddColors, "BLEND_SUBTRACT_COLORS", kBlendSubtractColors,
                      "BLEND_ALPHA_PREMULTIPLY", kBlendAlphaPremultiply));
    if (!members) return -1;
    PyRef call_args = PyRef::steal(Py_BuildValue("(sO)", "BlendMode", members.get()));
    PyRef call_kwargs = PyRef::steal(Py_BuildValue("{s:s}", "module", kModuleName));
    if (!call_args || !call_kwargs) return -1;
    PyRef blend_mode =
        PyRef::steal(PyObject_Call(int_enum.get(), call_args.get(), call_kwargs.get()));
    if (!blend_mode) return -1;
    return PyModule_AddObjectRef(module, "BlendMode", blend_mode.get());
}

int use_own_core(PyObject*) {
    bound_core = &kCore;
    return 0;
}

int bind_vector2(PyObject*) {
    return state.vector2.bind();
}

int add_capi(PyObject* module) {
    PyRef capi = PyRef::steal(build_capi());
    return capi ? PyModule_AddObjectRef(module, "__pyx_capi__", capi.get()) : -1;
}

int add_core(PyObject* module) {
    PyRef core = PyRef::steal(PyCapsule_New(const_cast<Core*>(&kCore), kCoreCapsuleName, nullptr));
    return core ? PyModule_AddObjectRef(module, "_layer_core", core.get()) : -1;
}

int add_white(PyObject* module) {
    PyRef white = PyRef::steal(Py_BuildValue("(iiii)", 255, 255, 255, 255));
    return white ? PyModule_AddObjectRef(module, "WHITE", white.get()) : -1;
}

constexpr ModuleSpec kModule{
    kModuleName,
    "Headless OpenGL drawing for zorva_ui: render targets, shaders, blending, textured quads.",
    method_table<kBeginShaderMode, kGetShaderLocation, kDrawTexturePro, kBeginTextureMode,
                 kEndTextureMode, kEndShaderMode, kEndBlendMode, kBeginBlendMode, kSetVec2Tuple,
                 kSetFloat, kSetInt, kSetVec4Array, kSetFloatArray, kSetVec2Vector, kGenImageColor,
                 kImageFromPixels, kLoadTexture, kUnloadImage, kUnloadTexture, kWritePng,
                 kEncodePng, kTraceStart, kTraceStop, kContextInfo, kBeginDrawing, kEndDrawing,
                 kBeginScissorMode, kEndScissorMode, kBeginMode2d, kEndMode2d, kAttachHost>,
    {use_own_core, add_layer_error, add_handle_types, add_mode_objects, bind_vector2, add_capi,
     add_core, add_white, add_blend_mode_enum}};

}  // namespace
}  // namespace zorva::layer

PyMODINIT_FUNC PyInit_zorva_raylib() {
    return zorva::define_module<zorva::layer::kModule>();
}
