// Module `zorva_ui.fast.zvraygrad.zvraygrad`: initialisation, in the order the package's users
// rely on (types, sibling bindings, Python imports, defaults, reconstructors).
#include "fast/common/module.h"
#include "fast/common/pyref.h"
#include "fast/zvraygrad/internal.h"
#include "interfaces/bind.h"

namespace zorva::grad {

namespace {

void reset_shared_objects() {
    set_field(state.shared.shader, Py_NewRef(Py_None));
    set_field(state.shared.blank_texture, Py_NewRef(Py_None));
}

void reset_locations() {
    SharedRendering& s = state.shared;
    s.loc_type = s.loc_angle = s.loc_center = s.loc_colors = -1;
    s.loc_stops = s.loc_count = s.loc_alpha = s.loc_size = -1;
}

int intern_names() {
    Names& n = state.names;
    if (intern(n.ensure_resources, n.recalculate_stops, n.name, n.x, n.y, n.z, n.w, n.dict,
               n.update, n.rl, n.white, n.blend_mode, n.blend_alpha_premultiply, n.gen_image_color,
               n.load_texture_from_image, n.unload_image, n.linear, n.radial, n.vertex_shader,
               n.fragment_shader, n.new_) < 0) {
        return -1;
    }
    for (InternedName& uniform : n.uniforms) {
        if (uniform.make() < 0) return -1;
    }
    return 0;
}

int bind_globals(PyObject* module) {
    Globals& g = state.globals;
    LateGlobal* all[] = {&g.gradient_type, &g.md, &g.gradient_shader, &g.unpickle_gradient,
                         &g.unpickle_click};
    for (LateGlobal* global : all) {
        if (global->bind(module) < 0) return -1;
    }
    return 0;
}

// The first step: whatever an earlier, failed import left is replaced.
int begin(PyObject* module) {
    state.ready = false;
    state.module = PyRef::borrow(module);
    if (intern_names() < 0 || bind_globals(module) < 0) return -1;
    state.int_255 = PyRef::steal(PyLong_FromLong(255));
    state.transparent = PyRef::steal(Py_BuildValue("(iiii)", 0, 0, 0, 0));
    state.opaque_white = PyRef::steal(Py_BuildValue("(iiii)", 255, 255, 255, 255));
    state.source_rec = PyRef::steal(Py_BuildValue("(iiii)", 0, 0, 1, 1));
    state.origin = PyRef::steal(Py_BuildValue("(ii)", 0, 0));
    if (!state.int_255 || !state.transparent || !state.opaque_white || !state.source_rec ||
        !state.origin) {
        return -1;
    }
    reset_shared_objects();
    return 0;
}

int add_types(PyObject* module) {
    if (add_gradient_type(module) < 0) return -1;
    return add_click_gradient_type(module);
}

int bind_siblings(PyObject*) {
    SiblingTypes& s = state.siblings;
    if (s.vector2.bind() < 0 || s.rect.bind() < 0 || s.render_texture.bind() < 0 ||
        s.shader.bind() < 0) {
        return -1;
    }
    rl::Api api{};
    if (bind::import_raylib_api(&api) < 0) return -1;
    const zorva::layer::Core* core = zorva::layer::import_core();
    if (core == nullptr) return -1;
    state.api = api;
    state.layer_core = core;
    return 0;
}

// `from <module> import <name>`: new reference, or null with ImportError.
PyObject* import_from(const char* from, const char* name) {
    PyRef fromlist = PyRef::steal(Py_BuildValue("(s)", name));
    if (!fromlist) return nullptr;
    PyRef source =
        PyRef::steal(PyImport_ImportModuleLevel(from, nullptr, nullptr, fromlist.get(), 0));
    if (!source) return nullptr;
    PyObject* value = PyObject_GetAttrString(source.get(), name);
    if (value == nullptr && PyErr_ExceptionMatches(PyExc_AttributeError)) {
        PyErr_Clear();
        PyErr_Format(PyExc_ImportError, "cannot import name '%s' from '%s'", name, from);
    }
    return value;
}

// The same, bound as the module attribute of the same name.
int import_into(PyObject* module, const char* from, const char* name) {
    PyRef value = PyRef::steal(import_from(from, name));
    if (!value) return -1;
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

// One of the direction tables of zorva_ui.core, which the CPU renderer reads too.
int import_table(const char* name, PyRef* out) {
    PyRef table = PyRef::steal(import_from("zorva_ui.core", name));
    if (!table) return -1;
    if (!PyDict_Check(table.get())) {
        PyErr_Format(PyExc_TypeError, "zorva_ui.core.%s must be a dict, not %.200s", name,
                     Py_TYPE(table.get())->tp_name);
        return -1;
    }
    *out = std::move(table);
    return 0;
}

int import_names(PyObject* module) {
    if (import_md(module) < 0 || import_into(module, "zorva_ui.fast", "GradientShader") < 0 ||
        import_into(module, "zorva_ui.rendering.pygame.gradient", "GradientPygame") < 0 ||
        import_into(module, "zorva_ui.core", "GradientType") < 0) {
        return -1;
    }
    if (import_table("LINEAR_ANGLES", &state.linear_angles) < 0) return -1;
    return import_table("RADIAL_CENTERS", &state.radial_centers);
}

// GradientType.<member>, the enumeration read from the module's globals.
PyObject* gradient_type_member(const InternedName& member) {
    PyRef enum_type = PyRef::steal(state.globals.gradient_type.get());
    if (!enum_type) return nullptr;
    return PyObject_GetAttr(enum_type.get(), member.get());
}

// The constructors' default kinds, read once here; the class method goes in between, where the
// class dictionary has always received it.
int read_defaults(PyObject* module) {
    reset_shared_objects();
    reset_locations();
    state.default_linear = PyRef::steal(gradient_type_member(state.names.linear));
    if (!state.default_linear) return -1;
    if (install_ensure_resources(module) < 0) return -1;
    state.default_radial = PyRef::steal(gradient_type_member(state.names.radial));
    return state.default_radial ? 0 : -1;
}

int add_functions(PyObject* module) {
    if (PyModule_AddFunctions(module, unpickle_functions) < 0) return -1;
    PyRef test = PyRef::steal(PyDict_New());
    if (!test) return -1;
    return PyModule_AddObjectRef(module, "__test__", test.get());
}

int done(PyObject*) {
    state.ready = true;
    return 0;
}

constexpr ModuleSpec kModule{
    kModuleName,
    "GPU colour gradients drawn through one shared shader.",
    nullptr,
    {begin, add_types, bind_siblings, import_names, read_defaults, add_functions, done}};

}  // namespace

}  // namespace zorva::grad

PyMODINIT_FUNC PyInit_zvraygrad() {
    return zorva::define_module<zorva::grad::kModule>();
}
