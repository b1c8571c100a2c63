// Pickling of both gradient classes: `__reduce__`, `__setstate__` and the module-level
// reconstructors. The module path, the reconstructor names, the checksums and the state layout
// are part of the stored format: pickles written earlier must keep loading.
#include "fast/common/args.h"
#include "fast/common/callable.h"
#include "fast/common/pickling.h"
#include "fast/common/pyref.h"
#include "fast/zvraygrad/conversions.h"
#include "fast/zvraygrad/internal.h"

namespace zorva::grad {

namespace {

// The stored fields, in state order (the code-point order of their names).
constexpr PickleLayout kGradientLayout = {
    {0x0ce08233, 0x05c0dd12, 0x075fb95b},
    "_angle, _center, _colors, _stops, _transparency, raw_colors, type"};
constexpr PickleLayout kClickLayout = {
    {0x0f8824c9, 0x0906a415, 0x0039d65a},
    "_angle, _center, _colors, _stops, _transparency, raw_colors, type, weights"};

constexpr Py_ssize_t kGradientFields = 7;
constexpr Py_ssize_t kClickFields = 8;

struct ClassPickling {
    PyTypeObject* type;
    const PickleLayout* layout;
    Py_ssize_t fields;
    LateGlobal Globals::* reconstructor;  // the module global naming the reconstructor
};

constexpr ClassPickling kGradient = {&GradientRaylibType, &kGradientLayout, kGradientFields,
                                     &Globals::unpickle_gradient};
constexpr ClassPickling kClick = {&ClickGradientType, &kClickLayout, kClickFields,
                                  &Globals::unpickle_click};

GradientRaylibObject* as_gradient(PyObject* self) {
    return reinterpret_cast<GradientRaylibObject*>(self);
}

PyObject* reduce(PyObject* self, const ClassPickling& cls) {
    GradientRaylibObject* g = as_gradient(self);
    const bool is_click = cls.fields == kClickFields;
    PyRef angle = PyRef::steal(PyFloat_FromDouble(g->_angle));
    PyRef colors = PyRef::steal(vector4s_to_list(g->_colors));
    PyRef stops = PyRef::steal(floats_to_list(g->_stops));
    PyRef transparency = PyRef::steal(PyLong_FromLong(g->_transparency));
    PyRef weights;
    if (is_click) {
        weights =
            PyRef::steal(floats_to_list(reinterpret_cast<ClickGradientObject*>(self)->weights));
        if (!weights) return nullptr;
    }
    if (!angle || !colors || !stops || !transparency) return nullptr;

    PyRef dict;
    if (dict_tail(self, state.names.dict.get(), &dict) < 0) return nullptr;
    const bool dict_true = static_cast<bool>(dict);
    const Py_ssize_t size = cls.fields + (dict_true ? 1 : 0);
    PyRef items = PyRef::steal(PyTuple_New(size));
    if (!items) return nullptr;
    PyObject* values[9] = {angle.get(), g->_center,         colors.get(),
                           stops.get(), transparency.get(), g->raw_colors,
                           g->type,     weights.get(),      dict.get()};
    Py_ssize_t index = 0;
    for (Py_ssize_t i = 0; i < kClickFields; ++i) {
        if (i == kGradientFields && !is_click) continue;
        PyTuple_SET_ITEM(items.get(), index++, Py_NewRef(values[i]));
    }
    if (dict_true) PyTuple_SET_ITEM(items.get(), index++, Py_NewRef(dict.get()));
    const bool use_setstate =
        dict_true || g->_center != Py_None || g->raw_colors != Py_None || g->type != Py_None;

    PyRef reconstructor = PyRef::steal((state.globals.*cls.reconstructor).get());
    if (!reconstructor) return nullptr;
    return reduce_value(reconstructor.get(), self, *cls.layout, items.get(), use_setstate);
}

// Restores the fields item by item, each stored as soon as it converted. A state shorter than
// the field list is refused before anything changes.
int restore(PyObject* self, PyObject* state_tuple, const ClassPickling& cls) {
    GradientRaylibObject* g = as_gradient(self);
    const Py_ssize_t size = PyTuple_GET_SIZE(state_tuple);
    if (size < cls.fields) {
        PyErr_Format(PyExc_ValueError, "%s state needs %zd items, got %zd", cls.type->tp_name,
                     cls.fields, size);
        return -1;
    }
    PyRef held = PyRef::borrow(state_tuple);
    auto item = [state_tuple](Py_ssize_t i) { return PyTuple_GET_ITEM(state_tuple, i); };

    float angle;
    if (to_float(item(0), &angle) < 0) return -1;
    g->_angle = angle;

    PyObject* center = item(1);
    PyTypeObject* vector_type = state.siblings.vector2.type;
    if (center != Py_None && !PyObject_TypeCheck(center, vector_type)) {
        PyErr_Format(PyExc_TypeError, "Cannot convert %.200s to %.200s", Py_TYPE(center)->tp_name,
                     vector_type->tp_name);
        return -1;
    }
    set_field(g->_center, Py_NewRef(center));

    std::vector<Vector4> colors;
    if (list_to_vector4s(item(2), &colors) < 0) return -1;
    g->_colors.swap(colors);

    std::vector<float> stops;
    if (list_to_floats(item(3), &stops) < 0) return -1;
    g->_stops.swap(stops);

    int32_t transparency;
    if (to_int32_any_size(item(4), &transparency) < 0) return -1;
    g->_transparency = transparency;

    if (check_exact_value(item(5), &PyList_Type) < 0) return -1;
    set_field(g->raw_colors, Py_NewRef(item(5)));

    set_field(g->type, Py_NewRef(item(6)));

    if (cls.fields == kClickFields) {
        std::vector<float> weights;
        if (list_to_floats(item(7), &weights) < 0) return -1;
        reinterpret_cast<ClickGradientObject*>(self)->weights.swap(weights);
    }

    if (size == cls.fields) return 0;
    return restore_dict_tail(self, item(cls.fields), DictAccess::kAttribute, state.names.dict.get(),
                             state.names.update.get());
}

PyObject* setstate(PyObject* self, PyObject* state_tuple, const ClassPickling& cls) {
    if (check_exact_value(state_tuple, &PyTuple_Type, false) < 0 ||
        restore(self, state_tuple, cls) < 0) {
        return nullptr;
    }
    Py_RETURN_NONE;
}

int restore_gradient(PyObject* self, PyObject* state_tuple) {
    return restore(self, state_tuple, kGradient);
}

int restore_click(PyObject* self, PyObject* state_tuple) {
    return restore(self, state_tuple, kClick);
}

PyObject* unpickle_gradient(PyObject*, Args a) {
    return unpickle(kGradientLayout, &GradientRaylibType, state.names.new_.get(), a[0], a[1], a[2],
                    restore_gradient);
}

PyObject* unpickle_click(PyObject*, Args a) {
    return unpickle(kClickLayout, &ClickGradientType, state.names.new_.get(), a[0], a[1], a[2],
                    restore_click);
}

constexpr Callable kUnpickleGradient{
    kModuleName, "__pyx_unpickle_GradientRaylib", "(__pyx_type, __pyx_checksum, __pyx_state)",
    unpickle_gradient,
    "Pickle reconstructor: a new __pyx_type with the fields of __pyx_state, after a check of the "
    "layout checksum (pickle.PickleError when it does not match)."};
constexpr Callable kUnpickleClick{
    kModuleName, "__pyx_unpickle_ClickGradient", "(__pyx_type, __pyx_checksum, __pyx_state)",
    unpickle_click, "Pickle reconstructor of ClickGradient, as __pyx_unpickle_GradientRaylib."};

}  // namespace

PyObject* gradient_reduce(PyObject* self) {
    return reduce(self, kGradient);
}

PyObject* gradient_setstate(PyObject* self, PyObject* state_tuple) {
    return setstate(self, state_tuple, kGradient);
}

PyObject* click_gradient_reduce(PyObject* self) {
    return reduce(self, kClick);
}

PyObject* click_gradient_setstate(PyObject* self, PyObject* state_tuple) {
    return setstate(self, state_tuple, kClick);
}

PyMethodDef* const unpickle_functions = method_table<kUnpickleGradient, kUnpickleClick>;

}  // namespace zorva::grad
