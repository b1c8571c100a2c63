// zorva_ui.fast.zvrendertex.zv_render_tex: ZvRenderTexture, a framebuffer with an RGBA8 colour
// texture in the layer's context, released when unloaded or when the object goes away.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "fast/common/args.h"
#include "fast/common/buffer_view.h"
#include "fast/common/callable.h"
#include "fast/common/module.h"
#include "fast/common/pyref.h"
#include "fast/common/with_block.h"
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

// The caller's buffer for read_pixels: writable, C-contiguous and exactly the texture's size in
// bytes (its item type is not checked: an (h, w, 4) uint8 array, a bytearray or a pygame
// surface's buffer all qualify). 0 with `view` held, or -1 with an exception and nothing held.
int get_target_buffer(PyObject* into, Py_ssize_t size, BufferView* view) {
    if (view->get(into, PyBUF_WRITABLE | PyBUF_C_CONTIGUOUS) < 0) {
        PyRef cause = PyRef::steal(PyErr_GetRaisedException());
        PyErr_Format(PyExc_TypeError,
                     "into must be a writable C-contiguous buffer of %zd bytes, got %.200s", size,
                     Py_TYPE(into)->tp_name);
        PyRef error = PyRef::steal(PyErr_GetRaisedException());
        PyException_SetCause(error.get(), cause.release());
        PyErr_SetRaisedException(error.release());
        return -1;
    }
    if (view->size() != size) {
        PyErr_Format(PyExc_ValueError, "into holds %zd bytes, the render texture's pixels take %zd",
                     view->size(), size);
        view->release();
        return -1;
    }
    return 0;
}

int check_loaded(const ZvRenderTextureObject* rt) {
    if (rt->loaded) return 0;
    PyErr_SetString(PyExc_ValueError, "render texture is not loaded");
    return -1;
}

// read_pixels(into=None, straight_alpha=False): new bytes, or the pixels copied into `into`,
// which is returned. A buffer of the wrong kind or size is refused before anything is read.
PyObject* py_read_pixels(PyObject* self, Args a) {
    auto* rt = reinterpret_cast<ZvRenderTextureObject*>(self);
    PyObject* into = a[0];
    const int straight = PyObject_IsTrue(a[1]);
    if (straight < 0 || check_loaded(rt) < 0) return nullptr;
    BufferView view;
    if (into != Py_None) {
        const Py_ssize_t size =
            static_cast<Py_ssize_t>(rt->size->x) * static_cast<Py_ssize_t>(rt->size->y) * 4;
        // The exporter may run Python code that unloads the texture: check again after it.
        if (get_target_buffer(into, size, &view) < 0 || check_loaded(rt) < 0) return nullptr;
    }
    PyRef pixels = PyRef::steal(layer::core().read_target(&rt->render_texture));
    if (!pixels) return nullptr;
    auto* rgba = reinterpret_cast<uint8_t*>(PyBytes_AS_STRING(pixels.get()));
    const size_t size = static_cast<size_t>(PyBytes_GET_SIZE(pixels.get()));
    if (straight) layer::unpremultiply_rgba(rgba, size);
    if (!view.held()) return pixels.release();
    // Equal sizes always (a render texture's size is fixed); the test guards the copy anyway.
    if (static_cast<size_t>(view.size()) == size) std::memcpy(view.data(), rgba, size);
    return Py_NewRef(into);
}

// numpy's array protocol: np.asarray(texture) reads the pixels into a new (height, width, 4)
// uint8 array (straight from the GPU, premultiplied as stored). It is always a copy, so
// copy=False is refused as numpy asks; a dtype converts the new array.
PyObject* py_array(PyObject* self, Args a) {
    auto* rt = reinterpret_cast<ZvRenderTextureObject*>(self);
    PyObject* dtype = a[0];
    PyObject* copy = a[1];
    if (copy == Py_False) {
        PyErr_SetString(PyExc_ValueError,
                        "a render texture's pixels live on the GPU: reading them is a copy");
        return nullptr;
    }
    if (check_loaded(rt) < 0) return nullptr;
    PyRef numpy = PyRef::steal(PyImport_ImportModule("numpy"));
    if (!numpy) return nullptr;
    PyRef shape = PyRef::steal(Py_BuildValue("(nni)", static_cast<Py_ssize_t>(rt->size->y),
                                             static_cast<Py_ssize_t>(rt->size->x), 4));
    if (!shape) return nullptr;
    PyRef array =
        PyRef::steal(PyObject_CallMethod(numpy.get(), "empty", "(Os)", shape.get(), "uint8"));
    if (!array) return nullptr;
    PyObject* read_args[] = {array.get(), Py_False};
    PyRef filled = PyRef::steal(py_read_pixels(self, Args(read_args)));
    if (!filled) return nullptr;
    if (dtype == Py_None) return array.release();
    return PyObject_CallMethod(array.get(), "astype", "(O)", dtype);
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
    kModuleName, "ZvRenderTexture.read_pixels", "($self, into=None, straight_alpha=False)",
    py_read_pixels,
    "The pixels, RGBA8 top row first: as new bytes (width * height * 4), or copied into `into` "
    "(a writable C-contiguous buffer of that many bytes, returned); premultiplied as stored, or "
    "divided by alpha with straight_alpha=True."};
constexpr Callable kArray{
    kModuleName, "ZvRenderTexture.__array__", "($self, dtype=None, copy=None)", py_array,
    "numpy.asarray(texture): the pixels read into a new (height, width, 4) uint8 array, "
    "premultiplied as stored (always a copy: copy=False raises ValueError)."};
constexpr Callable kEnter{kModuleName, "ZvRenderTexture.__enter__", "($self)", with_enter,
                          "Returns the render texture itself, unloaded at the end of the with "
                          "block."};
constexpr Callable kExit{kModuleName, "ZvRenderTexture.__exit__", kWithExitParams,
                         with_exit<py_unload>,
                         "Unloads the render texture, also when the block raised (whose "
                         "exception then propagates)."};
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
    .tp_methods = method_table<kNew, kClear, kReadPixels, kArray, kUnload, kEnter, kExit, kReduce>,
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
