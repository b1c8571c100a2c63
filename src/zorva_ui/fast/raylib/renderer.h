// Drawing state of the process's one context: render targets, the texture-mode, shader-mode and
// blend-mode stacks, the default shader and the textured quad. Every function here expects the
// context to exist (callers go through ensure_context first) and the GIL to be held.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

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

// Sets up the default program, the quad buffers and the default state. Run once, by the context.
int init_renderer();

// No texture, shader or blend mode is open (a drawing pass has ended).
bool modes_idle();

// For deallocation: release the GL objects now, or queue them for the owner thread's next call
// when the context cannot be used here (never raises).
void discard_texture(uint32_t texture);
void discard_program(uint32_t program);
void discard_target(ZvRenderTarget* target);

// ---- programs -------------------------------------------------------------------------------
int compile_program(const char* vertex, const char* fragment, uint32_t* program, int32_t* locs);
int delete_program(uint32_t program);

// ---- textures and targets ---------------------------------------------------------------------
int32_t max_texture_size();
// An RGBA8 texture from width*height*4 bytes, top row first.
int create_texture(int32_t width, int32_t height, const uint8_t* rgba, uint32_t* texture);
void delete_texture(uint32_t texture);
int create_target(int32_t width, int32_t height, ZvRenderTarget* out);
int delete_target(ZvRenderTarget* target);
// Whether `fbo` names a live target; its size is stored through the pointers when it does.
bool target_size(uint32_t fbo, int32_t* width, int32_t* height);
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

// ---- uniforms (of a given program, whatever program is active) --------------------------------
int set_uniform_int(uint32_t program, int32_t loc, int32_t value);
int set_uniform_float(uint32_t program, int32_t loc, float value);
int set_uniform_vec2(uint32_t program, int32_t loc, float x, float y);
int set_uniform_vec4_array(uint32_t program, int32_t loc, const float* xyzw, Py_ssize_t count);
int set_uniform_float_array(uint32_t program, int32_t loc, const float* values, Py_ssize_t count);
int32_t uniform_location(uint32_t program, const char* name);

// ---- drawing ----------------------------------------------------------------------------------
struct QuadParams {
    uint32_t texture;
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
