// Declarations shared by the source files of the gradient module (not for other modules).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <new>
#include <stdexcept>
#include <vector>

#include "fast/common/pyref.h"
#include "fast/zvraygrad/zvraygrad.h"
#include "interfaces/raylib_api.h"
#include "interfaces/zvrect.h"
#include "interfaces/zvrendertex.h"
#include "interfaces/zvshader.h"
#include "interfaces/zvvector2.h"

#define ZVRAYGRAD_QUALNAME(name) "zorva_ui.fast.zvraygrad.zvraygrad." name

namespace zorva::grad {

// ---- Module state -------------------------------------------------------------------------
//
// Everything here belongs to the one module object of the process (see module_guard.h). The
// shared rendering resources are native variables, not module attributes: only this module's
// code may create them, and it does so at most once per process.

struct SiblingTypes {
    PyRef vector2_type;  // ZvVector2
    PyRef rect_type;     // ZvRect (bound as the layer contract requires, not used)
    PyRef render_texture_type;
    PyRef shader_type;
    ZvVector2VTable* vector2 = nullptr;
    ZvRectVTable* rect = nullptr;
    ZvRenderTextureVTable* render_texture = nullptr;
    ZvShaderVTable* shader = nullptr;
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

// Interned strings and constant tuples made once at initialisation.
struct Constants {
    PyRef str_ensure_resources, str_recalculate_stops, str_name, str_x, str_y, str_z, str_w,
        str_dict, str_update, str_md, str_rl, str_white, str_blend_mode,
        str_blend_alpha_premultiply, str_gen_image_color, str_load_texture_from_image,
        str_unload_image, str_gradient_type, str_linear, str_radial, str_gradient_shader,
        str_vertex_shader, str_fragment_shader, str_new;
    PyRef uniform_names[8];  // "gradientType", "angle", ... in lookup order
    PyRef int_255;
    PyRef transparent;   // (0, 0, 0, 0)
    PyRef opaque_white;  // (255, 255, 255, 255)
    PyRef source_rec;    // (0, 0, 1, 1)
    PyRef origin;        // (0, 0)
    PyRef linear_table;  // name -> angle, for `direction` names that are not plain str
    PyRef radial_table;  // name -> (x, y)
};

struct ModuleState {
    PyObject* module = nullptr;  // borrowed: the module guard owns it
    // True once initialisation completed. The types exist earlier (and stay reachable after a
    // failed import, e.g. through gc), but their objects need the bound siblings and globals.
    bool ready = false;
    SiblingTypes siblings;
    rl::Api api{};
    SharedRendering shared;
    Constants constants;
    PyRef default_linear;  // GradientType.Linear as it was at import
    PyRef default_radial;  // GradientType.Radial as it was at import
};

// Never destroyed: its references must not be released after the interpreter has finalised.
extern ModuleState& state;

extern PyTypeObject GradientRaylibType;
extern PyTypeObject ClickGradientType;
extern GradientRaylibVTable gradient_vtable;
extern GradientRaylibVTable click_gradient_vtable;

// ---- Helpers used across files ------------------------------------------------------------

// A name in the module's globals, then in the builtins, as Python code of the module would see
// it. New reference, or null with NameError.
PyObject* module_global(PyObject* name);

// Lookups kept between calls while the dictionaries they came from are unchanged (lookups.cpp).
// `lookup_cache_init` runs at each initialisation; the other two give new references, or null
// with the error a plain lookup raises.
int lookup_cache_init();
PyObject* gradient_type_global();      // the module global GradientType
PyObject* layer_attr(PyObject* name);  // md.rl.<name>, `md` a module global

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

// The class method `_ensure_resources` (receives the class as its one argument).
extern PyMethodDef ensure_resources_def;
int ensure_resources();
// `self._ensure_resources()` (a Python override runs when there is one). 0 or -1.
int ensure_resources_of(PyObject* self);

// Rendering (rendering.cpp).
PyObject* generate_texture(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                           PyObject* kwnames);
PyObject* click_gradient_draw(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                              PyObject* kwnames);

// Base initialiser shared by both classes' __init__ (gradient.cpp).
int gradient_init_values(GradientRaylibObject* self, PyObject* const values[6]);
// The base colour update, also the vtable slot of GradientRaylib.
void gradient_update_colors_impl(GradientRaylibObject* self, PyObject* colors);
// Allocation shared with the subclass.
PyObject* gradient_tp_new(PyTypeObject* type, PyObject* args, PyObject* kwds);
void gradient_destroy_fields(GradientRaylibObject* self);

// Pickling (pickling.cpp).
PyObject* gradient_reduce(PyObject* self, PyObject* unused);
PyObject* gradient_setstate(PyObject* self, PyObject* state);
PyObject* click_gradient_reduce(PyObject* self, PyObject* unused);
PyObject* click_gradient_setstate(PyObject* self, PyObject* state);
extern PyMethodDef unpickle_gradient_def;
extern PyMethodDef unpickle_click_gradient_def;

// Initialisation of the types (gradient.cpp, click_gradient.cpp). 0 or -1.
int ready_gradient_type(PyObject* module);
int ready_click_gradient_type(PyObject* module);
int install_gradient_methods(PyObject* module);

// Adapts a tp_init call (tuple + dict) to the fastcall form `parse_args` takes. The arguments
// stay borrowed from `args`/`kwds`; `kwnames` is a new tuple owned by the caller.
struct CallArgs {
    std::vector<PyObject*> values;
    PyRef kwnames;
    Py_ssize_t nargs = 0;
};
int call_args_from_tuple(PyObject* args, PyObject* kwds, CallArgs* out);

// Growth of native vectors: std::bad_alloc and std::length_error become MemoryError.
template <typename Vec, typename T>
inline bool push_back(Vec& vec, const T& value) {
    try {
        vec.push_back(value);
        return true;
    } catch (const std::exception&) {
        PyErr_NoMemory();
        return false;
    }
}

template <typename Vec>
inline bool reserve(Vec& vec, size_t count) {
    try {
        vec.reserve(count);
        return true;
    } catch (const std::exception&) {
        PyErr_NoMemory();
        return false;
    }
}

}  // namespace zorva::grad
