// Python-visible handles of zorva_raylib: images (pixels in memory), textures (GL textures) and
// the render-target handle that `ZvRenderTexture.render_texture` shows; and the sibling types
// the module checks its arguments against.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

#include "interfaces/zvrendertex.h"
#include "interfaces/zvshader.h"
#include "interfaces/zvvector2.h"

namespace zorva::layer {

struct ImageObject {
    PyObject_HEAD uint64_t id;  // serial number, for the trace
    int32_t width;
    int32_t height;
    uint8_t* data;  // RGBA8, top row first; null once unloaded (owned, PyMem)
    // The buffer protocol's view of the pixels: (height, width, 4) bytes, C order; every
    // exported view points at these, and `exports` counts the views alive (unloading waits).
    Py_ssize_t shape[3];
    Py_ssize_t strides[3];
    Py_ssize_t exports;
};

struct TextureObject {
    PyObject_HEAD ZvTexture texture;  // id: the GL name in the context it was loaded in
    int loaded;
    uint32_t handle;  // the layer's name of the texture, which holds in every context
};

extern PyTypeObject ImageType;
extern PyTypeObject TextureType;

// Readies Image, Texture and RenderTarget and binds them in the module. 0, or -1.
int add_handle_types(PyObject* module);

// A RenderTarget(id, texture_id, width, height) handle.
PyObject* target_handle(const ZvRenderTarget* target);

// Argument checks: 0, or -1 with TypeError "Expected <type>, got <type>".
int check_shader(const ZvShaderObject* shader);
int check_vector2(const ZvVector2Object* vector);
int check_render_texture(PyObject* obj);

// A drawable (a Texture or a ZvRenderTexture), checked loaded: its layer handle, the id the trace
// shows, and its size.
struct Drawable {
    bool render_texture;
    uint32_t handle;
    uint32_t id;
    int32_t width;
    int32_t height;
};
int resolve_texture(PyObject* obj, Drawable* out);
// Its GL texture in the running call's context (uploaded there at first use for a Texture; a
// RuntimeError naming both contexts for a render texture of another share group).
int texture_name_here(const Drawable& drawable, uint32_t* name);

PyObject* gen_image_color(int32_t width, int32_t height, PyObject* color);
// A copy of width x height RGBA8 pixels, top row first, from any C-contiguous buffer.
PyObject* image_from_pixels(int32_t width, int32_t height, PyObject* pixels);
PyObject* load_texture_from_image(PyObject* image);
int unload_image(PyObject* image);
int unload_texture(PyObject* texture);

}  // namespace zorva::layer
