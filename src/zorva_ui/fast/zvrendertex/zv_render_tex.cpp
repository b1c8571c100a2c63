// zorva_ui.fast.zvrendertex.zv_render_tex: ZvRenderTexture, a framebuffer with an RGBA8 colour
// texture in the layer's context, released when unloaded or when the object goes away.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cmath>
#include <cstdio>

#include "fast/common/args.h"
#include "fast/common/callable.h"
#include "fast/common/module.h"
#include "fast/common/pyref.h"
#include "fast/raylib/layer_core.h"
#include "fast/raylib/values.h"
#include "interfaces/bind.h"
#include "interfaces/zvrendertex.h"
#include "interfaces/zvvector2.h"

namespace zorva::render_texture {
namespace {

constexpr const char kModuleName[] = "zorva_ui.fast.zvrendertex.zv_render_tex";
extern PyTypeObject ZvRenderTextureType;

ZvRenderTextureObject* render_texture_new(ZvVector2Object* size);
int c_fast_clear(ZvRenderTextureObject* self, PyObject* color);

struct State {
    bind::BoundType<ZvVector2Object> vector2;
    ZvRenderTextureVTable vtable{render_texture_new, c_fast_clear};  // published as __pyx_vtable__
};
State state;

// One side of a requested size: truncated toward zero, refused unless 1 .. INT32_MAX (NaN and
// infinities included, whose conversion to int would be undefined).
bool side_from_double(double value, int32_t* out) {
    if (!(value >= 1.0) || !(value < 2147483648.0)) return false;
    *out = static_cast<int32_t>(value);
    return true;
}

ZvRenderTextureObject* create(PyTypeObject* type, ZvVector2Object* size) {
    if (!state.vector2.instance(size)) {
        raise_expected("ZvVector2", size);
        return nullptr;
    }
    ZORVA_TRACE(nullptr, "(s(dd))", "render_texture_new", size->x, size->y);
    int32_t width, height;
    if (!side_from_double(size->x, &width) || !side_from_double(size->y, &height)) {
        char text[96];
        if (size->x >= 1.0 && size->y >= 1.0) {  // no NaN: a side beyond any int32 size
            const int32_t limit = layer::core().max_texture_size();
            if (limit < 0) return nullptr;
            std::snprintf(text, sizeof text, "%.10g x %.10g", size->x, size->y);
            PyErr_Format(PyExc_ValueError,
                         "render texture size %s exceeds the driver's maximum of %d", text, limit);
            return nullptr;
        }
        std::snprintf(text, sizeof text, "%g x %g", size->x, size->y);
        PyErr_Format(PyExc_ValueError, "render texture size must be at least 1 x 1, got %s", text);
        return nullptr;
    }
    PyRef stored =
        PyRef::steal(reinterpret_cast<PyObject*>(state.vector2.vtable->new_(width, height)));
    if (!stored) return nullptr;
    ZvRenderTarget target{};
    if (layer::core().create_target(width, height, &target) < 0) return nullptr;
    auto* self = reinterpret_cast<ZvRenderTextureObject*>(type->tp_alloc(type, 0));
    if (self == nullptr) {
        layer::core().discard_target(&target);
        return nullptr;
    }
    self->vtab = &state.vtable;
    self->render_texture = target;
    self->size = reinterpret_cast<ZvVector2Object*>(stored.release());
    self->loaded = 1;
    return self;
}

ZvRenderTextureObject* render_texture_new(ZvVector2Object* size) {
    return create(&ZvRenderTextureType, size);
}

int c_fast_clear(ZvRenderTextureObject* self, PyObject* color) {
    ZORVA_TRACE(-1, "(sIO)", "c_fast_clear", self->render_texture.id, color ? color : Py_None);
    uint8_t rgba[4];
    if (layer::parse_rgba(color, "color", rgba) < 0) return -1;
    if (!self->loaded) {
        PyErr_SetString(PyExc_ValueError, "render texture is not loaded");
        return -1;
    }
    return layer::core().clear_target(&self->render_texture, rgba);
}

void render_texture_dealloc(PyObject* self) {
    auto* rt = reinterpret_cast<ZvRenderTextureObject*>(self);
    if (rt->loaded) layer::core().discard_target(&rt->render_texture);
    Py_XDECREF(rt->size);
    Py_TYPE(self)->tp_free(self);
}

// ZvRenderTexture(size): a ZvVector2, or a (width, height) tuple.
PyObject* render_texture_construct(PyTypeObject* type, Args a) {
    PyObject* size_arg = a[0];
    PyRef size;
    if (state.vector2.instance(size_arg)) {
        size = PyRef::borrow(size_arg);
    } else if (PyTuple_Check(size_arg)) {
        PyRef pair = layer::fixed_tuple(size_arg, 2, "size", "numbers");
        if (!pair) return nullptr;
        double w, h;
        if (to_double(PyTuple_GET_ITEM(pair.get(), 0), &w) < 0 ||
            to_double(PyTuple_GET_ITEM(pair.get(), 1), &h) < 0) {
            return nullptr;
        }
        size = PyRef::steal(reinterpret_cast<PyObject*>(state.vector2.vtable->new_(w, h)));
        if (!size) return nullptr;
    } else {
        PyErr_Format(PyExc_TypeError,
                     "size must be a ZvVector2 or a (width, height) tuple, got "
                     "%.200s",
                     Py_TYPE(size_arg)->tp_name);
        return nullptr;
    }
    return reinterpret_cast<PyObject*>(
        create(type, reinterpret_cast<ZvVector2Object*>(size.get())));
}

PyObject* py_static_new(PyObject*, PyObject* size) {
    return reinterpret_cast<PyObject*>(
        render_texture_new(reinterpret_cast<ZvVector2Object*>(size)));
}

PyObject* py_c_fast_clear(PyObject* self, PyObject* color) {
    auto* rt = reinterpret_cast<ZvRenderTextureObject*>(self);
    if (rt->vtab->c_fast_clear(rt, color) < 0) return nullptr;
    Py_RETURN_NONE;
}

PyObject* py_read_pixels(PyObject* self) {
    auto* rt = reinterpret_cast<ZvRenderTextureObject*>(self);
    if (!rt->loaded) {
        PyErr_SetString(PyExc_ValueError, "render texture is not loaded");
        return nullptr;
    }
    return layer::core().read_target(&rt->render_texture);
}

PyObject* py_unload(PyObject* self) {
    auto* rt = reinterpret_cast<ZvRenderTextureObject*>(self);
    if (rt->loaded) {
        if (layer::core().delete_target(&rt->render_texture) < 0) return nullptr;
        rt->render_texture = ZvRenderTarget{};
        rt->loaded = 0;
    }
    Py_RETURN_NONE;
}

PyObject* py_reduce(PyObject* self) {
    PyErr_Format(PyExc_TypeError, "cannot pickle '%.200s' object: it lives in GPU memory",
                 Py_TYPE(self)->tp_name);
    return nullptr;
}

PyObject* get_render_texture(PyObject* self) {
    return layer::core().target_handle(
        &reinterpret_cast<ZvRenderTextureObject*>(self)->render_texture);
}

// A copy: the object's size is fixed, a caller changing the returned vector must not make it lie.
PyObject* get_size(PyObject* self) {
    auto* rt = reinterpret_cast<ZvRenderTextureObject*>(self);
    return reinterpret_cast<PyObject*>(state.vector2.vtable->new_(rt->size->x, rt->size->y));
}

PyObject* get_loaded(PyObject* self) {
    return PyBool_FromLong(reinterpret_cast<ZvRenderTextureObject*>(self)->loaded);
}

PyObject* render_texture_repr(PyObject* self) {
    auto* rt = reinterpret_cast<ZvRenderTextureObject*>(self);
    return PyUnicode_FromFormat("<ZvRenderTexture id=%u %dx%d%s>", rt->render_texture.id,
                                static_cast<int>(rt->size->x), static_cast<int>(rt->size->y),
                                rt->loaded ? "" : " unloaded");
}

constexpr Callable kConstruct{kModuleName, "ZvRenderTexture.__new__", "(size)",
                              render_texture_construct,
                              "An off-screen RGBA8 target of a ZvVector2 or (width, height) size; "
                              "its GPU memory is released by unload() or when it goes away."};
constexpr Callable kNew{kModuleName,
                        "ZvRenderTexture.new",
                        "(size, /)",
                        py_static_new,
                        "A render texture of a ZvVector2 size.",
                        METH_STATIC};
constexpr Callable kClear{kModuleName, "ZvRenderTexture.c_fast_clear", "($self, color, /)",
                          py_c_fast_clear, "Clears the whole texture to an (r, g, b, a) colour."};
constexpr Callable kReadPixels{
    kModuleName, "ZvRenderTexture.read_pixels", "($self)", py_read_pixels,
    "The pixels as bytes: width * height * 4, RGBA8 as stored, top row first."};
constexpr Callable kUnload{kModuleName, "ZvRenderTexture.unload", "($self)", py_unload,
                           "Releases the GPU memory now."};
constexpr Callable kReduce{kModuleName, "ZvRenderTexture.__reduce__", "($self)", py_reduce,
                           "Refused: a render texture lives in GPU memory."};

constexpr Property kRenderTarget{kModuleName, "ZvRenderTexture.render_texture", get_render_texture,
                                 nullptr,
                                 "RenderTarget(id, texture_id, width, height) of the framebuffer."};
constexpr Property kSize{kModuleName, "ZvRenderTexture.size", get_size, nullptr,
                         "ZvVector2(width, height) (a copy)."};
constexpr Property kLoaded{kModuleName, "ZvRenderTexture.loaded", get_loaded, nullptr,
                           "False once unloaded."};

PyTypeObject ZvRenderTextureType = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0).tp_name =
        "zorva_ui.fast.zvrendertex.zv_render_tex.ZvRenderTexture",
    .tp_basicsize = sizeof(ZvRenderTextureObject),
    .tp_dealloc = render_texture_dealloc,
    .tp_repr = render_texture_repr,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    .tp_doc = type_doc<kConstruct>,
    .tp_methods = method_table<kNew, kClear, kReadPixels, kUnload, kReduce>,
    .tp_getset = getset_table<kRenderTarget, kSize, kLoaded>,
    .tp_new = new_slot<kConstruct>,
};

int bind_vector2(PyObject*) {
    return state.vector2.bind();
}

int add_types(PyObject* module) {
    if (add_type(module, &ZvRenderTextureType, &state.vtable) < 0) return -1;
    layer::core().register_render_texture_type(&ZvRenderTextureType);
    return 0;
}

constexpr ModuleSpec kModule{kModuleName,
                             "The rendering layer's render textures.",
                             nullptr,
                             {bind_vector2, layer::take_core, add_types}};

}  // namespace
}  // namespace zorva::render_texture

PyMODINIT_FUNC PyInit_zv_render_tex() {
    return zorva::define_module<zorva::render_texture::kModule>();
}
