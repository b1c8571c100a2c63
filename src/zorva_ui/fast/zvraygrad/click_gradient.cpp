// `ClickGradient`: weighted colour bands, weight and centre changes. Its drawing lives in
// rendering.cpp, its pickling in pickling.cpp.
#define ZORVA_SOURCE_FILE "fast/zvraygrad/click_gradient.cpp"

#include <new>

#include "fast/common/args.h"
#include "fast/common/pyref.h"
#include "fast/common/traceback.h"
#include "fast/common/vtable.h"
#include "fast/zvraygrad/colour_update.h"
#include "fast/zvraygrad/conversions.h"
#include "fast/zvraygrad/internal.h"

namespace zorva::grad {

namespace {

void click_update_colors_impl(GradientRaylibObject* base, PyObject* colors);

}  // namespace

GradientRaylibVTable click_gradient_vtable = {click_update_colors_impl};

namespace {

ClickGradientObject* as_click(PyObject* self) {
    return reinterpret_cast<ClickGradientObject*>(self);
}

PyTypeObject* vector2_type() {
    return reinterpret_cast<PyTypeObject*>(state.siblings.vector2_type.get());
}

int recalculate_stops_by_name(PyObject* self) {
    return call_method_discard(self, state.constants.str_recalculate_stops.get());
}

// The override of the colour update. Weights are rebuilt first (a weight that does not convert
// leaves those before it), then the colours (`_colors` holds those before a bad entry), then the
// stops through `_recalculate_stops` looked up by name, so that a Python override runs. Both
// passes read the entries the list held when the update began, so that Python code run by the
// first pass cannot give the second one other entries. An update superseded by one begun from
// that code stops without writing anything further, so the newer result stands.
void click_update_colors_impl(GradientRaylibObject* base, PyObject* colors) {
    ClickGradientObject* self = reinterpret_cast<ClickGradientObject*>(base);
    ColourUpdate update(reinterpret_cast<PyObject*>(self));
    self->weights.clear();
    if (colors == Py_None) {
        PyErr_SetString(PyExc_TypeError, "object of type 'NoneType' has no len()");
        ZORVA_TRACEBACK(ZVRAYGRAD_QUALNAME("ClickGradient._update_colors"));
        return;
    }
    if (!is_colour_list(colors)) {
        ZORVA_TRACEBACK(ZVRAYGRAD_QUALNAME("ClickGradient._update_colors"));
        return;
    }
    auto fail = [] { ZORVA_TRACEBACK(ZVRAYGRAD_QUALNAME("ClickGradient._update_colors")); };
    PyRef entries = PyRef::steal(PyList_GetSlice(colors, 0, PyList_GET_SIZE(colors)));
    if (!entries) return fail();
    const Py_ssize_t count = PyList_GET_SIZE(entries.get());
    if (!reserve(self->weights, static_cast<size_t>(count))) return fail();
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyObject* item = PyList_GET_ITEM(entries.get(), i);
        PyObject* colour_obj = nullptr;
        PyObject* weight_obj = nullptr;
        int weighted = weighted_pair(item, &colour_obj, &weight_obj);
        PyRef colour = PyRef::steal(colour_obj);
        PyRef weight_ref = PyRef::steal(weight_obj);
        if (weighted < 0) return fail();
        float weight = 1.0f;
        if (weighted && !to_float(weight_ref.get(), &weight)) return fail();
        if (update.superseded()) return;
        if (!push_back(self->weights, weight)) return fail();
    }
    base->_colors.clear();
    if (!reserve(base->_colors, static_cast<size_t>(count))) return fail();
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyObject* item = PyList_GET_ITEM(entries.get(), i);
        PyObject* colour_obj = nullptr;
        PyObject* weight_obj = nullptr;
        int weighted = weighted_pair(item, &colour_obj, &weight_obj);
        PyRef colour = PyRef::steal(colour_obj);
        PyRef weight_ref = PyRef::steal(weight_obj);
        if (weighted < 0) return fail();
        if (!weighted) colour = PyRef::borrow(item);
        Vector4 rgba;
        if (!check_exact_value(colour.get(), &PyTuple_Type) ||
            !tuple_to_vector4(colour.get(), &rgba)) {
            return fail();
        }
        if (update.superseded()) return;
        if (!push_back(base->_colors, rgba)) return fail();
    }
    if (recalculate_stops_by_name(reinterpret_cast<PyObject*>(self)) < 0) return fail();
}

// ---- Methods ------------------------------------------------------------------------------

PyObject* recalculate_stops(PyObject* self, PyObject*) {
    ClickGradientObject* click = as_click(self);
    if (!compute_stops(click->weights.data(), click->weights.size(), &click->base._stops)) {
        ZORVA_TRACEBACK(ZVRAYGRAD_QUALNAME("ClickGradient._recalculate_stops"));
        return nullptr;
    }
    Py_RETURN_NONE;
}

const char* const kSetWeightParams[] = {"index", "weight"};
const Signature kSetWeightSignature = {"set_weight", kSetWeightParams, 2, 2};

PyObject* set_weight(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    ClickGradientObject* click = as_click(self);
    PyObject* values[2] = {nullptr, nullptr};
    int32_t index;
    float weight;
    if (parse_args(kSetWeightSignature, args, nargsf, kwnames, values) < 0 ||
        !to_int32(values[0], &index) || !to_float(values[1], &weight)) {
        ZORVA_TRACEBACK(ZVRAYGRAD_QUALNAME("ClickGradient.set_weight"));
        return nullptr;
    }
    const Py_ssize_t count = static_cast<Py_ssize_t>(click->weights.size());
    if (index < 0 || index >= count) {
        if (count == 0) {
            PyErr_SetString(PyExc_IndexError, "Color index out of range! Max: -1 (no colors)");
        } else {
            PyErr_Format(PyExc_IndexError, "Color index out of range! Max: %zd", count - 1);
        }
        ZORVA_TRACEBACK(ZVRAYGRAD_QUALNAME("ClickGradient.set_weight"));
        return nullptr;
    }
    click->weights[static_cast<size_t>(index)] = weight;
    if (recalculate_stops_by_name(self) < 0) {
        ZORVA_TRACEBACK(ZVRAYGRAD_QUALNAME("ClickGradient.set_weight"));
        return nullptr;
    }
    Py_RETURN_NONE;
}

const char* const kCenterParams[] = {"center"};
const Signature kSetCenterSignature = {"set_center", kCenterParams, 1, 1};
const Signature kSetCenterVecSignature = {"set_center_zvvec", kCenterParams, 1, 1};

PyObject* set_center_tuple(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                           PyObject* kwnames) {
    PyObject* center = nullptr;
    PyRef vector;
    if (parse_args(kSetCenterSignature, args, nargsf, kwnames, &center) == 0 &&
        check_exact_arg(center, &PyTuple_Type, "center")) {
        if (center == Py_None) {
            PyErr_SetString(PyExc_TypeError, "'NoneType' object is not subscriptable");
        } else if (PyTuple_GET_SIZE(center) < 2) {
            // Only the first two items are read; a shorter tuple has nothing to read there.
            PyErr_SetString(PyExc_IndexError, "tuple index out of range");
        } else {
            double x, y;
            if (to_double(PyTuple_GET_ITEM(center, 0), &x) &&
                to_double(PyTuple_GET_ITEM(center, 1), &y)) {
                vector = PyRef::steal(new_vector2(x, y));
            }
        }
    }
    if (!vector) {
        ZORVA_TRACEBACK(ZVRAYGRAD_QUALNAME("ClickGradient.set_center"));
        return nullptr;
    }
    set_field(as_click(self)->base._center, vector.release());
    Py_RETURN_NONE;
}

// Copies the caller's vector through its Python attributes: the gradient never keeps it.
PyObject* set_center_vector(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                            PyObject* kwnames) {
    PyObject* center = nullptr;
    PyRef vector;
    if (parse_args(kSetCenterVecSignature, args, nargsf, kwnames, &center) == 0) {
        if (center != Py_None && !PyObject_TypeCheck(center, vector2_type())) {
            PyErr_Format(PyExc_TypeError,
                         "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)",
                         "center", vector2_type()->tp_name, Py_TYPE(center)->tp_name);
        } else {
            PyRef x_obj = PyRef::steal(PyObject_GetAttr(center, state.constants.str_x.get()));
            double x, y;
            if (x_obj && to_double(x_obj.get(), &x)) {
                PyRef y_obj = PyRef::steal(PyObject_GetAttr(center, state.constants.str_y.get()));
                if (y_obj && to_double(y_obj.get(), &y)) {
                    vector = PyRef::steal(new_vector2(x, y));
                }
            }
        }
    }
    if (!vector) {
        ZORVA_TRACEBACK(ZVRAYGRAD_QUALNAME("ClickGradient.set_center_zvvec"));
        return nullptr;
    }
    set_field(as_click(self)->base._center, vector.release());
    Py_RETURN_NONE;
}

// ---- weights ------------------------------------------------------------------------------

PyObject* get_weights(PyObject* self, void*) {
    PyObject* list = floats_to_list(as_click(self)->weights);
    if (list == nullptr) ZORVA_TRACEBACK(ZVRAYGRAD_QUALNAME("ClickGradient.weights.__get__"));
    return list;
}

// The new array is built first and swapped in only when every item converted.
int set_weights(PyObject* self, PyObject* value, void*) {
    if (value == nullptr) {
        PyErr_SetString(PyExc_NotImplementedError, "__del__");
        return -1;
    }
    std::vector<float> weights;
    if (!list_to_floats(value, &weights)) {
        ZORVA_TRACEBACK(ZVRAYGRAD_QUALNAME("ClickGradient.weights.__set__"));
        return -1;
    }
    as_click(self)->weights.swap(weights);
    return 0;
}

PyGetSetDef click_getset[] = {
    {"weights", get_weights, set_weights, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

#define FASTCALL_METHOD(fn) reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(fn))

PyMethodDef click_methods[] = {
    {"set_weight", FASTCALL_METHOD(set_weight), METH_FASTCALL | METH_KEYWORDS, nullptr},
    {"set_center", FASTCALL_METHOD(set_center_tuple), METH_FASTCALL | METH_KEYWORDS, nullptr},
    {"set_center_zvvec", FASTCALL_METHOD(set_center_vector), METH_FASTCALL | METH_KEYWORDS,
     nullptr},
    {"_recalculate_stops", recalculate_stops, METH_NOARGS, nullptr},
    {"draw", FASTCALL_METHOD(click_gradient_draw), METH_FASTCALL | METH_KEYWORDS, nullptr},
    {"__reduce__", click_gradient_reduce, METH_NOARGS, nullptr},
    {"__setstate__", click_gradient_setstate, METH_O, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

// ---- Construction and life cycle ----------------------------------------------------------

const char* const kInitParams[] = {"colors", "type",   "direction",
                                   "angle",  "center", "transparency"};
const Signature kInitSignature = {"__init__", kInitParams, 6, 1};

// Everything but the default kind belongs to the base constructor.
int init_fastcall(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    PyObject* values[6] = {nullptr, state.default_radial.get(), Py_None, Py_None, Py_None, Py_None};
    if (parse_args(kInitSignature, args, nargsf, kwnames, values) < 0) {
        ZORVA_TRACEBACK(ZVRAYGRAD_QUALNAME("ClickGradient.__init__"));
        return -1;
    }
    if (gradient_init_values(reinterpret_cast<GradientRaylibObject*>(self), values) < 0) {
        ZORVA_TRACEBACK(ZVRAYGRAD_QUALNAME("GradientRaylib.__init__"));
        ZORVA_TRACEBACK(ZVRAYGRAD_QUALNAME("ClickGradient.__init__"));
        return -1;
    }
    return 0;
}

int click_tp_init(PyObject* self, PyObject* args, PyObject* kwds) {
    CallArgs call;
    if (call_args_from_tuple(args, kwds, &call) < 0) return -1;
    return init_fastcall(self, call.values.data(), call.nargs, call.kwnames.get());
}

PyObject* click_tp_new(PyTypeObject* type, PyObject* args, PyObject* kwds) {
    PyObject* obj = gradient_tp_new(type, args, kwds);
    if (obj == nullptr) return nullptr;
    ClickGradientObject* self = as_click(obj);
    self->base.vtab = &click_gradient_vtable;
    new (&self->weights) std::vector<float>();
    return obj;
}

PyObject* click_vectorcall(PyObject* type, PyObject* const* args, size_t nargsf,
                           PyObject* kwnames) {
    PyRef self =
        PyRef::steal(click_tp_new(reinterpret_cast<PyTypeObject*>(type), nullptr, nullptr));
    if (!self) return nullptr;
    if (init_fastcall(self.get(), args, static_cast<Py_ssize_t>(nargsf), kwnames) < 0) {
        return nullptr;
    }
    return self.release();
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

}  // namespace

PyTypeObject ClickGradientType = {PyVarObject_HEAD_INIT(nullptr, 0)};

int ready_click_gradient_type(PyObject* module) {
    PyTypeObject& t = ClickGradientType;
    if (!(t.tp_flags & Py_TPFLAGS_READY)) {
        t.tp_name = ZVRAYGRAD_QUALNAME("ClickGradient");
        t.tp_basicsize = sizeof(ClickGradientObject);
        t.tp_dealloc = click_dealloc;
        t.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC;
        // Traversal and clearing are the base's: weights hold no Python objects.
        t.tp_traverse = GradientRaylibType.tp_traverse;
        t.tp_clear = GradientRaylibType.tp_clear;
        t.tp_methods = click_methods;
        t.tp_getset = click_getset;
        t.tp_base = &GradientRaylibType;
        t.tp_init = click_tp_init;
        t.tp_new = click_tp_new;
        t.tp_vectorcall = click_vectorcall;
    }
    if (PyType_Ready(&ClickGradientType) < 0) return -1;
    if (publish_vtable(&ClickGradientType, &click_gradient_vtable) < 0) return -1;
    return PyModule_AddObjectRef(module, "ClickGradient",
                                 reinterpret_cast<PyObject*>(&ClickGradientType));
}

}  // namespace zorva::grad
