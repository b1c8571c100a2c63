// Drawing in the device of the running call (device.h): the texture-mode, shader-mode and
// blend-mode stacks of its pass, the default shader and the textured quad, with the device's
// policy (into the host's framebuffer and keeping the host's state, or the layer's own context).
// Every function here runs inside a layer call (context.h) with the GIL held.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

#include "fast/raylib/device.h"
#include "interfaces/zvrendertex.h"
#include "interfaces/zvshader.h"

namespace zorva::layer {

// Pixel format code of RGBA8 textures, as Texture.format reports it.
inline constexpr int32_t kPixelFormatRgba8 = 7;

// Blend modes, numbered as the Python BlendMode enum numbers them.
enum BlendMode : int32_t {
    kBlendAlpha = 0,
    kBlendAdditive = 1,
    kBlendMultiplied = 2,
    kBlendAddColors = 3,
    kBlendSubtractColors = 4,
    kBlendAlphaPremultiply = 5,
    kBlendModeCount
};

// Turns a pending GL error into LayerError (MemoryError when the driver ran out of memory);
// 0 when there is none.
int check_gl_error(const char* what);

// Sets up the layer's GL objects in a new device (active, its context current): the default
// program, the quad buffers and, in the layer's own context, the default state.
int set_up_device(Device& device);

// ---- GL objects of the active device (objects.h names them across contexts) ------------------
int32_t max_texture_size();
int check_size(int32_t width, int32_t height, const char* what);
// The location of the layer-set `outputPremultiplied` uniform in a linked program (-1: none).
int32_t premultiplied_location(uint32_t program);
int compile_gl_program(const char* vertex, const char* fragment, uint32_t* program, int32_t* locs);
void delete_gl_program(uint32_t program);
// An RGBA8 texture from width*height*4 bytes, top row first (uninitialised for null).
int create_gl_texture(int32_t width, int32_t height, const uint8_t* rgba, uint32_t* texture);
void delete_gl_texture(uint32_t texture);
// A framebuffer drawing into `texture`.
int create_gl_framebuffer(uint32_t texture, uint32_t* fbo);
void delete_gl_framebuffer(uint32_t fbo);
// Binds what the texture-mode stack says is current again (after a target went away).
void rebind_current_target();

// ---- render targets -----------------------------------------------------------------------
int clear_target(const ZvRenderTarget* target, const uint8_t rgba[4]);
PyObject* read_target(const ZvRenderTarget* target);

// ---- modes ------------------------------------------------------------------------------------
int begin_target(uint32_t fbo);
// Mode ownership (see Core in layer_core.h): the serial of the innermost open mode of a kind, the
// serial of the last begin or end, and the quiet removal of an open mode below the innermost one
// (nothing done for the innermost one or one no longer open).
uint64_t mode_serial(int kind);
uint64_t mode_changes();
int remove_buried_mode(int kind, uint64_t serial);
int end_target();
// Keeps a strong reference to the shader while it is active.
int begin_shader(ZvShaderObject* shader);
int end_shader();
int begin_blend(int32_t mode);
int end_blend();

// ---- uniforms (of a given program, whatever program is active; locations as the layer hands
// them out) --------------------------------------------------------------------------------------
int set_uniform_int(uint32_t program, int32_t loc, int32_t value);
int set_uniform_float(uint32_t program, int32_t loc, float value);
int set_uniform_vec2(uint32_t program, int32_t loc, float x, float y);
int set_uniform_vec4_array(uint32_t program, int32_t loc, const float* xyzw, Py_ssize_t count);
int set_uniform_float_array(uint32_t program, int32_t loc, const float* values, Py_ssize_t count);

// ---- drawing ----------------------------------------------------------------------------------
struct QuadParams {
    uint32_t texture;  // GL name in the active device
    int32_t texture_width;
    int32_t texture_height;
    float source[4];  // x, y, w, h in texels
    float dest[4];    // x, y, w, h in target pixels
    float origin[2];
    float rotation;  // degrees
    uint8_t tint[4];
};
// Draws into the current target with the active shader (the default one when none is active).
int draw_quad(const QuadParams& quad);

}  // namespace zorva::layer
