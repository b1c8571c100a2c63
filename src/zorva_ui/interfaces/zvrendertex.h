// `zorva_ui.fast.zvrendertex.zv_render_tex.ZvRenderTexture`: object layout and operation table.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

#include "interfaces/zvvector2.h"

namespace zorva {

// A GL texture as the layer describes it.
struct ZvTexture {
    uint32_t id;
    int32_t width;
    int32_t height;
    int32_t mipmaps;
    int32_t format;
};

// A render target: a framebuffer with its colour texture and depth buffer.
struct ZvRenderTarget {
    uint32_t id;  // GL framebuffer object
    ZvTexture texture;
    ZvTexture depth;
};

struct ZvRenderTextureObject;

struct ZvRenderTextureVTable {
    // Static: a new render texture of `size` (width, height, truncated to int). Sizes of 0 or
    // below raise ValueError. New object, or null with an exception set.
    ZvRenderTextureObject* (*new_)(ZvVector2Object* size);
    // Clears the whole target to an (r, g, b, a) tuple of 0..255 ints. 0, or -1 with an
    // exception set.
    int (*c_fast_clear)(ZvRenderTextureObject* self, PyObject* color);
};

struct ZvRenderTextureObject {
    // Where the type lives (for binding it) and its operation table; no part of the layout.
    static constexpr const char kModule[] = "zorva_ui.fast.zvrendertex.zv_render_tex";
    static constexpr const char kName[] = "ZvRenderTexture";
    using VTable = ZvRenderTextureVTable;

    PyObject_HEAD ZvRenderTextureVTable* vtab;
    ZvRenderTarget render_texture;
    ZvVector2Object* size;  // strong reference, never null on a constructed object
    int loaded;             // 1 until unloaded
};

}  // namespace zorva
