// `ClickGradient`: weighted colour bands, weight and centre changes. Its drawing lives in
// rendering.cpp, its pickling in pickling.cpp.
//
// The members defined here have a text signature and no docstring (`__doc__` is None): their
// declarations carry only the signature.
#include <new>

#include "fast/common/args.h"
#include "fast/common/callable.h"
#include "fast/common/module.h"
#include "fast/common/pyref.h"
#include "fast/zvraygrad/colour_update.h"
#include "fast/zvraygrad/conversions.h"
#include "fast/zvraygrad/internal.h"

namespace zorva::grad {

namespace {

void update_colors(GradientRaylibObject* base, PyObject* colors);

constexpr Native kUpdateColors{kModuleName, "ClickGradient._update_colors", update_colors};

}  // namespace

GradientRaylibVTable click_gradient_vtable = {native<kUpdateColors>};

namespace {

ClickGradientObject* as_click(PyObject* self) {
    return reinterpret_cast<ClickGradientObject*>(self);
}

PyTypeObject* vector2_type() {
    return state.siblings.vector2.type;
}

int recalculate_stops_by_name(PyObject* self) {
    return call_method_discard(self, state.names.recalculate_stops.get());
}

// The override of the colour update. Weights are rebuilt first (a weight that does not convert
// leaves those before it), then the colours (`_colors` holds those before a bad entry), then the
// stops through `_recalculate_stops` looked up by name, so that a Python override runs. Both
// passes read the entries the list held when the update began, so that Python code run by the
// first pass cannot give the second one other entries. An update superseded by one begun from
// that code stops without writing anything further, so the newer result stands.
void update_colors(GradientRaylibObject* base, PyObject* colors) {
    ClickGradientObject* self = reinterpret_cast<ClickGradientObject*>(base);
    ColourUpdate update(reinterpret_cast<PyObject*>(self));
    self->weights.clear();
    if (colors == Py_None) {
        PyErr_SetString(PyExc_TypeError, "object of type 'NoneType' has no len()");
        return;
    }
    if (check_colour_list(colors) < 0) return;
    PyRef entries = PyRef::steal(PyList_GetSlice(colors, 0, PyList_GET_SIZE(colors)));
    if (!entries) return;
    const Py_ssize_t count = PyList_GET_SIZE(entries.get());
    if (reserve(self->weights, static_cast<size_t>(count)) < 0) return;
    int ended = for_each_colour_entry(entries.get(), [&](const ColourEntry& entry) {
        float weight;
        if (entry_weight(entry, &weight) < 0) return -1;
        if (update.superseded()) return 1;
        return push_back(self->weights, weight) < 0 ? -1 : 0;
    });
    if (ended != 0) return;
    base->_colors.clear();
    if (reserve(base->_colors, static_cast<size_t>(count)) < 0) return;
    ended = for_each_colour_entry(entries.get(), [&](const ColourEntry& entry) {
        Vector4 rgba;
        if (entry_colour(entry, &rgba) < 0) return -1;
        if (update.superseded()) return 1;
        return push_back(base->_colors, rgba) < 0 ? -1 : 0;
    });
    if (ended == 0) recalculate_stops_by_name(reinterpret_cast<PyObject*>(self));
}

// ---- Methods ------------------------------------------------------------------------------

PyObject* recalculate_stops(PyObject* self) {
    ClickGradientObject* click = as_click(self);
    if (compute_stops(click->weights.data(), click->weights.size(), &click->base._stops) < 0) {
        return nullptr;
    }
    Py_RETURN_NONE;
}

PyObject* set_weight(PyObject* self, Args a) {
    ClickGradientObject* click = as_click(self);
    int32_t index;
    float weight;
    if (to_int32(a[0], &index) < 0 || to_float(a[1], &weight) < 0) return nullptr;
    const Py_ssize_t count = static_cast<Py_ssize_t>(click->weights.size());
    if (index < 0 || index >= count) {
        if (count == 0) {
            PyErr_SetString(PyExc_IndexError, "Color index out of range! Max: -1 (no colors)");
        } else {
            PyErr_Format(PyExc_IndexError, "Color index out of range! Max: %zd", count - 1);
        }
        return nullptr;
    }
    click->weights[static_cast<size_t>(index)] = weight;
    if (recalculate_stops_by_name(self) < 0) return nullptr;
    Py_RETURN_NONE;
}

PyObject* set_center_tuple(PyObject* self, Args a) {
    PyObject* center = a[0];
    if (check_exact_arg(center, &PyTuple_Type, "center") < 0) return nullptr;
    if (center == Py_None) {
        PyErr_SetString(PyExc_TypeError, "'NoneType' object is not subscriptable");
        return nullptr;
    }
    if (PyTuple_GET_SIZE(center) < 2) {
        // Only the first two items are read; a shorter tuple has nothing to read there.
        PyErr_SetString(PyExc_IndexError, "tuple index out of range");
        return nullptr;
    }
    double x, y;
    if (to_double(PyTuple_GET_ITEM(center, 0), &x) < 0 ||
        to_double(PyTuple_GET_ITEM(center, 1), &y) < 0) {
        return nullptr;
    }
    PyObject* vector = new_vector2(x, y);
    if (vector == nullptr) return nullptr;
    set_field(as_click(self)->base._center, vector);
    Py_RETURN_NONE;
}

// Copies the caller's vector through its Python attributes: the gradient never keeps it.
PyObject* set_center_vector(PyObject* self, Args a) {
    PyObject* center = a[0];
    if (center != Py_None && !PyObject_TypeCheck(center, vector2_type())) {
        PyErr_Format(PyExc_TypeError,
                     "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)", "center",
                     vector2_type()->tp_name, Py_TYPE(center)->tp_name);
        return nullptr;
    }
    double x, y;
    PyRef x_obj = PyRef::steal(PyObject_GetAttr(center, state.names.x.get()));
    if (!x_obj || to_double(x_obj.get(), &x) < 0) return nullptr;
    PyRef y_obj = PyRef::steal(PyObject_GetAttr(center, state.names.y.get()));
    if (!y_obj || to_double(y_obj.get(), &y) < 0) return nullptr;
    PyObject* vector = new_vector2(x, y);
    if (vector == nullptr) return nullptr;
    set_field(as_click(self)->base._center, vector);
    Py_RETURN_NONE;
}

PyObject* get_weights(PyObject* self) {
    return floats_to_list(as_click(self)->weights);
}

// The new array is built first and swapped in only when every item converted.
int set_weights(PyObject* self, PyObject* value) {
    if (value == nullptr) {
        PyErr_SetString(PyExc_NotImplementedError, "__del__");
        return -1;
    }
    std::vector<float> weights;
    if (list_to_floats(value, &weights) < 0) return -1;
    as_click(self)->weights.swap(weights);
    return 0;
}

// ---- Construction and life cycle ----------------------------------------------------------

// Everything but the default kind belongs to the base constructor, whose traceback entry a
// failure there gets too.
int init(PyObject* self, Args a) {
    PyObject* values[6] = {a[0], a[1] ? a[1] : state.default_radial.get(), a[2], a[3], a[4], a[5]};
    if (gradient_init_values(reinterpret_cast<GradientRaylibObject*>(self), values) < 0) {
        add_gradient_init_traceback();
        return -1;
    }
    return 0;
}

PyObject* click_tp_new(PyTypeObject* type, PyObject* args, PyObject* kwds) {
    PyObject* obj = gradient_tp_new(type, args, kwds);
    if (obj == nullptr) return nullptr;
    ClickGradientObject* self = as_click(obj);
    self->base.vtab = &click_gradient_vtable;
    new (&self->weights) std::vector<float>();
    return obj;
}

// Guarded like the base's deallocation (a chain through `type` may be any length).
void click_dealloc(PyObject* self) {
    PyObject_GC_UnTrack(self);
    Py_TRASHCAN_BEGIN(self, click_dealloc)
    as_click(self)->weights.~vector();
    gradient_destroy_fields(&as_click(self)->base);
    Py_TYPE(self)->tp_free(self);
    Py_TRASHCAN_END
}

// Signature-only declarations (see the top of the file).
constexpr Callable kInit{kModuleName, "ClickGradient.__init__", kInitParams, init, ""};
constexpr Callable kSetWeight{kModuleName, "ClickGradient.set_weight", "($self, index, weight)",
                              set_weight, ""};
constexpr Callable kSetCenter{kModuleName, "ClickGradient.set_center", "($self, center)",
                              set_center_tuple, ""};
constexpr Callable kSetCenterVector{kModuleName, "ClickGradient.set_center_zvvec",
                                    "($self, center)", set_center_vector, ""};
constexpr Callable kRecalculateStops{kModuleName, "ClickGradient._recalculate_stops", "($self)",
                                     recalculate_stops, ""};
constexpr Callable kDraw{kModuleName, "ClickGradient.draw", "($self, x, y, width, height)",
                         click_gradient_draw, ""};
constexpr Callable kReduce{kModuleName, "ClickGradient.__reduce__", "($self)",
                           click_gradient_reduce, ""};
constexpr Callable kSetState{kModuleName, "ClickGradient.__setstate__", "($self, __pyx_state, /)",
                             click_gradient_setstate, ""};
constexpr Property kWeights{kModuleName, "ClickGradient.weights", get_weights, set_weights,
                            nullptr};

}  // namespace

PyTypeObject ClickGradientType = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0).tp_name =
        "zorva_ui.fast.zvraygrad.zvraygrad.ClickGradient",
    .tp_basicsize = sizeof(ClickGradientObject),
    .tp_dealloc = click_dealloc,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC,
    .tp_doc = type_doc<kInit>,
    // Traversal and clearing are the base's: weights hold no Python objects.
    .tp_traverse = gradient_traverse,
    .tp_clear = gradient_clear,
    .tp_methods = method_table<kSetWeight, kSetCenter, kSetCenterVector, kRecalculateStops, kDraw,
                               kReduce, kSetState>,
    .tp_getset = getset_table<kWeights>,
    .tp_base = &GradientRaylibType,
    .tp_init = init_slot<kInit>,
    .tp_new = click_tp_new,
    .tp_vectorcall = init_vectorcall<kInit, click_tp_new>,
};

// The class's docstring stays None: its declaration gives the text signature only, which the
// type's dictionary would otherwise hold as an empty string.
int add_click_gradient_type(PyObject* module) {
    if (add_type(module, &ClickGradientType, &click_gradient_vtable) < 0) return -1;
    if (PyDict_SetItemString(ClickGradientType.tp_dict, "__doc__", Py_None) < 0) return -1;
    PyType_Modified(&ClickGradientType);
    return 0;
}

}  // namespace zorva::grad
