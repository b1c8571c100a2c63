// Pickling of both gradient classes: `__reduce__`, `__setstate__` and the module-level
// reconstructors. The module path, the reconstructor names, the checksums and the state layout
// are part of the stored format: pickles written earlier must keep loading.
#define ZORVA_SOURCE_FILE "fast/zvraygrad/pickling.cpp"

#include "fast/common/args.h"
#include "fast/common/pickling.h"
#include "fast/common/pyref.h"
#include "fast/common/traceback.h"
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
    const char* reconstructor;
    const char* reduce_name;
    const char* setstate_name;
    const char* unpickle_name;
};

const ClassPickling kGradient = {&GradientRaylibType,
                                 &kGradientLayout,
                                 kGradientFields,
                                 "__pyx_unpickle_GradientRaylib",
                                 ZVRAYGRAD_QUALNAME("GradientRaylib.__reduce__"),
                                 ZVRAYGRAD_QUALNAME("GradientRaylib.__setstate__"),
                                 ZVRAYGRAD_QUALNAME("__pyx_unpickle_GradientRaylib")};
const ClassPickling kClick = {&ClickGradientType,
                              &kClickLayout,
                              kClickFields,
                              "__pyx_unpickle_ClickGradient",
                              ZVRAYGRAD_QUALNAME("ClickGradient.__reduce__"),
                              ZVRAYGRAD_QUALNAME("ClickGradient.__setstate__"),
                              ZVRAYGRAD_QUALNAME("__pyx_unpickle_ClickGradient")};

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

    PyObject* dict_obj = nullptr;
    if (PyObject_GetOptionalAttr(self, state.constants.str_dict.get(), &dict_obj) < 0) {
        return nullptr;
    }
    PyRef dict = PyRef::steal(dict_obj);
    int dict_true = 0;
    if (dict && dict.get() != Py_None) {
        dict_true = PyObject_IsTrue(dict.get());
        if (dict_true < 0) return nullptr;
    }
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

    PyRef name = PyRef::steal(PyUnicode_FromString(cls.reconstructor));
    if (!name) return nullptr;
    PyRef reconstructor = PyRef::steal(module_global(name.get()));
    if (!reconstructor) return nullptr;
    PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(self));
    const long long checksum = cls.layout->accepted[0];
    if (use_setstate) {
        return Py_BuildValue("(O(OLO)O)", reconstructor.get(), type, checksum, Py_None,
                             items.get());
    }
    return Py_BuildValue("(O(OLO))", reconstructor.get(), type, checksum, items.get());
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
    if (!to_float(item(0), &angle)) return -1;
    g->_angle = angle;

    PyObject* center = item(1);
    PyTypeObject* vector_type = reinterpret_cast<PyTypeObject*>(state.siblings.vector2_type.get());
    if (center != Py_None && !PyObject_TypeCheck(center, vector_type)) {
        PyErr_Format(PyExc_TypeError, "Cannot convert %.200s to %.200s", Py_TYPE(center)->tp_name,
                     vector_type->tp_name);
        return -1;
    }
    set_field(g->_center, Py_NewRef(center));

    std::vector<Vector4> colors;
    if (!list_to_vector4s(item(2), &colors)) return -1;
    g->_colors.swap(colors);

    std::vector<float> stops;
    if (!list_to_floats(item(3), &stops)) return -1;
    g->_stops.swap(stops);

    int32_t transparency;
    if (!to_int32_any_size(item(4), &transparency)) return -1;
    g->_transparency = transparency;

    if (!check_exact_value(item(5), &PyList_Type)) return -1;
    set_field(g->raw_colors, Py_NewRef(item(5)));

    set_field(g->type, Py_NewRef(item(6)));

    if (cls.fields == kClickFields) {
        std::vector<float> weights;
        if (!list_to_floats(item(7), &weights)) return -1;
        reinterpret_cast<ClickGradientObject*>(self)->weights.swap(weights);
    }

    if (size == cls.fields) return 0;
    PyObject* extra = item(cls.fields);
    int extra_true = PyObject_IsTrue(extra);
    if (extra_true <= 0) return extra_true;
    PyRef instance_dict = PyRef::steal(PyObject_GetAttr(self, state.constants.str_dict.get()));
    if (!instance_dict) return -1;
    if (PyDict_CheckExact(instance_dict.get()) && PyDict_Check(extra)) {
        return PyDict_Update(instance_dict.get(), extra);
    }
    PyRef result = PyRef::steal(
        PyObject_CallMethodOneArg(instance_dict.get(), state.constants.str_update.get(), extra));
    return result ? 0 : -1;
}

PyObject* setstate(PyObject* self, PyObject* state_tuple, const ClassPickling& cls) {
    if (!check_exact_value(state_tuple, &PyTuple_Type, false) ||
        restore(self, state_tuple, cls) < 0) {
        ZORVA_TRACEBACK(cls.setstate_name);
        return nullptr;
    }
    Py_RETURN_NONE;
}

const char* const kUnpickleParams[] = {"__pyx_type", "__pyx_checksum", "__pyx_state"};

PyObject* unpickle(const ClassPickling& cls, const Signature& sig, PyObject* const* args,
                   Py_ssize_t nargsf, PyObject* kwnames) {
    PyObject* values[3] = {nullptr, nullptr, nullptr};
    int64_t checksum;
    if (parse_args(sig, args, nargsf, kwnames, values) < 0 || !to_int64(values[1], &checksum) ||
        !check_exact_arg(values[2], &PyTuple_Type, "__pyx_state")) {
        return nullptr;
    }
    if (!checksum_accepted(*cls.layout, checksum)) {
        raise_checksum_mismatch(*cls.layout, checksum);
        return nullptr;
    }
    PyObject* target = values[0];
    PyObject* class_obj = reinterpret_cast<PyObject*>(cls.type);
    PyRef result;
    if (target == class_obj) {
        result = PyRef::steal(cls.type->tp_new(cls.type, nullptr, nullptr));
    } else {
        // The class's own __new__ checks that the target is a subclass.
        result = PyRef::steal(
            PyObject_CallMethodOneArg(class_obj, state.constants.str_new.get(), target));
    }
    if (!result) return nullptr;
    if (values[2] != Py_None && restore(result.get(), values[2], cls) < 0) return nullptr;
    return result.release();
}

const Signature kUnpickleGradientSig = {"__pyx_unpickle_GradientRaylib", kUnpickleParams, 3, 3};
const Signature kUnpickleClickSig = {"__pyx_unpickle_ClickGradient", kUnpickleParams, 3, 3};

PyObject* unpickle_gradient(PyObject*, PyObject* const* args, Py_ssize_t nargsf,
                            PyObject* kwnames) {
    PyObject* result = unpickle(kGradient, kUnpickleGradientSig, args, nargsf, kwnames);
    if (result == nullptr) ZORVA_TRACEBACK(kGradient.unpickle_name);
    return result;
}

PyObject* unpickle_click(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    PyObject* result = unpickle(kClick, kUnpickleClickSig, args, nargsf, kwnames);
    if (result == nullptr) ZORVA_TRACEBACK(kClick.unpickle_name);
    return result;
}

}  // namespace

PyObject* gradient_reduce(PyObject* self, PyObject*) {
    PyObject* result = reduce(self, kGradient);
    if (result == nullptr) ZORVA_TRACEBACK(kGradient.reduce_name);
    return result;
}

PyObject* gradient_setstate(PyObject* self, PyObject* state_tuple) {
    return setstate(self, state_tuple, kGradient);
}

PyObject* click_gradient_reduce(PyObject* self, PyObject*) {
    PyObject* result = reduce(self, kClick);
    if (result == nullptr) ZORVA_TRACEBACK(kClick.reduce_name);
    return result;
}

PyObject* click_gradient_setstate(PyObject* self, PyObject* state_tuple) {
    return setstate(self, state_tuple, kClick);
}

PyMethodDef unpickle_gradient_def = {
    "__pyx_unpickle_GradientRaylib",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(unpickle_gradient)),
    METH_FASTCALL | METH_KEYWORDS, nullptr};
PyMethodDef unpickle_click_gradient_def = {
    "__pyx_unpickle_ClickGradient",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(unpickle_click)),
    METH_FASTCALL | METH_KEYWORDS, nullptr};

}  // namespace zorva::grad
