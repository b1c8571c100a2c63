// Module `zorva_ui.fast.zvraygrad.zvraygrad`: initialisation, in the order the package's users
// rely on (types, sibling bindings, Python imports, shared state, defaults, reconstructors).
#define ZORVA_SOURCE_FILE "fast/zvraygrad/zvraygrad.cpp"

#include "fast/common/module_guard.h"
#include "fast/common/pyref.h"
#include "fast/common/traceback.h"
#include "fast/zvraygrad/internal.h"
#include "interfaces/bind.h"

namespace zorva::grad {

namespace {

ModuleGuard guard = {"zvraygrad", kGradientModuleName};

bool intern(PyRef* slot, const char* text) {
    *slot = PyRef::steal(PyUnicode_InternFromString(text));
    return static_cast<bool>(*slot);
}

int make_constants() {
    Constants& c = state.constants;
    struct Name {
        PyRef* slot;
        const char* text;
    };
    const Name names[] = {
        {&c.str_ensure_resources, "_ensure_resources"},
        {&c.str_recalculate_stops, "_recalculate_stops"},
        {&c.str_name, "name"},
        {&c.str_x, "x"},
        {&c.str_y, "y"},
        {&c.str_z, "z"},
        {&c.str_w, "w"},
        {&c.str_dict, "__dict__"},
        {&c.str_update, "update"},
        {&c.str_md, "md"},
        {&c.str_rl, "rl"},
        {&c.str_white, "WHITE"},
        {&c.str_blend_mode, "BlendMode"},
        {&c.str_blend_alpha_premultiply, "BLEND_ALPHA_PREMULTIPLY"},
        {&c.str_gen_image_color, "gen_image_color"},
        {&c.str_load_texture_from_image, "load_texture_from_image"},
        {&c.str_unload_image, "unload_image"},
        {&c.str_gradient_type, "GradientType"},
        {&c.str_linear, "Linear"},
        {&c.str_radial, "Radial"},
        {&c.str_gradient_shader, "GradientShader"},
        {&c.str_vertex_shader, "VERTEX_SHADER"},
        {&c.str_fragment_shader, "FRAGMENT_SHADER"},
        {&c.str_new, "__new__"},
    };
    for (const Name& n : names) {
        if (!intern(n.slot, n.text)) return -1;
    }
    const char* const uniforms[8] = {"gradientType", "angle",      "centerPos", "colors",
                                     "stops",        "colorCount", "alpha",     "size"};
    for (int i = 0; i < 8; ++i) {
        if (!intern(&c.uniform_names[i], uniforms[i])) return -1;
    }
    c.int_255 = PyRef::steal(PyLong_FromLong(255));
    c.transparent = PyRef::steal(Py_BuildValue("(iiii)", 0, 0, 0, 0));
    c.opaque_white = PyRef::steal(Py_BuildValue("(iiii)", 255, 255, 255, 255));
    c.source_rec = PyRef::steal(Py_BuildValue("(iiii)", 0, 0, 1, 1));
    c.origin = PyRef::steal(Py_BuildValue("(ii)", 0, 0));
    c.linear_table = PyRef::steal(Py_BuildValue(
        "{sdsdsdsdsdsdsdsd}", "Right", 0.0, "BottomRight", 45.0, "Bottom", 90.0, "BottomLeft",
        135.0, "Left", 180.0, "TopLeft", 225.0, "Top", 270.0, "TopRight", 315.0));
    c.radial_table = PyRef::steal(Py_BuildValue("{s(dd)s(dd)s(dd)s(dd)s(dd)s(dd)s(dd)}", "Center",
                                                0.5, 0.5, "TopCenter", 0.5, 0.0, "TopLeft", 0.0,
                                                0.0, "TopRight", 1.0, 0.0, "BottomCenter", 0.5, 1.0,
                                                "BottomLeft", 0.0, 1.0, "BottomRight", 1.0, 1.0));
    if (!c.int_255 || !c.transparent || !c.opaque_white || !c.source_rec || !c.origin ||
        !c.linear_table || !c.radial_table) {
        return -1;
    }
    return 0;
}

void reset_shared_objects() {
    set_field(state.shared.shader, Py_NewRef(Py_None));
    set_field(state.shared.blank_texture, Py_NewRef(Py_None));
}

void reset_locations() {
    SharedRendering& s = state.shared;
    s.loc_type = s.loc_angle = s.loc_center = s.loc_colors = -1;
    s.loc_stops = s.loc_count = s.loc_alpha = s.loc_size = -1;
}

template <typename VTable>
int bind_type(const char* module_name, const char* type_name, Py_ssize_t basicsize, PyRef* type,
              VTable** table) {
    void* vtable = nullptr;
    PyTypeObject* bound = bind::import_type(module_name, type_name, basicsize, &vtable);
    if (bound == nullptr) return -1;
    *type = PyRef::steal(reinterpret_cast<PyObject*>(bound));
    *table = static_cast<VTable*>(vtable);
    return 0;
}

int bind_siblings() {
    SiblingTypes& s = state.siblings;
    if (bind_type("zorva_ui.fast.zvvector2.zvvector2", "ZvVector2", sizeof(ZvVector2Object),
                  &s.vector2_type, &s.vector2) < 0 ||
        bind_type("zorva_ui.fast.zvrect.zvrect", "ZvRect", sizeof(ZvRectObject), &s.rect_type,
                  &s.rect) < 0 ||
        bind_type("zorva_ui.fast.zvrendertex.zv_render_tex", "ZvRenderTexture",
                  sizeof(ZvRenderTextureObject), &s.render_texture_type, &s.render_texture) < 0 ||
        bind_type("zorva_ui.fast.zvshader.zvshader", "ZvShader", sizeof(ZvShaderObject),
                  &s.shader_type, &s.shader) < 0) {
        return -1;
    }
    rl::Api api{};
    if (bind::import_raylib_api(&api) < 0) return -1;
    state.api = api;
    return 0;
}

// `from <module> import <name>`, bound as the module attribute of the same name.
int import_from(PyObject* module, const char* from, const char* name) {
    PyRef fromlist = PyRef::steal(Py_BuildValue("(s)", name));
    if (!fromlist) return -1;
    PyRef source =
        PyRef::steal(PyImport_ImportModuleLevel(from, nullptr, nullptr, fromlist.get(), 0));
    if (!source) return -1;
    PyRef value = PyRef::steal(PyObject_GetAttrString(source.get(), name));
    if (!value) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
        PyErr_Clear();
        PyErr_Format(PyExc_ImportError, "cannot import name '%s' from '%s'", name, from);
        return -1;
    }
    return PyModule_AddObjectRef(module, name, value.get());
}

// `import zorva_ui.core.modules as md`: the top package, then attribute by attribute.
int import_md(PyObject* module) {
    PyRef top = PyRef::steal(PyImport_ImportModule("zorva_ui.core.modules"));
    if (!top) return -1;
    top = PyRef::steal(PyImport_AddModuleRef("zorva_ui"));
    if (!top) return -1;
    PyRef core = PyRef::steal(PyObject_GetAttrString(top.get(), "core"));
    if (!core) return -1;
    PyRef modules = PyRef::steal(PyObject_GetAttrString(core.get(), "modules"));
    if (!modules) return -1;
    return PyModule_AddObjectRef(module, "md", modules.get());
}

// GradientType.<member>, the enumeration read from the module's globals.
PyObject* gradient_type_member(PyObject* member) {
    PyRef enum_type = PyRef::steal(module_global(state.constants.str_gradient_type.get()));
    if (!enum_type) return nullptr;
    return PyObject_GetAttr(enum_type.get(), member);
}

int add_function(PyObject* module, PyMethodDef* def) {
    PyRef module_name = PyRef::steal(PyModule_GetNameObject(module));
    if (!module_name) return -1;
    PyRef function = PyRef::steal(PyCFunction_NewEx(def, module, module_name.get()));
    if (!function) return -1;
    return PyModule_AddObjectRef(module, def->ml_name, function.get());
}

int exec_steps(PyObject* module) {
    state.ready = false;
    state.module = module;
    if (lookup_cache_init() < 0) return -1;
    if (make_constants() < 0) return -1;
    reset_shared_objects();
    if (ready_gradient_type(module) < 0) return -1;
    if (ready_click_gradient_type(module) < 0) return -1;
    if (bind_siblings() < 0) return -1;
    if (import_md(module) < 0) return -1;
    if (import_from(module, "zorva_ui.fast", "GradientShader") < 0) return -1;
    if (import_from(module, "zorva_ui.rendering.pygame.gradient", "GradientPygame") < 0) {
        return -1;
    }
    if (import_from(module, "zorva_ui.core", "GradientType") < 0) return -1;
    reset_shared_objects();
    reset_locations();
    state.default_linear = PyRef::steal(gradient_type_member(state.constants.str_linear.get()));
    if (!state.default_linear) return -1;
    if (install_gradient_methods(module) < 0) return -1;
    state.default_radial = PyRef::steal(gradient_type_member(state.constants.str_radial.get()));
    if (!state.default_radial) return -1;
    if (add_function(module, &unpickle_gradient_def) < 0) return -1;
    if (add_function(module, &unpickle_click_gradient_def) < 0) return -1;
    PyRef test = PyRef::steal(PyDict_New());
    if (!test) return -1;
    return PyModule_AddObjectRef(module, "__test__", test.get());
}

int module_exec(PyObject* module) {
    int begun = guarded_exec_begin(guard, module);
    if (begun == 1) return 0;
    if (begun == 0 && exec_steps(module) == 0) {
        state.ready = true;
        guarded_exec_done(guard);
        return 0;
    }
    ZORVA_TRACEBACK("init zorva_ui.fast.zvraygrad.zvraygrad");
    state.ready = false;
    state.module = nullptr;  // the failed module is about to be dropped
    guarded_exec_failed(guard);
    return -1;
}

}  // namespace

}  // namespace zorva::grad

PyMODINIT_FUNC PyInit_zvraygrad() {
    return zorva::guarded_module_init<zorva::grad::guard, zorva::grad::module_exec>(
        "GPU colour gradients drawn through one shared shader.");
}
