// The OpenGL 3.3 core entry points and constants the layer uses, declared here rather than taken
// from system headers: the functions are loaded at run time through the window system's lookup,
// so a machine needs only the driver's runtime libraries, no development package.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zorva::gl {

using GLenum = unsigned int;
using GLboolean = unsigned char;
using GLbitfield = unsigned int;
using GLint = int;
using GLuint = unsigned int;
using GLsizei = int;
using GLfloat = float;
using GLchar = char;
using GLsizeiptr = std::ptrdiff_t;
using GLintptr = std::ptrdiff_t;

inline constexpr GLenum NO_ERROR = 0;
inline constexpr GLenum ZERO = 0;
inline constexpr GLenum ONE = 1;
inline constexpr GLboolean FALSE = 0;
inline constexpr GLenum TRIANGLE_FAN = 0x0006;
inline constexpr GLenum SRC_ALPHA = 0x0302;
inline constexpr GLenum ONE_MINUS_SRC_ALPHA = 0x0303;
inline constexpr GLenum DST_COLOR = 0x0306;
inline constexpr GLenum CULL_FACE = 0x0B44;
inline constexpr GLenum DEPTH_TEST = 0x0B71;
inline constexpr GLenum BLEND = 0x0BE2;
inline constexpr GLenum SCISSOR_TEST = 0x0C11;
inline constexpr GLenum UNPACK_ALIGNMENT = 0x0CF5;
inline constexpr GLenum PACK_ALIGNMENT = 0x0D05;
inline constexpr GLenum MAX_TEXTURE_SIZE = 0x0D33;
inline constexpr GLenum TEXTURE_2D = 0x0DE1;
inline constexpr GLenum UNSIGNED_BYTE = 0x1401;
inline constexpr GLenum FLOAT = 0x1406;
inline constexpr GLenum RGBA = 0x1908;
inline constexpr GLenum RENDERER = 0x1F01;
inline constexpr GLenum VERSION = 0x1F02;
inline constexpr GLenum NEAREST = 0x2600;
inline constexpr GLenum TEXTURE_MAG_FILTER = 0x2800;
inline constexpr GLenum TEXTURE_MIN_FILTER = 0x2801;
inline constexpr GLenum TEXTURE_WRAP_S = 0x2802;
inline constexpr GLenum TEXTURE_WRAP_T = 0x2803;
inline constexpr GLbitfield COLOR_BUFFER_BIT = 0x4000;
inline constexpr GLenum FUNC_ADD = 0x8006;
inline constexpr GLenum FUNC_SUBTRACT = 0x800A;
inline constexpr GLenum RGBA8 = 0x8058;
inline constexpr GLenum CLAMP_TO_EDGE = 0x812F;
inline constexpr GLenum TEXTURE0 = 0x84C0;
inline constexpr GLenum TEXTURE1 = 0x84C1;
inline constexpr GLenum ARRAY_BUFFER = 0x8892;
inline constexpr GLenum DYNAMIC_DRAW = 0x88E8;
inline constexpr GLenum FRAGMENT_SHADER = 0x8B30;
inline constexpr GLenum VERTEX_SHADER = 0x8B31;
inline constexpr GLenum COMPILE_STATUS = 0x8B81;
inline constexpr GLenum LINK_STATUS = 0x8B82;
inline constexpr GLenum INFO_LOG_LENGTH = 0x8B84;
inline constexpr GLenum ACTIVE_UNIFORMS = 0x8B86;
inline constexpr GLenum ACTIVE_UNIFORM_MAX_LENGTH = 0x8B87;
inline constexpr GLenum READ_FRAMEBUFFER = 0x8CA8;
inline constexpr GLenum FRAMEBUFFER_COMPLETE = 0x8CD5;
inline constexpr GLenum COLOR_ATTACHMENT0 = 0x8CE0;
inline constexpr GLenum FRAMEBUFFER = 0x8D40;
inline constexpr GLboolean TRUE = 1;
inline constexpr GLenum FRONT_AND_BACK = 0x0408;
inline constexpr GLenum POLYGON_MODE = 0x0B40;
inline constexpr GLenum STENCIL_TEST = 0x0B90;
inline constexpr GLenum VIEWPORT = 0x0BA2;
inline constexpr GLenum COLOR_CLEAR_VALUE = 0x0C22;
inline constexpr GLenum COLOR_WRITEMASK = 0x0C23;
inline constexpr GLenum UNPACK_ROW_LENGTH = 0x0CF2;
inline constexpr GLenum PACK_ROW_LENGTH = 0x0D02;
inline constexpr GLenum PACK_SKIP_ROWS = 0x0D03;
inline constexpr GLenum PACK_SKIP_PIXELS = 0x0D04;
inline constexpr GLenum UNPACK_SKIP_ROWS = 0x0CF3;
inline constexpr GLenum UNPACK_SKIP_PIXELS = 0x0CF4;
inline constexpr GLenum SAMPLE_ALPHA_TO_COVERAGE = 0x809E;
inline constexpr GLenum SAMPLE_COVERAGE = 0x80A0;
inline constexpr GLenum RASTERIZER_DISCARD = 0x8C89;
inline constexpr GLenum FRAMEBUFFER_SRGB = 0x8DB9;
inline constexpr GLenum SAMPLE_MASK = 0x8E51;
inline constexpr GLenum COLOR_LOGIC_OP = 0x0BF2;
inline constexpr GLenum POLYGON_SMOOTH = 0x0B41;
inline constexpr GLenum CLIP_DISTANCE0 = 0x3000;
inline constexpr GLenum CLIP_DISTANCE1 = 0x3001;
inline constexpr GLenum CLIP_DISTANCE2 = 0x3002;
inline constexpr GLenum CLIP_DISTANCE3 = 0x3003;
inline constexpr GLenum CLIP_DISTANCE4 = 0x3004;
inline constexpr GLenum CLIP_DISTANCE5 = 0x3005;
inline constexpr GLenum CLIP_DISTANCE6 = 0x3006;
inline constexpr GLenum CLIP_DISTANCE7 = 0x3007;
inline constexpr GLenum OUT_OF_MEMORY = 0x0505;
inline constexpr GLenum FILL = 0x1B02;
inline constexpr GLenum BLEND_EQUATION_RGB = 0x8009;
inline constexpr GLenum TEXTURE_BINDING_2D = 0x8069;
inline constexpr GLenum BLEND_DST_RGB = 0x80C8;
inline constexpr GLenum BLEND_SRC_RGB = 0x80C9;
inline constexpr GLenum BLEND_DST_ALPHA = 0x80CA;
inline constexpr GLenum BLEND_SRC_ALPHA = 0x80CB;
inline constexpr GLenum MAJOR_VERSION = 0x821B;
inline constexpr GLenum MINOR_VERSION = 0x821C;
inline constexpr GLenum ACTIVE_TEXTURE = 0x84E0;
inline constexpr GLenum VERTEX_ARRAY_BINDING = 0x85B5;
inline constexpr GLenum BLEND_EQUATION_ALPHA = 0x883D;
inline constexpr GLenum ELEMENT_ARRAY_BUFFER = 0x8893;
inline constexpr GLenum ARRAY_BUFFER_BINDING = 0x8894;
inline constexpr GLenum ELEMENT_ARRAY_BUFFER_BINDING = 0x8895;
inline constexpr GLenum PIXEL_PACK_BUFFER = 0x88EB;
inline constexpr GLenum PIXEL_UNPACK_BUFFER = 0x88EC;
inline constexpr GLenum PIXEL_PACK_BUFFER_BINDING = 0x88ED;
inline constexpr GLenum PIXEL_UNPACK_BUFFER_BINDING = 0x88EF;
inline constexpr GLenum SAMPLER_BINDING = 0x8919;
inline constexpr GLenum CURRENT_PROGRAM = 0x8B8D;
inline constexpr GLenum DRAW_FRAMEBUFFER_BINDING = 0x8CA6;
inline constexpr GLenum DRAW_FRAMEBUFFER = 0x8CA9;
inline constexpr GLenum READ_FRAMEBUFFER_BINDING = 0x8CAA;
inline constexpr GLenum SYNC_GPU_COMMANDS_COMPLETE = 0x9117;
inline constexpr GLenum SRC_ALPHA_SATURATE = 0x0308;
inline constexpr GLenum SCISSOR_BOX = 0x0C10;
inline constexpr GLenum CURRENT_QUERY = 0x8865;
inline constexpr GLenum SAMPLES_PASSED = 0x8914;
inline constexpr GLenum INVALID_ENUM = 0x0500;
inline constexpr GLenum INVALID_VALUE = 0x0501;
inline constexpr GLenum INVALID_OPERATION = 0x0502;
inline constexpr GLenum INVALID_FRAMEBUFFER_OPERATION = 0x0506;
inline constexpr GLenum UNSIGNED_INT = 0x1405;
inline constexpr GLenum RGBA32UI = 0x8D70;
inline constexpr GLenum RGBA_INTEGER = 0x8D99;
inline constexpr GLenum UNSIGNED_INT_SAMPLER_BUFFER = 0x8DD8;
inline constexpr GLenum TEXTURE_BUFFER = 0x8C2A;
inline constexpr GLenum TEXTURE_BINDING_BUFFER = 0x8C2C;
inline constexpr GLenum MAX_TEXTURE_BUFFER_SIZE = 0x8C2B;
inline constexpr GLbitfield MAP_WRITE_BIT = 0x0002;
inline constexpr GLbitfield MAP_INVALIDATE_RANGE_BIT = 0x0004;
inline constexpr GLbitfield MAP_FLUSH_EXPLICIT_BIT = 0x0010;
inline constexpr GLbitfield MAP_UNSYNCHRONIZED_BIT = 0x0020;
inline constexpr GLbitfield SYNC_FLUSH_COMMANDS_BIT = 0x0001;
inline constexpr GLenum ALREADY_SIGNALED = 0x911A;
inline constexpr GLenum CONDITION_SATISFIED = 0x911C;
inline constexpr GLenum WAIT_FAILED = 0x911D;
using GLsync = void*;
using GLuint64 = uint64_t;

// X(return type, name without the "gl" prefix, parameter list)
#define ZORVA_GL_FUNCTIONS(X)                                                                \
    X(GLenum, GetError, (void))                                                              \
    X(const unsigned char*, GetString, (GLenum))                                             \
    X(void, GetIntegerv, (GLenum, GLint*))                                                   \
    X(void, GetBooleanv, (GLenum, GLboolean*))                                               \
    X(void, GetFloatv, (GLenum, GLfloat*))                                                   \
    X(GLboolean, IsEnabled, (GLenum))                                                        \
    X(void, ColorMask, (GLboolean, GLboolean, GLboolean, GLboolean))                         \
    X(void, PolygonMode, (GLenum, GLenum))                                                   \
    X(void, BlendEquationSeparate, (GLenum, GLenum))                                         \
    X(void, BindSampler, (GLuint, GLuint))                                                   \
    X(GLsync, FenceSync, (GLenum, GLbitfield))                                               \
    X(GLboolean, IsSync, (GLsync))                                                           \
    X(GLenum, ClientWaitSync, (GLsync, GLbitfield, GLuint64))                                \
    X(void, DeleteSync, (GLsync))                                                            \
    X(void, Enable, (GLenum))                                                                \
    X(void, Disable, (GLenum))                                                               \
    X(void, Viewport, (GLint, GLint, GLsizei, GLsizei))                                      \
    X(void, Scissor, (GLint, GLint, GLsizei, GLsizei))                                       \
    X(void, GetQueryiv, (GLenum, GLenum, GLint*))                                            \
    X(void, EndQuery, (GLenum))                                                              \
    X(void, ClearColor, (GLfloat, GLfloat, GLfloat, GLfloat))                                \
    X(void, Clear, (GLbitfield))                                                             \
    X(void, Finish, (void))                                                                  \
    X(void, Flush, (void))                                                                   \
    X(void, BlendFuncSeparate, (GLenum, GLenum, GLenum, GLenum))                             \
    X(void, BlendEquation, (GLenum))                                                         \
    X(void, PixelStorei, (GLenum, GLint))                                                    \
    X(void, ReadPixels, (GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*))             \
    X(void, GenTextures, (GLsizei, GLuint*))                                                 \
    X(void, DeleteTextures, (GLsizei, const GLuint*))                                        \
    X(void, BindTexture, (GLenum, GLuint))                                                   \
    X(void, ActiveTexture, (GLenum))                                                         \
    X(void, TexImage2D,                                                                      \
      (GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum, const void*))          \
    X(void, TexParameteri, (GLenum, GLenum, GLint))                                          \
    X(void, GenFramebuffers, (GLsizei, GLuint*))                                             \
    X(void, DeleteFramebuffers, (GLsizei, const GLuint*))                                    \
    X(void, BindFramebuffer, (GLenum, GLuint))                                               \
    X(void, FramebufferTexture2D, (GLenum, GLenum, GLenum, GLuint, GLint))                   \
    X(GLenum, CheckFramebufferStatus, (GLenum))                                              \
    X(GLuint, CreateShader, (GLenum))                                                        \
    X(void, ShaderSource, (GLuint, GLsizei, const GLchar* const*, const GLint*))             \
    X(void, CompileShader, (GLuint))                                                         \
    X(void, GetShaderiv, (GLuint, GLenum, GLint*))                                           \
    X(void, GetShaderInfoLog, (GLuint, GLsizei, GLsizei*, GLchar*))                          \
    X(void, DeleteShader, (GLuint))                                                          \
    X(GLuint, CreateProgram, (void))                                                         \
    X(void, AttachShader, (GLuint, GLuint))                                                  \
    X(void, BindAttribLocation, (GLuint, GLuint, const GLchar*))                             \
    X(void, LinkProgram, (GLuint))                                                           \
    X(void, GetProgramiv, (GLuint, GLenum, GLint*))                                          \
    X(void, GetProgramInfoLog, (GLuint, GLsizei, GLsizei*, GLchar*))                         \
    X(void, DeleteProgram, (GLuint))                                                         \
    X(void, UseProgram, (GLuint))                                                            \
    X(GLint, GetUniformLocation, (GLuint, const GLchar*))                                    \
    X(GLint, GetAttribLocation, (GLuint, const GLchar*))                                     \
    X(void, GetActiveUniform, (GLuint, GLuint, GLsizei, GLsizei*, GLint*, GLenum*, GLchar*)) \
    X(void, Uniform1i, (GLint, GLint))                                                       \
    X(void, Uniform1f, (GLint, GLfloat))                                                     \
    X(void, Uniform2f, (GLint, GLfloat, GLfloat))                                            \
    X(void, Uniform2i, (GLint, GLint, GLint))                                                \
    X(void, Uniform4f, (GLint, GLfloat, GLfloat, GLfloat, GLfloat))                          \
    X(void, Uniform1fv, (GLint, GLsizei, const GLfloat*))                                    \
    X(void, Uniform4fv, (GLint, GLsizei, const GLfloat*))                                    \
    X(void, UniformMatrix4fv, (GLint, GLsizei, GLboolean, const GLfloat*))                   \
    X(void, GenVertexArrays, (GLsizei, GLuint*))                                             \
    X(void, BindVertexArray, (GLuint))                                                       \
    X(void, GenBuffers, (GLsizei, GLuint*))                                                  \
    X(void, BindBuffer, (GLenum, GLuint))                                                    \
    X(void, BufferData, (GLenum, GLsizeiptr, const void*, GLenum))                           \
    X(void, BufferSubData, (GLenum, GLintptr, GLsizeiptr, const void*))                      \
    X(void*, MapBufferRange, (GLenum, GLintptr, GLsizeiptr, GLbitfield))                     \
    X(void, FlushMappedBufferRange, (GLenum, GLintptr, GLsizeiptr))                          \
    X(GLboolean, UnmapBuffer, (GLenum))                                                      \
    X(void, DeleteBuffers, (GLsizei, const GLuint*))                                         \
    X(void, CopyBufferSubData, (GLenum, GLenum, GLintptr, GLintptr, GLsizeiptr))             \
    X(void, TexBuffer, (GLenum, GLenum, GLuint))                                             \
    X(void, VertexAttribPointer, (GLuint, GLint, GLenum, GLboolean, GLsizei, const void*))   \
    X(void, EnableVertexAttribArray, (GLuint))                                               \
    X(void, DrawArrays, (GLenum, GLint, GLsizei))

struct Functions {
#define ZORVA_GL_MEMBER(ret, name, params) ret(*name) params;
    ZORVA_GL_FUNCTIONS(ZORVA_GL_MEMBER)
#undef ZORVA_GL_MEMBER
};

// The table of the device the running call works in (each device loads its own through its
// window system; device.cpp puts it here when a call enters another device). All null before
// the first call.
extern Functions fn;

// Clears every pending error flag (a driver may hold several).
inline void drain_errors() {
    while (fn.GetError() != NO_ERROR) {
    }
}

}  // namespace zorva::gl
