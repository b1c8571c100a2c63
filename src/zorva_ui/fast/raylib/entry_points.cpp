#include "fast/raylib/entry_points.h"

#include <cstring>

#include "fast/common/args.h"
#include "fast/common/pyref.h"
#include "fast/raylib/context.h"
#include "fast/raylib/handles.h"
#include "fast/raylib/renderer.h"
#include "fast/raylib/layer_core.h"
#include "fast/raylib/objects.h"
#include "fast/raylib/values.h"

namespace zorva::layer {
namespace {

// A shader argument ready for a uniform call (the caller holds the context): program loaded.
int usable_shader(const ZvShaderObject* shader) {
    if (shader->id == 0) {
        PyErr_SetString(PyExc_ValueError, "shader is not loaded");
        return -1;
    }
    return 0;
}

PyObject* begin_zvshader_mode(ZvShaderObject* shader) {
    if (check_shader(shader) < 0) return nullptr;
    ZORVA_TRACE(nullptr, "(sI)", "begin_zvshader_mode", shader->id);
    CallScope scope;
    if (!scope.ok() || usable_shader(shader) < 0 || begin_shader(shader) < 0) return nullptr;
    Py_RETURN_NONE;
}

int32_t get_zvshader_location(ZvShaderObject* shader, PyObject* name) {
    if (check_shader(shader) < 0) return -1;
    ZORVA_TRACE(-1, "(sIO)", "get_zvshader_location", shader->id, name ? name : Py_None);
    if (name == nullptr || !PyUnicode_Check(name)) return raise_expected("str", name);
    Py_ssize_t size;
    const char* utf8 = PyUnicode_AsUTF8AndSize(name, &size);
    if (utf8 == nullptr) return -1;
    if (std::strlen(utf8) != static_cast<size_t>(size)) {
        PyErr_SetString(PyExc_ValueError, "embedded null character in uniform name");
        return -1;
    }
    CallScope scope;
    if (!scope.ok() || usable_shader(shader) < 0) return -1;
    return program_location(shader->id, utf8);
}

int draw_texture_pro(PyObject* texture, PyObject* source, PyObject* dest, PyObject* origin,
                     float rotation, PyObject* tint) {
    QuadParams quad;
    Drawable drawable;
    if (resolve_texture(texture, &drawable) < 0) return -1;
    ZORVA_TRACE(-1, "(sIOOOdO)", "draw_texture_pro", drawable.id, source, dest, origin,
                static_cast<double>(rotation), tint);
    if (parse_floats(source, 4, "source", quad.source) < 0 ||
        parse_floats(dest, 4, "dest", quad.dest) < 0 ||
        parse_floats(origin, 2, "origin", quad.origin) < 0 ||
        parse_rgba(tint, "tint", quad.tint) < 0) {
        return -1;
    }
    quad.rotation = rotation;
    // The conversions above may have run Python code that released the texture: check again,
    // so a stale name is refused like any other unloaded texture instead of reaching GL.
    if (resolve_texture(texture, &drawable) < 0) return -1;
    quad.texture_width = drawable.width;
    quad.texture_height = drawable.height;
    CallScope scope;
    if (!scope.ok() || texture_name_here(drawable, &quad.texture) < 0) return -1;
    return draw_quad(quad);
}

int begin_texture_mode(ZvRenderTarget target) {
    ZORVA_TRACE(-1, "(sI)", "begin_texture_mode", target.id);
    CallScope scope;
    if (!scope.ok()) return -1;
    return begin_target(target.id);
}

int end_texture_mode() {
    ZORVA_TRACE(-1, "(s)", "end_texture_mode");
    CallScope scope;
    if (!scope.ok()) return -1;
    return end_target();
}

int end_shader_mode() {
    ZORVA_TRACE(-1, "(s)", "end_shader_mode");
    CallScope scope;
    if (!scope.ok()) return -1;
    return end_shader();
}

int begin_blend_mode(int32_t mode) {
    ZORVA_TRACE(-1, "(si)", "begin_blend_mode", mode);
    CallScope scope;
    if (!scope.ok()) return -1;
    return begin_blend(mode);
}

int end_blend_mode() {
    ZORVA_TRACE(-1, "(s)", "end_blend_mode");
    CallScope scope;
    if (!scope.ok()) return -1;
    return end_blend();
}

int set_zvshader_value_vec2_tuple(ZvShaderObject* shader, int32_t loc, PyObject* xy) {
    if (check_shader(shader) < 0) return -1;
    ZORVA_TRACE(-1, "(sIiO)", "set_zvshader_value_vec2_tuple", shader->id, loc, xy ? xy : Py_None);
    float values[2];
    if (xy == nullptr) return raise_expected("tuple", xy);
    if (parse_floats(xy, 2, "value", values) < 0) return -1;
    CallScope scope;
    if (!scope.ok() || usable_shader(shader) < 0) return -1;
    return set_uniform_vec2(shader->id, loc, values[0], values[1]);
}

int set_zvshader_value_float(ZvShaderObject* shader, int32_t loc, float value) {
    if (check_shader(shader) < 0) return -1;
    ZORVA_TRACE(-1, "(sIid)", "set_zvshader_value_float", shader->id, loc,
                static_cast<double>(value));
    CallScope scope;
    if (!scope.ok() || usable_shader(shader) < 0) return -1;
    return set_uniform_float(shader->id, loc, value);
}

int set_zvshader_value_int(ZvShaderObject* shader, int32_t loc, int32_t value) {
    if (check_shader(shader) < 0) return -1;
    ZORVA_TRACE(-1, "(sIii)", "set_zvshader_value_int", shader->id, loc, value);
    CallScope scope;
    if (!scope.ok() || usable_shader(shader) < 0) return -1;
    return set_uniform_int(shader->id, loc, value);
}

// The trace's list of a native array, built only while tracing.
template <typename Item>
PyObject* trace_list(const Item* values, Py_ssize_t count, PyObject* (*item)(const Item&)) {
    PyRef list = PyRef::steal(PyList_New(count));
    if (!list) return nullptr;
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyObject* value = item(values[i]);
        if (value == nullptr) return nullptr;
        PyList_SET_ITEM(list.get(), i, value);
    }
    return list.release();
}

PyObject* vec4_item(const Vector4& v) {
    return Py_BuildValue("(dddd)", static_cast<double>(v.x), static_cast<double>(v.y),
                         static_cast<double>(v.z), static_cast<double>(v.w));
}

PyObject* float_item(const float& v) {
    return PyFloat_FromDouble(static_cast<double>(v));
}

// An array argument of the uniform setters: a length that GL takes, values when it is not 0.
// 0, or -1 with ValueError.
int check_uniform_array(const void* values, Py_ssize_t count) {
    if (count < 0 || (count > 0 && values == nullptr)) {
        PyErr_Format(PyExc_ValueError, "invalid uniform array (length %zd)", count);
        return -1;
    }
    if (count > INT32_MAX / 4) {
        PyErr_Format(PyExc_ValueError, "uniform array length %zd is out of range", count);
        return -1;
    }
    return 0;
}

int set_zvshader_value_vec4_v(ZvShaderObject* shader, int32_t loc, const Vector4* values,
                              Py_ssize_t count) {
    if (check_shader(shader) < 0 || check_uniform_array(values, count) < 0) return -1;
    if (tracing()) [[unlikely]] {
        PyRef list = PyRef::steal(trace_list(values, count, vec4_item));
        if (!list ||
            core().record("(sIiO)", "set_zvshader_value_vec4_v", shader->id, loc, list.get()) < 0) {
            return -1;
        }
    }
    CallScope scope;
    if (!scope.ok() || usable_shader(shader) < 0) return -1;
    static_assert(sizeof(Vector4) == 4 * sizeof(float));
    return set_uniform_vec4_array(shader->id, loc, reinterpret_cast<const float*>(values), count);
}

int set_zvshader_value_float_v(ZvShaderObject* shader, int32_t loc, const float* values,
                               Py_ssize_t count) {
    if (check_shader(shader) < 0 || check_uniform_array(values, count) < 0) return -1;
    if (tracing()) [[unlikely]] {
        PyRef list = PyRef::steal(trace_list(values, count, float_item));
        if (!list || core().record("(sIiO)", "set_zvshader_value_float_v", shader->id, loc,
                                   list.get()) < 0) {
            return -1;
        }
    }
    CallScope scope;
    if (!scope.ok() || usable_shader(shader) < 0) return -1;
    return set_uniform_float_array(shader->id, loc, values, count);
}

int set_zvshader_value_vec2_zvvec(ZvShaderObject* shader, int32_t loc, ZvVector2Object* value) {
    if (check_shader(shader) < 0 || check_vector2(value) < 0) return -1;
    ZORVA_TRACE(-1, "(sIi(dd))", "set_zvshader_value_vec2_zvvec", shader->id, loc, value->x,
                value->y);
    CallScope scope;
    if (!scope.ok() || usable_shader(shader) < 0) return -1;
    return set_uniform_vec2(shader->id, loc, narrow_to_float(value->x), narrow_to_float(value->y));
}

}  // namespace

const rl::Api kApi = {
    begin_zvshader_mode,
    get_zvshader_location,
    draw_texture_pro,
    begin_texture_mode,
    end_blend_mode,
    end_shader_mode,
    end_texture_mode,
    begin_blend_mode,
    set_zvshader_value_vec2_tuple,
    set_zvshader_value_float,
    set_zvshader_value_int,
    set_zvshader_value_vec4_v,
    set_zvshader_value_float_v,
    set_zvshader_value_vec2_zvvec,
};

PyObject* build_capi() {
    PyRef capi = PyRef::steal(PyDict_New());
    if (!capi) return nullptr;
    for (const rl::ApiEntry& entry : rl::kApiEntries) {
        void* fn;
        std::memcpy(&fn, reinterpret_cast<const char*>(&kApi) + entry.offset, sizeof fn);
        PyRef capsule = PyRef::steal(PyCapsule_New(fn, entry.signature, nullptr));
        if (!capsule || PyDict_SetItemString(capi.get(), entry.name, capsule.get()) < 0) {
            return nullptr;
        }
    }
    return capi.release();
}

}  // namespace zorva::layer
