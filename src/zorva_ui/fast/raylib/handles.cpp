#include "fast/raylib/handles.h"

#include <cstring>

#include "fast/common/callable.h"
#include "fast/common/module.h"
#include "fast/common/pyref.h"
#include "fast/common/with_block.h"
#include "fast/raylib/context.h"
#include "fast/raylib/renderer.h"
#include "fast/raylib/layer_core.h"
#include "fast/raylib/objects.h"
#include "fast/raylib/state.h"
#include "fast/raylib/values.h"

namespace zorva::layer {
namespace {

using rl::kModuleName;

// Images are memory only; the limit keeps width * height * 4 far from overflowing and matches
// the largest texture any driver takes.
constexpr int32_t kMaxImageSide = 16384;

// ---- Image --------------------------------------------------------------------------------------

ImageObject* as_image(PyObject* self) {
    return reinterpret_cast<ImageObject*>(self);
}

void image_dealloc(PyObject* self) {
    PyMem_Free(as_image(self)->data);
    Py_TYPE(self)->tp_free(self);
}

PyObject* image_repr(PyObject* self) {
    const ImageObject* image = as_image(self);
    return PyUnicode_FromFormat("<Image id=%llu %dx%d%s>",
                                static_cast<unsigned long long>(image->id), image->width,
                                image->height, image->data ? "" : " unloaded");
}

PyObject* image_get_data(PyObject* self) {
    const ImageObject* image = as_image(self);
    if (image->data == nullptr) Py_RETURN_NONE;
    return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(image->data),
                                     static_cast<Py_ssize_t>(image->width) * image->height * 4);
}

PyObject* image_get_id(PyObject* self) {
    return PyLong_FromUnsignedLongLong(as_image(self)->id);
}
PyObject* image_get_width(PyObject* self) {
    return PyLong_FromLong(as_image(self)->width);
}
PyObject* image_get_height(PyObject* self) {
    return PyLong_FromLong(as_image(self)->height);
}
PyObject* image_get_loaded(PyObject* self) {
    return PyBool_FromLong(as_image(self)->data != nullptr);
}

// The buffer protocol: the pixels themselves, so numpy.asarray, memoryview and the frombuffer
// of Pillow and pygame see them without a copy. Writes through a view change the image.
int image_get_buffer(PyObject* self, Py_buffer* view, int flags) {
    ImageObject* image = as_image(self);
    if (image->data == nullptr) {
        view->obj = nullptr;
        PyErr_SetString(PyExc_BufferError, "image is not loaded");
        return -1;
    }
    if ((flags & PyBUF_F_CONTIGUOUS) == PyBUF_F_CONTIGUOUS) {
        view->obj = nullptr;  // rows first: never Fortran-ordered
        PyErr_SetString(PyExc_BufferError, "image pixels are C-contiguous, not Fortran");
        return -1;
    }
    const Py_ssize_t size = image->shape[0] * image->strides[0];
    if (PyBuffer_FillInfo(view, self, image->data, size, 0, flags) < 0) return -1;
    if ((flags & PyBUF_ND) == PyBUF_ND) {
        view->ndim = 3;
        view->shape = image->shape;
        if ((flags & PyBUF_STRIDES) == PyBUF_STRIDES) view->strides = image->strides;
    }
    ++image->exports;
    return 0;
}

void image_release_buffer(PyObject* self, Py_buffer*) {
    --as_image(self)->exports;
}

PyBufferProcs kImageBuffer = {image_get_buffer, image_release_buffer};

// unload_image as a method implementation, for `with`.
PyObject* image_unload(PyObject* self) {
    if (unload_image(self) < 0) return nullptr;
    Py_RETURN_NONE;
}

constexpr Callable kImageEnter{kModuleName, "Image.__enter__", "($self)", with_enter,
                               "Returns the image itself, unloaded at the end of the with block."};
constexpr Callable kImageExit{kModuleName, "Image.__exit__", kWithExitParams,
                              with_exit<image_unload>,
                              "Frees the pixels, also when the block raised (whose exception then "
                              "propagates)."};

constexpr Property kImageId{kModuleName, "Image.id", image_get_id, nullptr,
                            "Serial number of the image (the trace names images by it)."};
constexpr Property kImageWidth{kModuleName, "Image.width", image_get_width, nullptr,
                               "Width in pixels."};
constexpr Property kImageHeight{kModuleName, "Image.height", image_get_height, nullptr,
                                "Height in pixels."};
constexpr Property kImageData{kModuleName, "Image.data", image_get_data, nullptr,
                              "RGBA8 pixels, top row first (None once unloaded)."};
constexpr Property kImageLoaded{kModuleName, "Image.loaded", image_get_loaded, nullptr,
                                "False once unload_image freed the pixels."};

// ---- Texture ------------------------------------------------------------------------------------

TextureObject* as_texture(PyObject* self) {
    return reinterpret_cast<TextureObject*>(self);
}

void texture_dealloc(PyObject* self) {
    TextureObject* texture = as_texture(self);
    if (texture->loaded) texture_discard(texture->handle);
    Py_TYPE(self)->tp_free(self);
}

PyObject* texture_repr(PyObject* self) {
    const TextureObject* texture = as_texture(self);
    return PyUnicode_FromFormat("<Texture id=%u %dx%d%s>", texture->texture.id,
                                texture->texture.width, texture->texture.height,
                                texture->loaded ? "" : " unloaded");
}

template <typename T, T ZvTexture::* field>
PyObject* texture_get(PyObject* self) {
    return PyLong_FromLongLong(as_texture(self)->texture.*field);
}
PyObject* texture_get_loaded(PyObject* self) {
    return PyBool_FromLong(as_texture(self)->loaded);
}

PyObject* texture_unload(PyObject* self) {
    if (unload_texture(self) < 0) return nullptr;
    Py_RETURN_NONE;
}

constexpr Callable kTextureEnter{kModuleName, "Texture.__enter__", "($self)", with_enter,
                                 "Returns the texture itself, released at the end of the with "
                                 "block."};
constexpr Callable kTextureExit{kModuleName, "Texture.__exit__", kWithExitParams,
                                with_exit<texture_unload>,
                                "Releases the GL texture, also when the block raised (whose "
                                "exception then propagates)."};

constexpr Property kTextureId{kModuleName, "Texture.id", texture_get<uint32_t, &ZvTexture::id>,
                              nullptr, "GL texture name, in the context it was loaded in."};
constexpr Property kTextureWidth{kModuleName, "Texture.width",
                                 texture_get<int32_t, &ZvTexture::width>, nullptr,
                                 "Width in texels."};
constexpr Property kTextureHeight{kModuleName, "Texture.height",
                                  texture_get<int32_t, &ZvTexture::height>, nullptr,
                                  "Height in texels."};
constexpr Property kTextureMipmaps{kModuleName, "Texture.mipmaps",
                                   texture_get<int32_t, &ZvTexture::mipmaps>, nullptr,
                                   "Mipmap levels (1: the base level only)."};
constexpr Property kTextureFormat{kModuleName, "Texture.format",
                                  texture_get<int32_t, &ZvTexture::format>, nullptr,
                                  "Pixel format code (7: RGBA8)."};
constexpr Property kTextureLoaded{kModuleName, "Texture.loaded", texture_get_loaded, nullptr,
                                  "False once unload_texture released the GL texture."};

// ---- RenderTarget -------------------------------------------------------------------------------

PyStructSequence_Field kTargetFields[] = {
    {"id", "The layer's name of the render texture"},
    {"texture_id", "GL name of the colour texture"},
    {"width", "Width in pixels"},
    {"height", "Height in pixels"},
    {nullptr, nullptr},
};

PyStructSequence_Desc kTargetDesc = {
    "zorva_ui.fast.raylib.zorva_raylib.RenderTarget",
    "Handle of a render texture's framebuffer, as begin_texture_mode takes it.",
    kTargetFields,
    4,
};

}  // namespace

PyTypeObject ImageType = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0).tp_name =
        "zorva_ui.fast.raylib.zorva_raylib.Image",
    .tp_basicsize = sizeof(ImageObject),
    .tp_dealloc = image_dealloc,
    .tp_repr = image_repr,
    .tp_as_buffer = &kImageBuffer,
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_doc =
        "RGBA8 pixels in memory (made by gen_image_color or image_from_pixels); a buffer "
        "of (height, width, 4) bytes for numpy, memoryview, Pillow and pygame.",
    .tp_methods = method_table<kImageEnter, kImageExit>,
    .tp_getset = getset_table<kImageId, kImageWidth, kImageHeight, kImageData, kImageLoaded>,
};

PyTypeObject TextureType = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0).tp_name =
        "zorva_ui.fast.raylib.zorva_raylib.Texture",
    .tp_basicsize = sizeof(TextureObject),
    .tp_dealloc = texture_dealloc,
    .tp_repr = texture_repr,
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_doc =
        "A GL texture (made by load_texture_from_image); released by unload_texture or "
        "when the object goes away.",
    .tp_methods = method_table<kTextureEnter, kTextureExit>,
    .tp_getset = getset_table<kTextureId, kTextureWidth, kTextureHeight, kTextureMipmaps,
                              kTextureFormat, kTextureLoaded>,
};

int add_handle_types(PyObject* module) {
    if (add_type(module, &ImageType) < 0 || add_type(module, &TextureType) < 0) return -1;
    if (state.target_handle_type == nullptr) {
        state.target_handle_type = PyStructSequence_NewType(&kTargetDesc);
        if (state.target_handle_type == nullptr) return -1;
    }
    return PyModule_AddObjectRef(module, "RenderTarget",
                                 reinterpret_cast<PyObject*>(state.target_handle_type));
}

PyObject* target_handle(const ZvRenderTarget* target) {
    PyRef handle = PyRef::steal(PyStructSequence_New(state.target_handle_type));
    if (!handle) return nullptr;
    const long long values[4] = {target->id, target->texture.id, target->texture.width,
                                 target->texture.height};
    for (int i = 0; i < 4; ++i) {
        PyObject* value = PyLong_FromLongLong(values[i]);
        if (value == nullptr) return nullptr;
        PyStructSequence_SetItem(handle.get(), i, value);
    }
    return handle.release();
}

int check_shader(const ZvShaderObject* shader) {
    return bind::is_instance(shader, state.shader_type) ? 0 : raise_expected("ZvShader", shader);
}

int check_vector2(const ZvVector2Object* vector) {
    return state.vector2.instance(vector) ? 0 : raise_expected("ZvVector2", vector);
}

int check_render_texture(PyObject* obj) {
    return bind::is_instance(obj, state.render_texture_type)
               ? 0
               : raise_expected("ZvRenderTexture", obj);
}

int resolve_texture(PyObject* obj, Drawable* out) {
    if (obj != nullptr && Py_IS_TYPE(obj, &TextureType)) {
        auto* texture = reinterpret_cast<TextureObject*>(obj);
        if (!texture->loaded) {
            PyErr_SetString(PyExc_ValueError, "texture is not loaded");
            return -1;
        }
        *out = Drawable{false, texture->handle, texture->texture.id, texture->texture.width,
                        texture->texture.height};
        return 0;
    }
    if (bind::is_instance(obj, state.render_texture_type)) {
        auto* target = reinterpret_cast<ZvRenderTextureObject*>(obj);
        const TargetRecord* record =
            target->loaded ? target_find(target->render_texture.id) : nullptr;
        if (record == nullptr) {
            PyErr_SetString(PyExc_ValueError, "render texture is not loaded");
            return -1;
        }
        *out = Drawable{true, target->render_texture.id, target->render_texture.texture.id,
                        record->width, record->height};
        return 0;
    }
    return raise_expected("Texture or ZvRenderTexture", obj);
}

int texture_name_here(const Drawable& drawable, uint32_t* name) {
    if (!drawable.render_texture) return texture_here(drawable.handle, name);
    const TargetRecord* record = target_here(drawable.handle);
    if (record == nullptr) return -1;
    *name = record->texture;
    return 0;
}

namespace {

// 0, or -1 with ValueError when the size is not one an image may have.
int check_image_size(int32_t width, int32_t height) {
    if (width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide) return 0;
    PyErr_Format(PyExc_ValueError, "image size must be within 1..%d, got %d x %d", kMaxImageSide,
                 width, height);
    return -1;
}

// A new Image that takes ownership of `data` (PyMem_Malloc'd RGBA8), which is freed if the
// object cannot be made.
PyObject* new_image(int32_t width, int32_t height, uint8_t* data) {
    auto* image = PyObject_New(ImageObject, &ImageType);
    if (image == nullptr) {
        PyMem_Free(data);
        return nullptr;
    }
    image->id = state.next_image_id++;
    image->width = width;
    image->height = height;
    image->data = data;
    image->shape[0] = height;
    image->shape[1] = width;
    image->shape[2] = 4;
    image->strides[0] = static_cast<Py_ssize_t>(width) * 4;
    image->strides[1] = 4;
    image->strides[2] = 1;
    image->exports = 0;
    return reinterpret_cast<PyObject*>(image);
}

}  // namespace

PyObject* gen_image_color(int32_t width, int32_t height, PyObject* color) {
    ZORVA_TRACE(nullptr, "(siiO)", "gen_image_color", width, height, color);
    uint8_t rgba[4];
    if (parse_rgba(color, "color", rgba) < 0) return nullptr;
    if (check_image_size(width, height) < 0) return nullptr;
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    auto* data = static_cast<uint8_t*>(PyMem_Malloc(pixels * 4));
    if (data == nullptr) return PyErr_NoMemory();
    for (size_t i = 0; i < pixels; ++i) std::memcpy(data + i * 4, rgba, 4);
    return new_image(width, height, data);
}

PyObject* image_from_pixels(int32_t width, int32_t height, PyObject* pixels) {
    ZORVA_TRACE(nullptr, "(sii)", "image_from_pixels", width, height);
    if (check_image_size(width, height) < 0) return nullptr;
    Py_buffer view;
    if (get_rgba_pixels(pixels, width, height, &view) < 0) return nullptr;
    const size_t size = static_cast<size_t>(view.len);
    auto* data = static_cast<uint8_t*>(PyMem_Malloc(size));
    if (data == nullptr) {
        PyErr_NoMemory();
    } else {
        std::memcpy(data, view.buf, size);
    }
    PyBuffer_Release(&view);
    if (data == nullptr) return nullptr;
    return new_image(width, height, data);
}

PyObject* load_texture_from_image(PyObject* obj) {
    if (!Py_IS_TYPE(obj, &ImageType)) {
        raise_expected("Image", obj);
        return nullptr;
    }
    auto* image = reinterpret_cast<ImageObject*>(obj);
    ZORVA_TRACE(nullptr, "(sK)", "load_texture_from_image",
                static_cast<unsigned long long>(image->id));
    if (image->data == nullptr) {
        PyErr_SetString(PyExc_ValueError, "image is not loaded");
        return nullptr;
    }
    CallScope scope;
    if (!scope.ok()) return nullptr;
    uint32_t handle = 0, id = 0;
    if (texture_create(image->width, image->height, image->data, &handle, &id) < 0) return nullptr;
    auto* texture = PyObject_New(TextureObject, &TextureType);
    if (texture == nullptr) {
        texture_discard(handle);
        return nullptr;
    }
    texture->texture = ZvTexture{id, image->width, image->height, 1, kPixelFormatRgba8};
    texture->loaded = 1;
    texture->handle = handle;
    return reinterpret_cast<PyObject*>(texture);
}

int unload_image(PyObject* obj) {
    if (!Py_IS_TYPE(obj, &ImageType)) return raise_expected("Image", obj);
    auto* image = reinterpret_cast<ImageObject*>(obj);
    ZORVA_TRACE(-1, "(sK)", "unload_image", static_cast<unsigned long long>(image->id));
    if (image->exports > 0) {
        PyErr_Format(PyExc_BufferError,
                     "cannot unload an image while %zd buffer view(s) of it exist (memoryview, "
                     "numpy array): release them first",
                     image->exports);
        return -1;
    }
    PyMem_Free(image->data);
    image->data = nullptr;
    return 0;
}

int unload_texture(PyObject* obj) {
    if (!Py_IS_TYPE(obj, &TextureType)) return raise_expected("Texture", obj);
    auto* texture = reinterpret_cast<TextureObject*>(obj);
    // Refused from another thread: the texture stays loaded, nothing was released.
    if (texture->loaded && texture_delete(texture->handle) < 0) return -1;
    texture->loaded = 0;
    return 0;
}

}  // namespace zorva::layer
