#include "fast/raylib/handles.h"

#include <cstring>

#include "fast/common/pyref.h"
#include "fast/raylib/context.h"
#include "fast/raylib/renderer.h"
#include "fast/raylib/trace.h"
#include "fast/raylib/values.h"

namespace zorva::layer {

PyTypeObject* g_target_handle_type = nullptr;
PyTypeObject* g_vector2_type = nullptr;
PyTypeObject* g_shader_type = nullptr;
PyTypeObject* g_render_texture_type = nullptr;

namespace {

// Images are memory only; the limit keeps width * height * 4 far from overflowing and matches
// the largest texture any driver takes.
constexpr int32_t kMaxImageSide = 16384;
uint64_t g_next_image_id = 1;

// ---- Image --------------------------------------------------------------------------------------

void image_dealloc(PyObject* self) {
    PyMem_Free(reinterpret_cast<ImageObject*>(self)->data);
    Py_TYPE(self)->tp_free(self);
}

PyObject* image_repr(PyObject* self) {
    auto* image = reinterpret_cast<ImageObject*>(self);
    return PyUnicode_FromFormat("<Image id=%llu %dx%d%s>",
                                static_cast<unsigned long long>(image->id), image->width,
                                image->height, image->data ? "" : " unloaded");
}

PyObject* image_get_data(PyObject* self, void*) {
    auto* image = reinterpret_cast<ImageObject*>(self);
    if (image->data == nullptr) Py_RETURN_NONE;
    return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(image->data),
                                     static_cast<Py_ssize_t>(image->width) * image->height * 4);
}

PyObject* image_get_id(PyObject* self, void*) {
    return PyLong_FromUnsignedLongLong(reinterpret_cast<ImageObject*>(self)->id);
}
PyObject* image_get_width(PyObject* self, void*) {
    return PyLong_FromLong(reinterpret_cast<ImageObject*>(self)->width);
}
PyObject* image_get_height(PyObject* self, void*) {
    return PyLong_FromLong(reinterpret_cast<ImageObject*>(self)->height);
}
PyObject* image_get_loaded(PyObject* self, void*) {
    return PyBool_FromLong(reinterpret_cast<ImageObject*>(self)->data != nullptr);
}

PyGetSetDef image_getset[] = {
    {"id", image_get_id, nullptr, "Serial number of the image.", nullptr},
    {"width", image_get_width, nullptr, nullptr, nullptr},
    {"height", image_get_height, nullptr, nullptr, nullptr},
    {"data", image_get_data, nullptr, "RGBA8 pixels, top row first (None once unloaded).", nullptr},
    {"loaded", image_get_loaded, nullptr, nullptr, nullptr},
    {nullptr},
};

// ---- Texture ------------------------------------------------------------------------------------

void texture_dealloc(PyObject* self) {
    auto* texture = reinterpret_cast<TextureObject*>(self);
    if (texture->loaded) discard_texture(texture->texture.id);
    Py_TYPE(self)->tp_free(self);
}

PyObject* texture_repr(PyObject* self) {
    auto* texture = reinterpret_cast<TextureObject*>(self);
    return PyUnicode_FromFormat("<Texture id=%u %dx%d%s>", texture->texture.id,
                                texture->texture.width, texture->texture.height,
                                texture->loaded ? "" : " unloaded");
}

template <typename T, T ZvTexture::* field>
PyObject* texture_get(PyObject* self, void*) {
    return PyLong_FromLongLong(reinterpret_cast<TextureObject*>(self)->texture.*field);
}
PyObject* texture_get_loaded(PyObject* self, void*) {
    return PyBool_FromLong(reinterpret_cast<TextureObject*>(self)->loaded);
}

PyGetSetDef texture_getset[] = {
    {"id", texture_get<uint32_t, &ZvTexture::id>, nullptr, "GL texture name.", nullptr},
    {"width", texture_get<int32_t, &ZvTexture::width>, nullptr, nullptr, nullptr},
    {"height", texture_get<int32_t, &ZvTexture::height>, nullptr, nullptr, nullptr},
    {"mipmaps", texture_get<int32_t, &ZvTexture::mipmaps>, nullptr, nullptr, nullptr},
    {"format", texture_get<int32_t, &ZvTexture::format>, nullptr, "7: RGBA8.", nullptr},
    {"loaded", texture_get_loaded, nullptr, nullptr, nullptr},
    {nullptr},
};

PyStructSequence_Field target_fields[] = {
    {"id", "GL framebuffer name"},
    {"texture_id", "GL name of the colour texture"},
    {"width", nullptr},
    {"height", nullptr},
    {nullptr, nullptr},
};

PyStructSequence_Desc target_desc = {
    "zorva_ui.fast.raylib.zorva_raylib.RenderTarget",
    "Handle of a render texture's framebuffer, as begin_texture_mode takes it.",
    target_fields,
    4,
};

PyObject* type_error(const char* expected, const void* obj) {
    PyErr_Format(
        PyExc_TypeError, "Expected %s, got %.200s", expected,
        obj ? Py_TYPE(reinterpret_cast<PyObject*>(const_cast<void*>(obj)))->tp_name : "NULL");
    return nullptr;
}

}  // namespace

PyTypeObject ImageType = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0).tp_name =
        "zorva_ui.fast.raylib.zorva_raylib.Image",
    .tp_basicsize = sizeof(ImageObject),
    .tp_dealloc = image_dealloc,
    .tp_repr = image_repr,
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_doc = "RGBA8 pixels in memory (made by gen_image_color or image_from_pixels).",
    .tp_getset = image_getset,
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
    .tp_getset = texture_getset,
};

int ready_handle_types(PyObject* module) {
    if (PyType_Ready(&ImageType) < 0 || PyType_Ready(&TextureType) < 0) return -1;
    if (g_target_handle_type == nullptr) {
        g_target_handle_type = PyStructSequence_NewType(&target_desc);
        if (g_target_handle_type == nullptr) return -1;
    }
    if (PyModule_AddObjectRef(module, "Image", reinterpret_cast<PyObject*>(&ImageType)) < 0 ||
        PyModule_AddObjectRef(module, "Texture", reinterpret_cast<PyObject*>(&TextureType)) < 0 ||
        PyModule_AddObjectRef(module, "RenderTarget",
                              reinterpret_cast<PyObject*>(g_target_handle_type)) < 0) {
        return -1;
    }
    return 0;
}

PyObject* target_handle(const ZvRenderTarget* target) {
    PyRef handle = PyRef::steal(PyStructSequence_New(g_target_handle_type));
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

bool is_shader(const void* obj) {
    return obj != nullptr && g_shader_type != nullptr &&
           PyObject_TypeCheck(reinterpret_cast<PyObject*>(const_cast<void*>(obj)), g_shader_type);
}

bool check_shader(const ZvShaderObject* shader) {
    if (is_shader(shader)) return true;
    type_error("ZvShader", shader);
    return false;
}

bool check_vector2(const ZvVector2Object* vector) {
    if (vector != nullptr && g_vector2_type != nullptr &&
        PyObject_TypeCheck(reinterpret_cast<PyObject*>(const_cast<ZvVector2Object*>(vector)),
                           g_vector2_type)) {
        return true;
    }
    type_error("ZvVector2", vector);
    return false;
}

bool resolve_texture(PyObject* obj, uint32_t* id, int32_t* width, int32_t* height) {
    if (obj != nullptr && Py_IS_TYPE(obj, &TextureType)) {
        auto* texture = reinterpret_cast<TextureObject*>(obj);
        if (!texture->loaded) {
            PyErr_SetString(PyExc_ValueError, "texture is not loaded");
            return false;
        }
        *id = texture->texture.id;
        *width = texture->texture.width;
        *height = texture->texture.height;
        return true;
    }
    if (obj != nullptr && g_render_texture_type != nullptr &&
        PyObject_TypeCheck(obj, g_render_texture_type)) {
        auto* target = reinterpret_cast<ZvRenderTextureObject*>(obj);
        if (!target->loaded || !target_size(target->render_texture.id, width, height)) {
            PyErr_SetString(PyExc_ValueError, "render texture is not loaded");
            return false;
        }
        *id = target->render_texture.texture.id;
        return true;
    }
    type_error("Texture or ZvRenderTexture", obj);
    return false;
}

PyObject* gen_image_color(int32_t width, int32_t height, PyObject* color) {
    ZORVA_TRACE(nullptr, "(siiO)", "gen_image_color", width, height, color);
    uint8_t rgba[4];
    if (parse_rgba(color, "color", rgba) < 0) return nullptr;
    if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide) {
        PyErr_Format(PyExc_ValueError, "image size must be within 1..%d, got %d x %d",
                     kMaxImageSide, width, height);
        return nullptr;
    }
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    auto* data = static_cast<uint8_t*>(PyMem_Malloc(pixels * 4));
    if (data == nullptr) return PyErr_NoMemory();
    for (size_t i = 0; i < pixels; ++i) std::memcpy(data + i * 4, rgba, 4);
    auto* image = PyObject_New(ImageObject, &ImageType);
    if (image == nullptr) {
        PyMem_Free(data);
        return nullptr;
    }
    image->id = g_next_image_id++;
    image->width = width;
    image->height = height;
    image->data = data;
    return reinterpret_cast<PyObject*>(image);
}

PyObject* image_from_pixels(int32_t width, int32_t height, PyObject* pixels) {
    ZORVA_TRACE(nullptr, "(sii)", "image_from_pixels", width, height);
    if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide) {
        PyErr_Format(PyExc_ValueError, "image size must be within 1..%d, got %d x %d",
                     kMaxImageSide, width, height);
        return nullptr;
    }
    Py_buffer view;
    if (PyObject_GetBuffer(pixels, &view, PyBUF_C_CONTIGUOUS) < 0) return nullptr;
    const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    uint8_t* data = nullptr;
    if (static_cast<size_t>(view.len) != size) {
        PyErr_Format(PyExc_ValueError, "%d x %d RGBA8 pixels take %zu bytes, got %zd", width,
                     height, size, view.len);
    } else if ((data = static_cast<uint8_t*>(PyMem_Malloc(size))) == nullptr) {
        PyErr_NoMemory();
    } else {
        std::memcpy(data, view.buf, size);
    }
    PyBuffer_Release(&view);
    if (data == nullptr) return nullptr;
    auto* image = PyObject_New(ImageObject, &ImageType);
    if (image == nullptr) {
        PyMem_Free(data);
        return nullptr;
    }
    image->id = g_next_image_id++;
    image->width = width;
    image->height = height;
    image->data = data;
    return reinterpret_cast<PyObject*>(image);
}

PyObject* load_texture_from_image(PyObject* obj) {
    if (!Py_IS_TYPE(obj, &ImageType)) return type_error("Image", obj);
    auto* image = reinterpret_cast<ImageObject*>(obj);
    ZORVA_TRACE(nullptr, "(sK)", "load_texture_from_image",
                static_cast<unsigned long long>(image->id));
    if (image->data == nullptr) {
        PyErr_SetString(PyExc_ValueError, "image is not loaded");
        return nullptr;
    }
    CallScope scope;
    if (!scope.ok()) return nullptr;
    uint32_t id = 0;
    if (create_texture(image->width, image->height, image->data, &id) < 0) return nullptr;
    auto* texture = PyObject_New(TextureObject, &TextureType);
    if (texture == nullptr) {
        delete_texture(id);
        return nullptr;
    }
    texture->texture = ZvTexture{id, image->width, image->height, 1, kPixelFormatRgba8};
    texture->loaded = 1;
    return reinterpret_cast<PyObject*>(texture);
}

int unload_image(PyObject* obj) {
    if (!Py_IS_TYPE(obj, &ImageType)) {
        type_error("Image", obj);
        return -1;
    }
    auto* image = reinterpret_cast<ImageObject*>(obj);
    ZORVA_TRACE(-1, "(sK)", "unload_image", static_cast<unsigned long long>(image->id));
    PyMem_Free(image->data);
    image->data = nullptr;
    return 0;
}

int unload_texture(PyObject* obj) {
    if (!Py_IS_TYPE(obj, &TextureType)) {
        type_error("Texture", obj);
        return -1;
    }
    auto* texture = reinterpret_cast<TextureObject*>(obj);
    if (texture->loaded && context_ready()) {
        CallScope scope;
        if (!scope.ok()) return -1;  // the texture stays loaded: nothing was released
        delete_texture(texture->texture.id);
    }
    texture->loaded = 0;
    return 0;
}

}  // namespace zorva::layer
