// The native drawing entry points of `zorva_ui.fast.raylib.zorva_raylib`.
//
// Each is published as a function capsule in the module's `__pyx_capi__` dict; the capsule's
// name is the signature text below, so a caller compiled against another signature is refused
// at import instead of calling through a mismatched pointer.
//
// Conventions: functions returning int give 0 on success and -1 with a Python exception set;
// `get_zvshader_location` returns the location (-1 for a uniform the program lacks, like GL) and
// reports failure as -1 with an exception set; `begin_zvshader_mode` returns a new reference
// (None) or null. A shader argument may be Py_None (an object not created yet): that raises
// TypeError, never a crash.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <cstdint>

#include "interfaces/vector4.h"
#include "interfaces/zvrendertex.h"
#include "interfaces/zvshader.h"
#include "interfaces/zvvector2.h"

namespace zorva::rl {

using BeginShaderModeFn = PyObject* (*)(ZvShaderObject* shader);
using GetShaderLocationFn = int32_t (*)(ZvShaderObject* shader, PyObject* name);
// texture: the object `load_texture_from_image` returned; source and dest (x, y, w, h),
// origin (x, y) and tint (r, g, b, a) are tuples of numbers.
using DrawTextureProFn = int (*)(PyObject* texture, PyObject* source, PyObject* dest,
                                 PyObject* origin, float rotation, PyObject* tint);
using BeginTextureModeFn = int (*)(ZvRenderTarget target);
using EndModeFn = int (*)();
using BeginBlendModeFn = int (*)(int32_t mode);
using SetVec2TupleFn = int (*)(ZvShaderObject* shader, int32_t loc, PyObject* xy);
using SetFloatFn = int (*)(ZvShaderObject* shader, int32_t loc, float value);
using SetIntFn = int (*)(ZvShaderObject* shader, int32_t loc, int32_t value);
using SetVec4ArrayFn = int (*)(ZvShaderObject* shader, int32_t loc, const Vector4* values,
                               Py_ssize_t count);
using SetFloatArrayFn = int (*)(ZvShaderObject* shader, int32_t loc, const float* values,
                                Py_ssize_t count);
using SetVec2VectorFn = int (*)(ZvShaderObject* shader, int32_t loc, ZvVector2Object* value);

// Capsule names: the signature texts.
inline constexpr const char kSigBeginShaderMode[] = "PyObject *(struct ZvShaderObject *)";
inline constexpr const char kSigGetShaderLocation[] =
    "int32_t (struct ZvShaderObject *, PyObject *)";
inline constexpr const char kSigDrawTexturePro[] =
    "int (PyObject *, PyObject *, PyObject *, PyObject *, float, PyObject *)";
inline constexpr const char kSigBeginTextureMode[] = "int (struct ZvRenderTarget)";
inline constexpr const char kSigEndMode[] = "int (void)";
inline constexpr const char kSigBeginBlendMode[] = "int (int32_t)";
inline constexpr const char kSigSetVec2Tuple[] =
    "int (struct ZvShaderObject *, int32_t, PyObject *)";
inline constexpr const char kSigSetFloat[] = "int (struct ZvShaderObject *, int32_t, float)";
inline constexpr const char kSigSetInt[] = "int (struct ZvShaderObject *, int32_t, int32_t)";
inline constexpr const char kSigSetVec4Array[] =
    "int (struct ZvShaderObject *, int32_t, struct Vector4 const *, Py_ssize_t)";
inline constexpr const char kSigSetFloatArray[] =
    "int (struct ZvShaderObject *, int32_t, float const *, Py_ssize_t)";
inline constexpr const char kSigSetVec2Vector[] =
    "int (struct ZvShaderObject *, int32_t, struct ZvVector2Object *)";

// The fourteen entry points, in the order the gradient module binds them.
struct Api {
    BeginShaderModeFn begin_zvshader_mode;
    GetShaderLocationFn get_zvshader_location;
    DrawTextureProFn draw_texture_pro;
    BeginTextureModeFn begin_texture_mode;
    EndModeFn end_blend_mode;
    EndModeFn end_shader_mode;
    EndModeFn end_texture_mode;
    BeginBlendModeFn begin_blend_mode;
    SetVec2TupleFn set_zvshader_value_vec2_tuple;
    SetFloatFn set_zvshader_value_float;
    SetIntFn set_zvshader_value_int;
    SetVec4ArrayFn set_zvshader_value_vec4_v;
    SetFloatArrayFn set_zvshader_value_float_v;
    SetVec2VectorFn set_zvshader_value_vec2_zvvec;
};

struct ApiEntry {
    const char* name;
    const char* signature;
    size_t offset;  // of the pointer inside Api
};

inline constexpr ApiEntry kApiEntries[] = {
    {"begin_zvshader_mode", kSigBeginShaderMode, offsetof(Api, begin_zvshader_mode)},
    {"get_zvshader_location", kSigGetShaderLocation, offsetof(Api, get_zvshader_location)},
    {"draw_texture_pro", kSigDrawTexturePro, offsetof(Api, draw_texture_pro)},
    {"begin_texture_mode", kSigBeginTextureMode, offsetof(Api, begin_texture_mode)},
    {"end_blend_mode", kSigEndMode, offsetof(Api, end_blend_mode)},
    {"end_shader_mode", kSigEndMode, offsetof(Api, end_shader_mode)},
    {"end_texture_mode", kSigEndMode, offsetof(Api, end_texture_mode)},
    {"begin_blend_mode", kSigBeginBlendMode, offsetof(Api, begin_blend_mode)},
    {"set_zvshader_value_vec2_tuple", kSigSetVec2Tuple,
     offsetof(Api, set_zvshader_value_vec2_tuple)},
    {"set_zvshader_value_float", kSigSetFloat, offsetof(Api, set_zvshader_value_float)},
    {"set_zvshader_value_int", kSigSetInt, offsetof(Api, set_zvshader_value_int)},
    {"set_zvshader_value_vec4_v", kSigSetVec4Array, offsetof(Api, set_zvshader_value_vec4_v)},
    {"set_zvshader_value_float_v", kSigSetFloatArray, offsetof(Api, set_zvshader_value_float_v)},
    {"set_zvshader_value_vec2_zvvec", kSigSetVec2Vector,
     offsetof(Api, set_zvshader_value_vec2_zvvec)},
};

inline constexpr const char kModuleName[] = "zorva_ui.fast.raylib.zorva_raylib";

}  // namespace zorva::rl
