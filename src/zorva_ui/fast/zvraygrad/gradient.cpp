// `GradientRaylib`: construction, properties, the colour update and the object's life cycle.
#include <new>
#include <utility>

#include "fast/common/args.h"
#include "fast/common/callable.h"
#include "fast/common/module.h"
#include "fast/common/pyref.h"
#include "fast/zvraygrad/colour_update.h"
#include "fast/zvraygrad/conversions.h"
#include "fast/zvraygrad/internal.h"

namespace zorva::grad {

namespace {

void update_colors(GradientRaylibObject* self, PyObject* colors);

// The colour update of the operation table; its failures are reported under this name.
constexpr Native kUpdateColors{kModuleName, "GradientRaylib._update_colors", update_colors};

}  // namespace

GradientRaylibVTable gradient_vtable = {native<kUpdateColors>};

namespace {

GradientRaylibObject* as_gradient(PyObject* self) {
    return reinterpret_cast<GradientRaylibObject*>(self);
}

int raise_no_delete() {
    PyErr_SetString(PyExc_NotImplementedError, "__del__");
    return -1;
}

// `obj[0]` and `obj[1]` through the float protocol, as a new vector. Nothing is read past the
// end of a short sequence: its own IndexError ends the call.
PyObject* vector2_from_items(PyObject* obj) {
    double xy[2];
    for (Py_ssize_t i = 0; i < 2; ++i) {
        PyRef item = PyRef::steal(get_item(obj, i));
        if (!item || to_double(item.get(), &xy[i]) < 0) return nullptr;
    }
    return new_vector2(xy[0], xy[1]);
}

// A named `direction` looked up in one of the direction tables. New reference to the table's
// value, to `fallback` when the name is not a key, or null on error (an unhashable name).
PyObject* table_value(PyObject* table, PyObject* name, PyObject* fallback) {
    PyObject* value = nullptr;
    int found = PyDict_GetItemRef(table, name, &value);
    if (found < 0) return nullptr;
    return found ? value : Py_NewRef(fallback);
}

// The constructor's `direction`: a named direction, an angle (linear) or a centre tuple (radial).
int apply_direction(GradientRaylibObject* self, PyObject* type, PyObject* direction) {
    const Names& n = state.names;
    int linear = is_gradient_type(type, n.linear.get());
    if (linear < 0) return -1;
    if (linear) {
        PyObject* name_obj = nullptr;
        int has_name = PyObject_GetOptionalAttr(direction, n.name.get(), &name_obj);
        if (has_name < 0) return -1;
        PyRef name = PyRef::steal(name_obj);
        if (has_name) {
            PyRef zero = PyRef::steal(PyFloat_FromDouble(0.0));
            if (!zero) return -1;
            PyRef angle =
                PyRef::steal(table_value(state.linear_angles.get(), name.get(), zero.get()));
            float value;
            if (!angle || to_float(angle.get(), &value) < 0) return -1;
            self->_angle = value;
        } else if (PyLong_Check(direction) || PyFloat_Check(direction)) {
            float value;
            if (to_float(direction, &value) < 0) return -1;
            self->_angle = value;
        }
        return 0;
    }
    int radial = is_gradient_type(type, n.radial.get());
    if (radial <= 0) return radial;
    PyObject* name_obj = nullptr;
    int has_name = PyObject_GetOptionalAttr(direction, n.name.get(), &name_obj);
    if (has_name < 0) return -1;
    PyRef name = PyRef::steal(name_obj);
    PyRef center;
    if (has_name) {
        PyRef fallback = PyRef::steal(Py_BuildValue("(dd)", 0.5, 0.5));
        if (!fallback) return -1;
        PyRef coords =
            PyRef::steal(table_value(state.radial_centers.get(), name.get(), fallback.get()));
        if (!coords) return -1;
        center = PyRef::steal(vector2_from_items(coords.get()));
    } else if (PyTuple_Check(direction)) {
        center = PyRef::steal(vector2_from_items(direction));
    } else {
        return 0;
    }
    if (!center) return -1;
    set_field(self->_center, center.release());
    return 0;
}

// ---- Properties ---------------------------------------------------------------------------

PyObject* get_transparency(PyObject* self) {
    return PyLong_FromLong(as_gradient(self)->_transparency);
}

int set_transparency(PyObject* self, PyObject* value) {
    if (value == nullptr) return raise_no_delete();
    int32_t converted;
    if (to_int32_any_size(value, &converted) < 0) return -1;
    as_gradient(self)->_transparency = converted;
    return 0;
}

PyObject* get_angle(PyObject* self) {
    return PyFloat_FromDouble(as_gradient(self)->_angle);
}

int set_angle(PyObject* self, PyObject* value) {
    if (value == nullptr) return raise_no_delete();
    float converted;
    if (to_float(value, &converted) < 0) return -1;
    as_gradient(self)->_angle = converted;
    return 0;
}

PyObject* get_center(PyObject* self) {
    return Py_NewRef(as_gradient(self)->_center);
}

int set_center(PyObject* self, PyObject* value) {
    if (value == nullptr) return raise_no_delete();
    PyRef center;
    if (PyObject_TypeCheck(value, state.siblings.vector2.type)) {
        center = PyRef::borrow(value);
    } else if (PyTuple_Check(value) && PyTuple_GET_SIZE(value) == 2) {
        double x, y;
        if (to_double(PyTuple_GET_ITEM(value, 0), &x) < 0 ||
            to_double(PyTuple_GET_ITEM(value, 1), &y) < 0) {
            return -1;
        }
        center = PyRef::steal(new_vector2(x, y));
    } else {
        PyErr_SetString(PyExc_TypeError,
                        "center must be an ZvVector2 instance or a tuple of (x, y)");
    }
    if (!center) return -1;
    set_field(as_gradient(self)->_center, center.release());
    return 0;
}

// The length of the shader's colour arrays (MAX_COLORS of fast/gradient_shader.py, where the
// reason it stays at 64 is given). A longer list is kept whole but the shader draws only this
// many, so the call that makes a gradient outgrow them says so instead of dropping colours
// silently. Once: a gradient that already held too many (a list assigned again every frame)
// stays quiet, and a warning costs several times the update itself.
constexpr size_t kShaderMaxColors = 64;

// The colour update, then a UserWarning when the gradient now holds more colours than the
// shader and did not before.
int update_colors_checked(GradientRaylibObject* self, PyObject* colors) {
    const bool fitted = self->_colors.size() <= kShaderMaxColors;
    if (gradient_update_colors(self, colors) < 0) return -1;
    const size_t count = self->_colors.size();
    if (!fitted || count <= kShaderMaxColors) return 0;
    return PyErr_WarnFormat(PyExc_UserWarning, 1,
                            "%zu colours given; the gradient shader draws at most %zu: colours "
                            "after the %zuth are not drawn",
                            count, kShaderMaxColors, kShaderMaxColors);
}

PyObject* get_raw_colors(PyObject* self) {
    return Py_NewRef(as_gradient(self)->raw_colors);
}

int set_colors(PyObject* self, PyObject* value) {
    if (value == nullptr) return raise_no_delete();
    GradientRaylibObject* gradient = as_gradient(self);
    if (check_exact_arg(value, &PyList_Type, "value") < 0) return -1;
    // The old list goes after the update: a finaliser it runs then and that sets the colours
    // again makes a whole assignment of its own instead of one interleaved with this update.
    PyRef old_colors = PyRef::steal(std::exchange(gradient->raw_colors, Py_NewRef(value)));
    return update_colors_checked(gradient, value);
}

int set_raw_colors(PyObject* self, PyObject* value) {
    if (value == nullptr) value = Py_None;
    if (check_exact_value(value, &PyList_Type) < 0) return -1;
    set_field(as_gradient(self)->raw_colors, Py_NewRef(value));
    return 0;
}

PyObject* get_type(PyObject* self) {
    return Py_NewRef(as_gradient(self)->type);
}

int set_type(PyObject* self, PyObject* value) {
    set_field(as_gradient(self)->type, Py_NewRef(value ? value : Py_None));
    return 0;
}

constexpr Property kTransparency{kModuleName, "GradientRaylib.transparency", get_transparency,
                                 set_transparency,
                                 "Opacity 0..255 that ClickGradient.draw applies (stored as "
                                 "given, not clamped)."};
constexpr Property kAngle{kModuleName, "GradientRaylib.angle", get_angle, set_angle,
                          "Direction of a linear gradient in degrees: 0 right, 90 down."};
constexpr Property kCenter{kModuleName, "GradientRaylib.center", get_center, set_center,
                           "Centre of a radial gradient, x and y 0..1 of the drawn rectangle; "
                           "set from a ZvVector2 (kept) or an (x, y) tuple."};
constexpr Property kColors{kModuleName, "GradientRaylib.colors", get_raw_colors, set_colors,
                           "The colour list as given; assigning a list (or None) recomputes the "
                           "colours and stops."};
constexpr Property kRawColors{kModuleName, "GradientRaylib.raw_colors", get_raw_colors,
                              set_raw_colors,
                              "The colour list as given; assigning it recomputes nothing."};
constexpr Property kType{kModuleName, "GradientRaylib.type", get_type, set_type,
                         "The gradient kind: GradientType.Linear, or anything else for radial."};

// ---- Construction -------------------------------------------------------------------------

// ---- Life cycle ---------------------------------------------------------------------------

}  // namespace

int gradient_traverse(PyObject* self, visitproc visit, void* arg) {
    GradientRaylibObject* gradient = as_gradient(self);
    Py_VISIT(gradient->raw_colors);
    Py_VISIT(gradient->_center);
    Py_VISIT(gradient->type);
    return 0;
}

int gradient_clear(PyObject* self) {
    GradientRaylibObject* gradient = as_gradient(self);
    set_field(gradient->raw_colors, Py_NewRef(Py_None));
    set_field(gradient->_center, Py_NewRef(Py_None));
    set_field(gradient->type, Py_NewRef(Py_None));
    return 0;
}

namespace {

// Any object may sit in `type` or the colour list, another gradient too: freeing a long chain
// of them must not recurse once per link, so the trashcan defers the deep end. Untracked first,
// as the collector must not see an object the trashcan holds.
void gradient_dealloc(PyObject* self) {
    PyObject_GC_UnTrack(self);
    Py_TRASHCAN_BEGIN(self, gradient_dealloc)
    gradient_destroy_fields(as_gradient(self));
    Py_TYPE(self)->tp_free(self);
    Py_TRASHCAN_END
}

int gradient_init(PyObject* self, Args a);

constexpr Callable kGradientInit{
    kModuleName, "GradientRaylib.__init__", kInitParams, gradient_init,
    "A colour gradient painted on the GPU. colors: (r, g, b, a) tuples (0..255) or "
    "((r, g, b, a), weight) pairs; type: GradientType.Linear (default) or Radial; direction: a "
    "named direction, an angle or an (x, y) centre; angle and center win over it; transparency "
    "0..255."};
constexpr Callable kEnsureResources{
    kModuleName,
    "GradientRaylib._ensure_resources",
    "($cls)",
    ensure_resources_method,
    "Creates the shared shader, its uniform locations and the 1x1 blank texture if missing.",
    METH_CLASS};
constexpr Callable kGenerateTexture{
    kModuleName, "GradientRaylib.generate_texture", "($self, width, height)", generate_texture,
    "Renders the gradient into a new width x height render texture (premultiplied alpha)."};
constexpr Callable kReduce{kModuleName, "GradientRaylib.__reduce__", "($self)", gradient_reduce,
                           "Pickle support: the reconstructor, the class and the fields."};
constexpr Callable kSetState{kModuleName, "GradientRaylib.__setstate__", "($self, __pyx_state, /)",
                             gradient_setstate, "Restores the fields from a pickle state tuple."};

int gradient_init(PyObject* self, Args a) {
    PyObject* values[6] = {a[0], a[1] ? a[1] : state.default_linear.get(), a[2], a[3], a[4], a[5]};
    return gradient_init_values(as_gradient(self), values);
}

}  // namespace

void add_gradient_init_traceback() {
    add_traceback_of<kGradientInit>();
}

void gradient_destroy_fields(GradientRaylibObject* self) {
    self->_colors.~vector();
    self->_stops.~vector();
    Py_CLEAR(self->raw_colors);
    Py_CLEAR(self->_center);
    Py_CLEAR(self->type);
}

PyObject* gradient_tp_new(PyTypeObject* type, PyObject*, PyObject*) {
    if (!state.ready) {
        PyErr_SetString(PyExc_RuntimeError,
                        "zorva_ui.fast.zvraygrad.zvraygrad is not initialised: its import has "
                        "not completed");
        return nullptr;
    }
    PyObject* obj = type->tp_alloc(type, 0);
    if (obj == nullptr) return nullptr;
    GradientRaylibObject* self = as_gradient(obj);
    self->vtab = &gradient_vtable;
    self->raw_colors = Py_NewRef(Py_None);
    self->_transparency = 0;
    self->_angle = 0.0f;
    self->_center = Py_NewRef(Py_None);
    self->type = Py_NewRef(Py_None);
    new (&self->_colors) std::vector<Vector4>();
    new (&self->_stops) std::vector<float>();
    return obj;
}

int gradient_init_values(GradientRaylibObject* self, PyObject* const values[6]) {
    PyObject* colors = values[0];
    PyObject* type = values[1];
    PyObject* direction = values[2];
    PyObject* angle = values[3];
    PyObject* center = values[4];
    PyObject* transparency = values[5];

    if (check_exact_arg(colors, &PyList_Type, "colors") < 0) return -1;
    // The colours are assigned from here to the update below. Code run in between (the old
    // kind's release, the other arguments' conversions) may assign them again; that newer
    // assignment then stands, and this one skips its update. The old list is released after
    // the update, for the same reason as in the `colors` setter.
    ColourUpdate assignment(reinterpret_cast<PyObject*>(self));
    PyRef old_colors = PyRef::steal(std::exchange(self->raw_colors, Py_NewRef(colors)));
    set_field(self->type, Py_NewRef(type));

    int32_t alpha = 255;
    if (transparency != Py_None && to_int32_any_size(transparency, &alpha) < 0) return -1;
    self->_transparency = alpha;

    self->_angle = 0.0f;
    PyObject* default_center = new_vector2(0.5, 0.5);
    if (default_center == nullptr) return -1;
    set_field(self->_center, default_center);

    if (direction != Py_None && apply_direction(self, type, direction) < 0) return -1;

    if (angle != Py_None) {
        float value;
        if (to_float(angle, &value) < 0) return -1;
        self->_angle = value;
    }
    if (center != Py_None) {
        PyObject* vector = vector2_from_items(center);
        if (vector == nullptr) return -1;
        set_field(self->_center, vector);
    }
    if (!assignment.superseded() && update_colors_checked(self, colors) < 0) return -1;
    old_colors.reset();
    return ensure_resources_of(reinterpret_cast<PyObject*>(self));
}

namespace {

// Rebuilds `_colors` and `_stops`. `_colors` is emptied first and holds the colours converted
// before a failing entry; `_stops` changes only when every colour converted. The list is read
// live, one pass for colours and weights together. An update superseded by one begun from the
// Python code it runs stops without writing anything further, so the newer result stands.
void update_colors(GradientRaylibObject* self, PyObject* colors) {
    ColourUpdate update(reinterpret_cast<PyObject*>(self));
    self->_colors.clear();
    if (colors == Py_None) {
        PyErr_SetString(PyExc_TypeError, "object of type 'NoneType' has no len()");
        return;
    }
    // Compiled callers reach this slot directly; anything but a list is refused, not read.
    if (check_colour_list(colors) < 0) return;
    FloatBuffer weights;
    if (reserve(self->_colors, static_cast<size_t>(PyList_GET_SIZE(colors))) < 0) return;
    const int ended = for_each_colour_entry(colors, [&](const ColourEntry& entry) {
        Vector4 rgba;
        if (entry_colour(entry, &rgba) < 0) return -1;
        if (update.superseded()) return 1;
        float weight;
        if (push_back(self->_colors, rgba) < 0 || entry_weight(entry, &weight) < 0 ||
            weights.push_back(weight) < 0) {
            return -1;
        }
        return update.superseded() ? 1 : 0;
    });
    // A MemoryError stays set for the caller; the stops are then left as they were.
    if (ended == 0) (void)compute_stops(weights.data(), weights.size(), &self->_stops);
}

}  // namespace

PyTypeObject GradientRaylibType = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0).tp_name =
        "zorva_ui.fast.zvraygrad.zvraygrad.GradientRaylib",
    .tp_basicsize = sizeof(GradientRaylibObject),
    .tp_dealloc = gradient_dealloc,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC,
    .tp_doc = type_doc<kGradientInit>,
    .tp_traverse = gradient_traverse,
    .tp_clear = gradient_clear,
    .tp_methods = method_table<kEnsureResources, kGenerateTexture, kReduce, kSetState>,
    .tp_getset = getset_table<kTransparency, kAngle, kCenter, kColors, kRawColors, kType>,
    .tp_init = init_slot<kGradientInit>,
    .tp_new = gradient_tp_new,
    .tp_vectorcall = init_vectorcall<kGradientInit, gradient_tp_new>,
};

int add_gradient_type(PyObject* module) {
    return add_type(module, &GradientRaylibType, &gradient_vtable);
}

// `_ensure_resources` becomes a classmethod object wrapping a plain function, so that it
// receives the class whether called on the class or on an instance. It takes the place the
// method table gave it in the class dictionary.
int install_ensure_resources(PyObject* module) {
    PyRef module_name = PyRef::steal(PyModule_GetNameObject(module));
    if (!module_name) return -1;
    PyRef method = PyRef::steal(classmethod_object<kEnsureResources>(module_name.get()));
    if (!method) return -1;
    if (PyDict_SetItem(GradientRaylibType.tp_dict, state.names.ensure_resources.get(),
                       method.get()) < 0) {
        return -1;
    }
    PyType_Modified(&GradientRaylibType);
    return 0;
}

}  // namespace zorva::grad
