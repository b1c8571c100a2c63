// `GradientRaylib`: construction, properties, the colour update and the object's life cycle.
#define ZORVA_SOURCE_FILE "fast/zvraygrad/gradient.cpp"

#include <new>
#include <utility>

#include "fast/common/args.h"
#include "fast/common/pyref.h"
#include "fast/common/traceback.h"
#include "fast/common/vtable.h"
#include "fast/zvraygrad/colour_update.h"
#include "fast/zvraygrad/conversions.h"
#include "fast/zvraygrad/internal.h"

namespace zorva::grad {

GradientRaylibVTable gradient_vtable = {gradient_update_colors_impl};

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
        if (!item || !to_double(item.get(), &xy[i])) return nullptr;
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
    const Constants& c = state.constants;
    int linear = is_gradient_type(type, c.str_linear.get());
    if (linear < 0) return -1;
    if (linear) {
        PyObject* name_obj = nullptr;
        int has_name = PyObject_GetOptionalAttr(direction, c.str_name.get(), &name_obj);
        if (has_name < 0) return -1;
        PyRef name = PyRef::steal(name_obj);
        if (has_name) {
            PyRef zero = PyRef::steal(PyFloat_FromDouble(0.0));
            if (!zero) return -1;
            PyRef angle = PyRef::steal(table_value(c.linear_table.get(), name.get(), zero.get()));
            float value;
            if (!angle || !to_float(angle.get(), &value)) return -1;
            self->_angle = value;
        } else if (PyLong_Check(direction) || PyFloat_Check(direction)) {
            float value;
            if (!to_float(direction, &value)) return -1;
            self->_angle = value;
        }
        return 0;
    }
    int radial = is_gradient_type(type, c.str_radial.get());
    if (radial <= 0) return radial;
    PyObject* name_obj = nullptr;
    int has_name = PyObject_GetOptionalAttr(direction, c.str_name.get(), &name_obj);
    if (has_name < 0) return -1;
    PyRef name = PyRef::steal(name_obj);
    PyRef center;
    if (has_name) {
        PyRef fallback = PyRef::steal(Py_BuildValue("(dd)", 0.5, 0.5));
        if (!fallback) return -1;
        PyRef coords = PyRef::steal(table_value(c.radial_table.get(), name.get(), fallback.get()));
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

PyObject* get_transparency(PyObject* self, void*) {
    return PyLong_FromLong(as_gradient(self)->_transparency);
}

int set_transparency(PyObject* self, PyObject* value, void*) {
    if (value == nullptr) return raise_no_delete();
    int32_t converted;
    if (!to_int32_any_size(value, &converted)) {
        ZORVA_TRACEBACK(ZVRAYGRAD_QUALNAME("GradientRaylib.transparency.__set__"));
        return -1;
    }
    as_gradient(self)->_transparency = converted;
    return 0;
}

PyObject* get_angle(PyObject* self, void*) {
    return PyFloat_FromDouble(as_gradient(self)->_angle);
}

int set_angle(PyObject* self, PyObject* value, void*) {
    if (value == nullptr) return raise_no_delete();
    float converted;
    if (!to_float(value, &converted)) {
        ZORVA_TRACEBACK(ZVRAYGRAD_QUALNAME("GradientRaylib.angle.__set__"));
        return -1;
    }
    as_gradient(self)->_angle = converted;
    return 0;
}

PyObject* get_center(PyObject* self, void*) {
    return Py_NewRef(as_gradient(self)->_center);
}

int set_center(PyObject* self, PyObject* value, void*) {
    if (value == nullptr) return raise_no_delete();
    PyRef center;
    if (PyObject_TypeCheck(value,
                           reinterpret_cast<PyTypeObject*>(state.siblings.vector2_type.get()))) {
        center = PyRef::borrow(value);
    } else if (PyTuple_Check(value) && PyTuple_GET_SIZE(value) == 2) {
        double x, y;
        if (!to_double(PyTuple_GET_ITEM(value, 0), &x) ||
            !to_double(PyTuple_GET_ITEM(value, 1), &y)) {
            ZORVA_TRACEBACK(ZVRAYGRAD_QUALNAME("GradientRaylib.center.__set__"));
            return -1;
        }
        center = PyRef::steal(new_vector2(x, y));
    } else {
        PyErr_SetString(PyExc_TypeError,
                        "center must be an ZvVector2 instance or a tuple of (x, y)");
    }
    if (!center) {
        ZORVA_TRACEBACK(ZVRAYGRAD_QUALNAME("GradientRaylib.center.__set__"));
        return -1;
    }
    set_field(as_gradient(self)->_center, center.release());
    return 0;
}

PyObject* get_raw_colors(PyObject* self, void*) {
    return Py_NewRef(as_gradient(self)->raw_colors);
}

int set_colors(PyObject* self, PyObject* value, void*) {
    if (value == nullptr) return raise_no_delete();
    GradientRaylibObject* gradient = as_gradient(self);
    if (!check_exact_arg(value, &PyList_Type, "value")) {
        ZORVA_TRACEBACK(ZVRAYGRAD_QUALNAME("GradientRaylib.colors.__set__"));
        return -1;
    }
    // The old list goes after the update: a finaliser it runs then and that sets the colours
    // again makes a whole assignment of its own instead of one interleaved with this update.
    PyRef old_colors = PyRef::steal(std::exchange(gradient->raw_colors, Py_NewRef(value)));
    if (gradient_update_colors(gradient, value) < 0) {
        ZORVA_TRACEBACK(ZVRAYGRAD_QUALNAME("GradientRaylib.colors.__set__"));
        return -1;
    }
    return 0;
}

int set_raw_colors(PyObject* self, PyObject* value, void*) {
    if (value == nullptr) value = Py_None;
    if (!check_exact_value(value, &PyList_Type)) {
        ZORVA_TRACEBACK(ZVRAYGRAD_QUALNAME("GradientRaylib.raw_colors.__set__"));
        return -1;
    }
    set_field(as_gradient(self)->raw_colors, Py_NewRef(value));
    return 0;
}

PyObject* get_type(PyObject* self, void*) {
    return Py_NewRef(as_gradient(self)->type);
}

int set_type(PyObject* self, PyObject* value, void*) {
    set_field(as_gradient(self)->type, Py_NewRef(value ? value : Py_None));
    return 0;
}

PyGetSetDef gradient_getset[] = {
    {"transparency", get_transparency, set_transparency, nullptr, nullptr},
    {"angle", get_angle, set_angle, nullptr, nullptr},
    {"center", get_center, set_center, nullptr, nullptr},
    {"colors", get_raw_colors, set_colors, nullptr, nullptr},
    {"raw_colors", get_raw_colors, set_raw_colors, nullptr, nullptr},
    {"type", get_type, set_type, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// ---- Construction -------------------------------------------------------------------------

const char* const kInitParams[] = {"colors", "type",   "direction",
                                   "angle",  "center", "transparency"};
const Signature kInitSignature = {"__init__", kInitParams, 6, 1};

int init_fastcall(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    PyObject* values[6] = {nullptr, state.default_linear.get(), Py_None, Py_None, Py_None, Py_None};
    if (parse_args(kInitSignature, args, nargsf, kwnames, values) < 0 ||
        gradient_init_values(as_gradient(self), values) < 0) {
        ZORVA_TRACEBACK(ZVRAYGRAD_QUALNAME("GradientRaylib.__init__"));
        return -1;
    }
    return 0;
}

int gradient_tp_init(PyObject* self, PyObject* args, PyObject* kwds) {
    CallArgs call;
    if (call_args_from_tuple(args, kwds, &call) < 0) return -1;
    return init_fastcall(self, call.values.data(), call.nargs, call.kwnames.get());
}

// Calling the class itself skips building an argument tuple and dict. Subclasses defined in
// Python do not inherit this and go through tp_new and tp_init as usual.
PyObject* gradient_vectorcall(PyObject* type, PyObject* const* args, size_t nargsf,
                              PyObject* kwnames) {
    PyRef self =
        PyRef::steal(gradient_tp_new(reinterpret_cast<PyTypeObject*>(type), nullptr, nullptr));
    if (!self) return nullptr;
    if (init_fastcall(self.get(), args, static_cast<Py_ssize_t>(nargsf), kwnames) < 0) {
        return nullptr;
    }
    return self.release();
}

// ---- Life cycle ---------------------------------------------------------------------------

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

PyMethodDef gradient_methods[] = {
    // Replaced by a classmethod object during initialisation; listed here so that it keeps its
    // place in the class dictionary.
    {"_ensure_resources", nullptr, METH_CLASS | METH_NOARGS, nullptr},
    {"generate_texture",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(generate_texture)),
     METH_FASTCALL | METH_KEYWORDS, nullptr},
    {"__reduce__", gradient_reduce, METH_NOARGS, nullptr},
    {"__setstate__", gradient_setstate, METH_O, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyObject* ensure_resources_placeholder(PyObject*, PyObject*) {
    return ensure_resources() < 0 ? nullptr : Py_NewRef(Py_None);
}

}  // namespace

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

    if (!check_exact_arg(colors, &PyList_Type, "colors")) return -1;
    // The colours are assigned from here to the update below. Code run in between (the old
    // kind's release, the other arguments' conversions) may assign them again; that newer
    // assignment then stands, and this one skips its update. The old list is released after
    // the update, for the same reason as in the `colors` setter.
    ColourUpdate assignment(reinterpret_cast<PyObject*>(self));
    PyRef old_colors = PyRef::steal(std::exchange(self->raw_colors, Py_NewRef(colors)));
    set_field(self->type, Py_NewRef(type));

    int32_t alpha = 255;
    if (transparency != Py_None && !to_int32_any_size(transparency, &alpha)) return -1;
    self->_transparency = alpha;

    self->_angle = 0.0f;
    PyObject* default_center = new_vector2(0.5, 0.5);
    if (default_center == nullptr) return -1;
    set_field(self->_center, default_center);

    if (direction != Py_None && apply_direction(self, type, direction) < 0) return -1;

    if (angle != Py_None) {
        float value;
        if (!to_float(angle, &value)) return -1;
        self->_angle = value;
    }
    if (center != Py_None) {
        PyObject* vector = vector2_from_items(center);
        if (vector == nullptr) return -1;
        set_field(self->_center, vector);
    }
    if (!assignment.superseded() && gradient_update_colors(self, colors) < 0) return -1;
    old_colors.reset();
    return ensure_resources_of(reinterpret_cast<PyObject*>(self));
}

// Rebuilds `_colors` and `_stops`. `_colors` is emptied first and holds the colours converted
// before a failing entry; `_stops` changes only when every colour converted. The list is read
// live, one pass for colours and weights together. An update superseded by one begun from the
// Python code it runs stops without writing anything further, so the newer result stands.
void gradient_update_colors_impl(GradientRaylibObject* self, PyObject* colors) {
    ColourUpdate update(reinterpret_cast<PyObject*>(self));
    self->_colors.clear();
    if (colors == Py_None) {
        PyErr_SetString(PyExc_TypeError, "object of type 'NoneType' has no len()");
        ZORVA_TRACEBACK(ZVRAYGRAD_QUALNAME("GradientRaylib._update_colors"));
        return;
    }
    // Compiled callers reach this slot directly; anything but a list is refused, not read.
    if (!is_colour_list(colors)) {
        ZORVA_TRACEBACK(ZVRAYGRAD_QUALNAME("GradientRaylib._update_colors"));
        return;
    }
    PyRef list = PyRef::borrow(colors);  // the caller's reference may go while Python code runs
    FloatBuffer weights;
    if (!reserve(self->_colors, static_cast<size_t>(PyList_GET_SIZE(colors)))) {
        ZORVA_TRACEBACK(ZVRAYGRAD_QUALNAME("GradientRaylib._update_colors"));
        return;
    }
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(colors); ++i) {
        PyRef item = PyRef::borrow(PyList_GET_ITEM(colors, i));
        PyObject* colour_obj = nullptr;
        PyObject* weight_obj = nullptr;
        int weighted = weighted_pair(item.get(), &colour_obj, &weight_obj);
        PyRef colour = PyRef::steal(colour_obj);
        PyRef weight_ref = PyRef::steal(weight_obj);
        if (weighted < 0) break;
        if (!weighted) colour = PyRef::borrow(item.get());
        Vector4 rgba;
        float weight = 1.0f;
        if (!check_exact_value(colour.get(), &PyTuple_Type) ||
            !tuple_to_vector4(colour.get(), &rgba)) {
            break;
        }
        if (update.superseded()) return;
        if (!push_back(self->_colors, rgba) || (weighted && !to_float(weight_ref.get(), &weight)) ||
            !weights.push_back(weight)) {
            break;
        }
        if (update.superseded()) return;
    }
    if (PyErr_Occurred() || !compute_stops(weights.data(), weights.size(), &self->_stops)) {
        ZORVA_TRACEBACK(ZVRAYGRAD_QUALNAME("GradientRaylib._update_colors"));
    }
}

int call_args_from_tuple(PyObject* args, PyObject* kwds, CallArgs* out) {
    out->nargs = PyTuple_GET_SIZE(args);
    const Py_ssize_t nkw = kwds ? PyDict_GET_SIZE(kwds) : 0;
    try {
        out->values.reserve(static_cast<size_t>(out->nargs + nkw));
    } catch (const std::exception&) {
        PyErr_NoMemory();
        return -1;
    }
    for (Py_ssize_t i = 0; i < out->nargs; ++i) out->values.push_back(PyTuple_GET_ITEM(args, i));
    if (nkw == 0) return 0;
    out->kwnames = PyRef::steal(PyTuple_New(nkw));
    if (!out->kwnames) return -1;
    Py_ssize_t pos = 0, k = 0;
    PyObject *key, *value;
    while (PyDict_Next(kwds, &pos, &key, &value)) {
        PyTuple_SET_ITEM(out->kwnames.get(), k++, Py_NewRef(key));
        out->values.push_back(value);
    }
    return 0;
}

PyTypeObject GradientRaylibType = {PyVarObject_HEAD_INIT(nullptr, 0)};

int ready_gradient_type(PyObject* module) {
    PyTypeObject& t = GradientRaylibType;
    if (!(t.tp_flags & Py_TPFLAGS_READY)) {
        t.tp_name = ZVRAYGRAD_QUALNAME("GradientRaylib");
        t.tp_basicsize = sizeof(GradientRaylibObject);
        t.tp_dealloc = gradient_dealloc;
        t.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC;
        t.tp_traverse = gradient_traverse;
        t.tp_clear = gradient_clear;
        t.tp_methods = gradient_methods;
        t.tp_getset = gradient_getset;
        t.tp_init = gradient_tp_init;
        t.tp_new = gradient_tp_new;
        t.tp_vectorcall = gradient_vectorcall;
        gradient_methods[0].ml_meth = ensure_resources_placeholder;
    }
    if (PyType_Ready(&GradientRaylibType) < 0) return -1;
    if (publish_vtable(&GradientRaylibType, &gradient_vtable) < 0) return -1;
    return PyModule_AddObjectRef(module, "GradientRaylib",
                                 reinterpret_cast<PyObject*>(&GradientRaylibType));
}

// `_ensure_resources` becomes a classmethod object wrapping a plain function, so that it
// receives the class whether called on the class or on an instance.
int install_gradient_methods(PyObject* module) {
    PyRef module_name = PyRef::steal(PyModule_GetNameObject(module));
    if (!module_name) return -1;
    PyRef function =
        PyRef::steal(PyCFunction_NewEx(&ensure_resources_def, nullptr, module_name.get()));
    if (!function) return -1;
    PyRef method = PyRef::steal(PyClassMethod_New(function.get()));
    if (!method) return -1;
    if (PyDict_SetItem(GradientRaylibType.tp_dict, state.constants.str_ensure_resources.get(),
                       method.get()) < 0) {
        return -1;
    }
    PyType_Modified(&GradientRaylibType);
    return 0;
}

}  // namespace zorva::grad
