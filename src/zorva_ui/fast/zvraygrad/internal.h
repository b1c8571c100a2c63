// Declarations shared by the source files of the gradient module (not for other modules).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

#include "fast/common/callable.h"
#include "fast/common/globals.h"
#include "fast/common/names.h"
#include "fast/common/pyref.h"
#include "interfaces/bind.h"
#include "fast/raylib/layer_core.h"
#include "fast/zvraygrad/zvraygrad.h"
#include "interfaces/raylib_api.h"
#include "interfaces/zvrect.h"
#include "interfaces/zvrendertex.h"
#include "interfaces/zvshader.h"
#include "interfaces/zvvector2.h"

namespace zorva::grad {

inline constexpr const char* kModuleName = kGradientModuleName;

// The parameters of both classes' constructors. `type=...`: the kind's default
// (GradientType.Linear, or Radial for ClickGradient) is read at import and has no literal form.
inline constexpr const char kInitParams[] =
    "(colors, type=..., direction=None, angle=None, center=None, transparency=None)";

// ---- Module state -------------------------------------------------------------------------
//
// Everything here belongs to the one module object of the process (see module_guard.h). The
// shared rendering resources are native variables, not module attributes: only this module's
// code may create them, and it does so at most once per process.

struct SiblingTypes {
    bind::BoundType<ZvVector2Object> vector2;
    bind::BoundType<ZvRectObject> rect;  // bound as the layer contract requires, not used
    bind::BoundType<ZvRenderTextureObject> render_texture;
    bind::BoundType<ZvShaderObject> shader;
};

struct SharedRendering {
    PyObject* shader = nullptr;         // ZvShader or None (strong)
    PyObject* blank_texture = nullptr;  // any object or None (strong)
    int32_t loc_type = -1;
    int32_t loc_angle = -1;
    int32_t loc_center = -1;
    int32_t loc_colors = -1;
    int32_t loc_stops = -1;
    int32_t loc_count = -1;
    int32_t loc_alpha = -1;
    int32_t loc_size = -1;
};

// Attribute and key names, interned once at initialisation.
struct Names {
    InternedName ensure_resources{"_ensure_resources"}, recalculate_stops{"_recalculate_stops"},
        name{"name"}, x{"x"}, y{"y"}, z{"z"}, w{"w"}, dict{"__dict__"}, update{"update"}, rl{"rl"},
        white{"WHITE"}, blend_mode{"BlendMode"}, blend_alpha_premultiply{"BLEND_ALPHA_PREMULTIPLY"},
        gen_image_color{"gen_image_color"}, load_texture_from_image{"load_texture_from_image"},
        unload_image{"unload_image"}, linear{"Linear"}, radial{"Radial"},
        vertex_shader{"VERTEX_SHADER"}, fragment_shader{"FRAGMENT_SHADER"}, new_{"__new__"};
    // The shader's uniforms, in lookup order.
    InternedName uniforms[8] = {InternedName{"gradientType"}, InternedName{"angle"},
                                InternedName{"centerPos"},    InternedName{"colors"},
                                InternedName{"stops"},        InternedName{"colorCount"},
                                InternedName{"alpha"},        InternedName{"size"}};
};

// Module globals read at each use, as the module's Python-level code would read them.
struct Globals {
    LateGlobal gradient_type{"GradientType"};
    LateGlobal md{"md"};  // zorva_ui.core.modules; its `rl` is the rendering layer
    LateGlobal gradient_shader{"GradientShader"};
    LateGlobal unpickle_gradient{"__pyx_unpickle_GradientRaylib"};
    LateGlobal unpickle_click{"__pyx_unpickle_ClickGradient"};
};

struct State {
    // Strong: a failed import drops the module, and a class method of its ready types may still
    // be called; what it reads must stay valid until the next import replaces it.
    PyRef module;
    // True once initialisation completed. The types exist earlier (and stay reachable after a
    // failed import, e.g. through gc), but their objects need the bound siblings and globals.
    bool ready = false;
    SiblingTypes siblings;
    rl::Api api{};
    // The layer's core table: who owns which open drawing mode (rendering.cpp).
    const zorva::layer::Core* layer_core = nullptr;
    SharedRendering shared;
    Names names;
    Globals globals;
    PyRef int_255;
    PyRef transparent;     // (0, 0, 0, 0)
    PyRef opaque_white;    // (255, 255, 255, 255)
    PyRef source_rec;      // (0, 0, 1, 1)
    PyRef origin;          // (0, 0)
    PyRef linear_angles;   // zorva_ui.core.LINEAR_ANGLES: direction name -> angle
    PyRef radial_centers;  // zorva_ui.core.RADIAL_CENTERS: direction name -> (x, y)
    PyRef default_linear;  // GradientType.Linear as it was at import
    PyRef default_radial;  // GradientType.Radial as it was at import
};

// Never destroyed: its references must not be released after the interpreter has finalised.
extern State& state;

extern PyTypeObject GradientRaylibType;
extern PyTypeObject ClickGradientType;
extern GradientRaylibVTable gradient_vtable;
extern GradientRaylibVTable click_gradient_vtable;

// ---- The rendering layer as Python code of the module sees it: `md.rl.<name>` -------------
//
// Each access looks `md` and `md.rl` up afresh (kept between calls while the dictionaries they
// came from are unchanged), so that rebinding either between two accesses takes effect at the
// next one. The layer's native entry points (state.api) and sibling tables are used directly.
namespace layer {

// `md.rl.<name>`. New reference, or null with the error a plain lookup raises.
PyObject* attr(PyObject* name);

// `md.rl.<name>(args...)`: the attribute is looked up, then called. New reference, or null.
template <typename... A>
PyObject* call(PyObject* name, A*... args) {
    PyRef fn = PyRef::steal(attr(name));
    if (!fn) return nullptr;
    PyObject* argv[] = {nullptr, args...};
    return PyObject_Vectorcall(fn.get(), argv + 1, sizeof...(A) | PY_VECTORCALL_ARGUMENTS_OFFSET,
                               nullptr);
}

}  // namespace layer

// ---- Helpers used across files ------------------------------------------------------------

// `value == GradientType.<member_name>`, GradientType read from the module's globals at each
// call. 1, 0, or -1 with an exception set.
int is_gradient_type(PyObject* value, PyObject* member_name);
int is_linear(PyObject* value);

// Python's `a == b` result tested for truth, without the identity shortcut when either side
// defines its own equality. 1, 0 or -1.
int python_equals(PyObject* a, PyObject* b);

// A new ZvVector2 through the layer's native constructor.
PyObject* new_vector2(double x, double y);

// Calls the method `name` of `obj` with no arguments and drops the result. 0 or -1.
int call_method_discard(PyObject* obj, PyObject* name);

// The shared resources, made when missing (shared_state.cpp). 0 or -1.
int ensure_resources();
// `self._ensure_resources()` (a Python override runs when there is one). 0 or -1.
int ensure_resources_of(PyObject* self);
// The class method `_ensure_resources` (its declaration is in shared_state.cpp).
PyObject* ensure_resources_method(PyObject* cls, Args args);

// Rendering (rendering.cpp).
PyObject* generate_texture(PyObject* self, Args args);
PyObject* click_gradient_draw(PyObject* self, Args args);

// Base initialiser shared by both classes' __init__ (gradient.cpp): the six bound arguments,
// the kind already defaulted.
int gradient_init_values(GradientRaylibObject* self, PyObject* const values[6]);
// The traceback entry of GradientRaylib's constructor, which ClickGradient's adds when the base
// part of its construction fails (gradient.cpp).
void add_gradient_init_traceback();
// Allocation shared with the subclass.
PyObject* gradient_tp_new(PyTypeObject* type, PyObject* args, PyObject* kwds);
void gradient_destroy_fields(GradientRaylibObject* self);
// Collector support, the subclass's too (its weights hold no Python objects).
int gradient_traverse(PyObject* self, visitproc visit, void* arg);
int gradient_clear(PyObject* self);

// Pickling (pickling.cpp).
PyObject* gradient_reduce(PyObject* self);
PyObject* gradient_setstate(PyObject* self, PyObject* state);
PyObject* click_gradient_reduce(PyObject* self);
PyObject* click_gradient_setstate(PyObject* self, PyObject* state);
extern PyMethodDef* const unpickle_functions;  // the module's two reconstructors

// Initialisation steps of the types (gradient.cpp, click_gradient.cpp). 0 or -1.
int add_gradient_type(PyObject* module);
int add_click_gradient_type(PyObject* module);
int install_ensure_resources(PyObject* module);

// Growth of native vectors: std::bad_alloc and std::length_error become MemoryError.
template <typename Vec, typename T>
inline int push_back(Vec& vec, const T& value) {
    try {
        vec.push_back(value);
        return 0;
    } catch (const std::exception&) {
        PyErr_NoMemory();
        return -1;
    }
}

template <typename Vec>
inline int reserve(Vec& vec, size_t count) {
    try {
        vec.reserve(count);
        return 0;
    } catch (const std::exception&) {
        PyErr_NoMemory();
        return -1;
    }
}

}  // namespace zorva::grad
