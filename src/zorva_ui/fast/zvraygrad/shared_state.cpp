// Module state and the shared rendering resources: one shader, one blank texture and the
// uniform locations, created on first need and kept for the life of the process.
#include "fast/common/args.h"
#include "fast/common/pyref.h"
#include "fast/zvraygrad/internal.h"

namespace zorva::grad {

State& state = *new State();

namespace {

// Does `==` on objects of this type compare identity? True when the type keeps object's own
// equality: either its slot is object's, or the `__eq__` its MRO resolves to is object's (a
// class that only redefines __hash__, as enumerations do, gets a generic slot that ends there).
bool lookup_identity_equality(PyTypeObject* type) {
    // object's own __eq__ descriptor: object is an immutable static type, so it never changes.
    static PyObject* const eq_name = PyUnicode_InternFromString("__eq__");
    static PyObject* const object_eq =
        eq_name ? _PyType_Lookup(&PyBaseObject_Type, eq_name) : nullptr;
    if (object_eq == nullptr) {
        PyErr_Clear();
        return false;
    }
    return _PyType_Lookup(type, eq_name) == object_eq;
}

// The answers for the few types every draw asks about (the gradient kind, the shader, the
// blank texture, None), keyed by type and version tag: a tag is never reused and changes with
// any change to the type or its bases, so a remembered answer is always the current one.
struct IdentityMemo {
    PyTypeObject* type = nullptr;
    unsigned int tag = 0;
    bool identity = false;
};
IdentityMemo identity_memo[4];
unsigned identity_memo_next = 0;

bool has_identity_equality(PyTypeObject* type) {
    if (type->tp_richcompare == PyBaseObject_Type.tp_richcompare) return true;
    // None's own __eq__ answers NotImplemented for anything but None; its type is immutable.
    if (type == Py_TYPE(Py_None)) return true;
    for (const IdentityMemo& m : identity_memo) {
        if (m.type == type && m.tag != 0 && m.tag == type->tp_version_tag) return m.identity;
    }
    const bool identity = lookup_identity_equality(type);
    if (type->tp_version_tag != 0) {  // the lookup assigns one when the type can have one
        identity_memo[identity_memo_next++ % 4] = {type, type->tp_version_tag, identity};
    }
    return identity;
}

}  // namespace

int python_equals(PyObject* a, PyObject* b) {
    // With object's equality on both sides, `a == b` is `a is b` (both reflections return
    // NotImplemented for distinct objects). The gradient kinds are such objects.
    if (a == b ? has_identity_equality(Py_TYPE(a))
               : has_identity_equality(Py_TYPE(a)) && has_identity_equality(Py_TYPE(b))) {
        return a == b;
    }
    PyRef result = PyRef::steal(PyObject_RichCompare(a, b, Py_EQ));
    if (!result) return -1;
    return PyObject_IsTrue(result.get());
}

int is_gradient_type(PyObject* value, PyObject* member_name) {
    PyRef enum_type = PyRef::steal(state.globals.gradient_type.get());
    if (!enum_type) return -1;
    PyRef member = PyRef::steal(PyObject_GetAttr(enum_type.get(), member_name));
    if (!member) return -1;
    return python_equals(value, member.get());
}

int is_linear(PyObject* value) {
    return is_gradient_type(value, state.names.linear.get());
}

PyObject* new_vector2(double x, double y) {
    return reinterpret_cast<PyObject*>(state.siblings.vector2.vtable->new_(x, y));
}

int call_method_discard(PyObject* obj, PyObject* name) {
    PyRef result = PyRef::steal(PyObject_CallMethodNoArgs(obj, name));
    return result ? 0 : -1;
}

namespace {

// `value == None` as the resources are tested: by equality, so an object that claims to equal
// None counts as missing.
int is_none(PyObject* value) {
    if (value == Py_None) return 1;
    return python_equals(value, Py_None);
}

// GradientShader.<attr>, which must be a str or None.
PyObject* shader_source(PyObject* sources, PyObject* attr) {
    PyRef source = PyRef::steal(PyObject_GetAttr(sources, attr));
    if (!source) return nullptr;
    if (check_exact_value(source.get(), &PyUnicode_Type) < 0) return nullptr;
    return source.release();
}

// Compiles the shared shader, then looks up the eight uniform locations, storing each as soon
// as it is known. A failed lookup leaves the shader in place: later calls do not retry.
int create_shader() {
    SharedRendering& shared = state.shared;
    const Names& n = state.names;
    PyRef sources = PyRef::steal(state.globals.gradient_shader.get());
    if (!sources) return -1;
    PyRef vertex = PyRef::steal(shader_source(sources.get(), n.vertex_shader.get()));
    if (!vertex) return -1;
    PyRef fragment = PyRef::steal(shader_source(sources.get(), n.fragment_shader.get()));
    if (!fragment) return -1;
    PyObject* shader = reinterpret_cast<PyObject*>(
        state.siblings.shader.vtable->c_create_from_code(vertex.get(), fragment.get()));
    if (shader == nullptr) return -1;
    set_field(shared.shader, shader);

    int32_t* const locations[8] = {&shared.loc_type,   &shared.loc_angle, &shared.loc_center,
                                   &shared.loc_colors, &shared.loc_stops, &shared.loc_count,
                                   &shared.loc_alpha,  &shared.loc_size};
    for (int i = 0; i < 8; ++i) {
        // The shader object is held for the call: a lookup may run code that could drop it.
        PyRef held = PyRef::borrow(shared.shader);
        int32_t location = state.api.get_zvshader_location(
            reinterpret_cast<ZvShaderObject*>(held.get()), n.uniforms[i].get());
        if (location == -1 && PyErr_Occurred()) return -1;
        *locations[i] = location;
    }
    return 0;
}

// The 1x1 WHITE texture every pass draws through the shader, made from a temporary image. Each
// step looks the layer up again, so a rebinding made by the code a step runs is seen by the next.
int create_blank_texture() {
    const Names& n = state.names;
    PyRef gen_image = PyRef::steal(layer::attr(n.gen_image_color.get()));
    if (!gen_image) return -1;
    PyRef white = PyRef::steal(layer::attr(n.white.get()));
    if (!white) return -1;
    PyRef image = PyRef::steal(PyObject_CallFunction(gen_image.get(), "iiO", 1, 1, white.get()));
    if (!image) return -1;
    PyRef texture = PyRef::steal(layer::call(n.load_texture_from_image.get(), image.get()));
    if (!texture) return -1;
    set_field(state.shared.blank_texture, texture.release());
    PyRef unloaded = PyRef::steal(layer::call(n.unload_image.get(), image.get()));
    return unloaded ? 0 : -1;
}

}  // namespace

PyObject* ensure_resources_method(PyObject*, Args) {
    if (ensure_resources() < 0) return nullptr;
    Py_RETURN_NONE;
}

int ensure_resources() {
    int missing = is_none(state.shared.shader);
    if (missing < 0 || (missing && create_shader() < 0)) return -1;
    missing = is_none(state.shared.blank_texture);
    if (missing < 0 || (missing && create_blank_texture() < 0)) return -1;
    return 0;
}

// `self._ensure_resources()`. On the module's own classes the method is always the class
// method that makes the shared resources (static types, no instance dictionary), so the call is
// made natively; on anything else it is looked up by name so that overrides run.
int ensure_resources_of(PyObject* self) {
    if (Py_IS_TYPE(self, &GradientRaylibType) || Py_IS_TYPE(self, &ClickGradientType)) {
        return ensure_resources();
    }
    return call_method_discard(self, state.names.ensure_resources.get());
}

}  // namespace zorva::grad
