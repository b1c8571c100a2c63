// zorva_ui.fast.zvrendertex.zv_render_tex: ZvRenderTexture, a framebuffer with an RGBA8 colour
// texture in the layer's context, released when unloaded or when the object goes away.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cmath>
#include <cstdio>

#include "fast/common/args.h"
#include "fast/common/module_guard.h"
#include "fast/common/pyref.h"
#include "fast/common/vtable.h"
#include "fast/raylib/layer_core.h"
#include "fast/raylib/values.h"
#include "interfaces/bind.h"
#include "interfaces/zvrendertex.h"
#include "interfaces/zvvector2.h"

namespace zorva {
namespace {

ModuleGuard g_guard{"zv_render_tex", "zorva_ui.fast.zvrendertex.zv_render_tex"};
const layer::Core* g_core = nullptr;
PyTypeObject* g_vector2_type = nullptr;
ZvVector2VTable* g_vector2_vtable = nullptr;
extern PyTypeObject ZvRenderTextureType;

ZvRenderTextureObject* render_texture_new(ZvVector2Object* size);
int c_fast_clear(ZvRenderTextureObject* self, PyObject* color);
ZvRenderTextureVTable g_vtable = {render_texture_new, c_fast_clear};

// One side of a requested size: truncated toward zero, refused unless 1 .. INT32_MAX (NaN and
// infinities included, whose conversion to int would be undefined).
bool side_from_double(double value, int32_t* out) {
    if (!(value >= 1.0) || !(value < 2147483648.0)) return false;
    *out = static_cast<int32_t>(value);
    return true;
}

ZvRenderTextureObject* create(PyTypeObject* type, ZvVector2Object* size) {
    if (size == nullptr || !PyObject_TypeCheck(reinterpret_cast<PyObject*>(size), g_vector2_type)) {
        PyErr_Format(PyExc_TypeError, "Expected ZvVector2, got %.200s",
                     size ? Py_TYPE(reinterpret_cast<PyObject*>(size))->tp_name : "NULL");
        return nullptr;
    }
    if (*g_core->tracing) [[unlikely]] {
        if (g_core->record("(s(dd))", "render_texture_new", size->x, size->y) < 0) return nullptr;
    }
    int32_t width, height;
    if (!side_from_double(size->x, &width) || !side_from_double(size->y, &height)) {
        char text[96];
        std::snprintf(text, sizeof text, "%g x %g", size->x, size->y);
        PyErr_Format(PyExc_ValueError, "render texture size must be at least 1 x 1, got %s", text);
        return nullptr;
    }
    PyRef stored = PyRef::steal(reinterpret_cast<PyObject*>(g_vector2_vtable->new_(width, height)));
    if (!stored) return nullptr;
    ZvRenderTarget target{};
    if (g_core->create_target(width, height, &target) < 0) return nullptr;
    auto* self = reinterpret_cast<ZvRenderTextureObject*>(type->tp_alloc(type, 0));
    if (self == nullptr) {
        g_core->discard_target(&target);
        return nullptr;
    }
    self->vtab = &g_vtable;
    self->render_texture = target;
    self->size = reinterpret_cast<ZvVector2Object*>(stored.release());
    self->loaded = 1;
    return self;
}

ZvRenderTextureObject* render_texture_new(ZvVector2Object* size) {
    return create(&ZvRenderTextureType, size);
}

int c_fast_clear(ZvRenderTextureObject* self, PyObject* color) {
    if (*g_core->tracing) [[unlikely]] {
        if (g_core->record("(sIO)", "c_fast_clear", self->render_texture.id,
                           color ? color : Py_None) < 0) {
            return -1;
        }
    }
    uint8_t rgba[4];
    if (layer::parse_rgba(color, "color", rgba) < 0) return -1;
    if (!self->loaded) {
        PyErr_SetString(PyExc_ValueError, "render texture is not loaded");
        return -1;
    }
    return g_core->clear_target(&self->render_texture, rgba);
}

void render_texture_dealloc(PyObject* self) {
    auto* rt = reinterpret_cast<ZvRenderTextureObject*>(self);
    if (rt->loaded) g_core->discard_target(&rt->render_texture);
    Py_XDECREF(rt->size);
    Py_TYPE(self)->tp_free(self);
}

// ZvRenderTexture(size): a ZvVector2, or a (width, height) tuple.
PyObject* render_texture_tp_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    static const char* kwlist[] = {"size", nullptr};
    PyObject* size_arg = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O:ZvRenderTexture", const_cast<char**>(kwlist),
                                     &size_arg)) {
        return nullptr;
    }
    PyRef size;
    if (PyObject_TypeCheck(size_arg, g_vector2_type)) {
        size = PyRef::borrow(size_arg);
    } else if (PyTuple_Check(size_arg)) {
        PyRef pair = layer::fixed_tuple(size_arg, 2, "size", "numbers");
        if (!pair) return nullptr;
        double w, h;
        if (!to_double(PyTuple_GET_ITEM(pair.get(), 0), &w) ||
            !to_double(PyTuple_GET_ITEM(pair.get(), 1), &h)) {
            return nullptr;
        }
        size = PyRef::steal(reinterpret_cast<PyObject*>(g_vector2_vtable->new_(w, h)));
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

PyObject* py_read_pixels(PyObject* self, PyObject*) {
    auto* rt = reinterpret_cast<ZvRenderTextureObject*>(self);
    if (!rt->loaded) {
        PyErr_SetString(PyExc_ValueError, "render texture is not loaded");
        return nullptr;
    }
    return g_core->read_target(&rt->render_texture);
}

PyObject* py_unload(PyObject* self, PyObject*) {
    auto* rt = reinterpret_cast<ZvRenderTextureObject*>(self);
    if (rt->loaded) {
        if (g_core->delete_target(&rt->render_texture) < 0) return nullptr;
        rt->render_texture = ZvRenderTarget{};
        rt->loaded = 0;
    }
    Py_RETURN_NONE;
}

PyObject* py_reduce(PyObject* self, PyObject*) {
    PyErr_Format(PyExc_TypeError, "cannot pickle '%.200s' object: it lives in GPU memory",
                 Py_TYPE(self)->tp_name);
    return nullptr;
}

PyObject* get_render_texture(PyObject* self, void*) {
    return g_core->target_handle(&reinterpret_cast<ZvRenderTextureObject*>(self)->render_texture);
}

// A copy: the object's size is fixed, a caller changing the returned vector must not make it lie.
PyObject* get_size(PyObject* self, void*) {
    auto* rt = reinterpret_cast<ZvRenderTextureObject*>(self);
    return reinterpret_cast<PyObject*>(g_vector2_vtable->new_(rt->size->x, rt->size->y));
}

PyObject* get_loaded(PyObject* self, void*) {
    return PyBool_FromLong(reinterpret_cast<ZvRenderTextureObject*>(self)->loaded);
}

PyObject* render_texture_repr(PyObject* self) {
    auto* rt = reinterpret_cast<ZvRenderTextureObject*>(self);
    return PyUnicode_FromFormat("<ZvRenderTexture id=%u %dx%d%s>", rt->render_texture.id,
                                static_cast<int>(rt->size->x), static_cast<int>(rt->size->y),
                                rt->loaded ? "" : " unloaded");
}

PyMethodDef render_texture_methods[] = {
    {"new", py_static_new, METH_O | METH_STATIC,
     "new(size): a render texture of a ZvVector2 size."},
    {"c_fast_clear", py_c_fast_clear, METH_O, "Clears the whole texture to (r, g, b, a)."},
    {"read_pixels", py_read_pixels, METH_NOARGS,
     "The pixels as bytes: width * height * 4, RGBA8 as stored, top row first."},
    {"unload", py_unload, METH_NOARGS, "Releases the GPU memory now."},
    {"__reduce__", py_reduce, METH_NOARGS, nullptr},
    {nullptr},
};

PyGetSetDef render_texture_getset[] = {
    {"render_texture", get_render_texture, nullptr,
     "RenderTarget(id, texture_id, width, height) of the framebuffer.", nullptr},
    {"size", get_size, nullptr, "ZvVector2(width, height) (a copy).", nullptr},
    {"loaded", get_loaded, nullptr, "False once unloaded.", nullptr},
    {nullptr},
};

PyTypeObject ZvRenderTextureType = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0).tp_name =
        "zorva_ui.fast.zvrendertex.zv_render_tex.ZvRenderTexture",
    .tp_basicsize = sizeof(ZvRenderTextureObject),
    .tp_dealloc = render_texture_dealloc,
    .tp_repr = render_texture_repr,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    .tp_doc = "ZvRenderTexture(size): an off-screen RGBA8 target of a ZvVector2 or (w, h) size.",
    .tp_methods = render_texture_methods,
    .tp_getset = render_texture_getset,
    .tp_new = render_texture_tp_new,
};

int module_exec(PyObject* module) {
    const int begun = guarded_exec_begin(g_guard, module);
    if (begun != 0) return begun < 0 ? -1 : 0;
    auto failed = [] {
        guarded_exec_failed(g_guard);
        return -1;
    };
    if (g_vector2_type == nullptr) {
        void* vtable = nullptr;
        g_vector2_type = bind::import_type("zorva_ui.fast.zvvector2.zvvector2", "ZvVector2",
                                           sizeof(ZvVector2Object), &vtable);
        if (g_vector2_type == nullptr) return failed();
        g_vector2_vtable = static_cast<ZvVector2VTable*>(vtable);
    }
    g_core = layer::import_core();
    if (g_core == nullptr) return failed();
    if (PyType_Ready(&ZvRenderTextureType) < 0 ||
        publish_vtable(&ZvRenderTextureType, &g_vtable) < 0 ||
        PyModule_AddObjectRef(module, "ZvRenderTexture",
                              reinterpret_cast<PyObject*>(&ZvRenderTextureType)) < 0) {
        return failed();
    }
    g_core->register_render_texture_type(&ZvRenderTextureType);
    guarded_exec_done(g_guard);
    return 0;
}

}  // namespace
}  // namespace zorva

PyMODINIT_FUNC PyInit_zv_render_tex() {
    return zorva::guarded_module_init<zorva::g_guard, zorva::module_exec>(
        "The rendering layer's render textures.");
}
