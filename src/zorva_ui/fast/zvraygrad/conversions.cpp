// Colour, stop and sequence conversions of the gradient module.
#include "fast/zvraygrad/conversions.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "fast/common/args.h"
#include "fast/common/pyref.h"
#include "fast/picture/gradient_model.h"
#include "fast/zvraygrad/internal.h"

namespace zorva::grad {

namespace {

// Reservation for an iterable that only offers a length hint: a hint is not a promise, so a
// bogus huge one must not turn into MemoryError; growth takes over past this.
constexpr Py_ssize_t kMaxHintedReserve = 4096;

// Integers up to 2**53 convert to double exactly, so dividing them natively rounds once,
// exactly as Python's int / int does.
constexpr long long kExactDoubleInt = 1LL << 53;

// v / 255 for the usual channel values 0..255, each computed as Python's int / int computes it
// (one correctly rounded division), then narrowed: the same floats, without a division each.
constexpr std::array<float, 256> kChannelTable = [] {
    std::array<float, 256> table{};
    for (int v = 0; v < 256; ++v) table[v] = static_cast<float>(static_cast<double>(v) / 255.0);
    return table;
}();

// channel / 255 as Python computes it, narrowed to a 32-bit float.
int channel_to_float(PyObject* channel, float* out) {
    if (PyLong_CheckExact(channel) &&
        PyUnstable_Long_IsCompact(reinterpret_cast<PyLongObject*>(channel))) {
        // A compact int has at most one digit (30 bits): exact as a double.
        const Py_ssize_t value =
            PyUnstable_Long_CompactValue(reinterpret_cast<PyLongObject*>(channel));
        *out = (value >= 0 && value < 256) ? kChannelTable[static_cast<size_t>(value)]
                                           : static_cast<float>(static_cast<double>(value) / 255.0);
        return 0;
    }
    if (PyLong_CheckExact(channel)) {
        int overflow = 0;
        long long value = PyLong_AsLongLongAndOverflow(channel, &overflow);
        if (overflow == 0 && value >= -kExactDoubleInt && value <= kExactDoubleInt) {
            *out = static_cast<float>(static_cast<double>(value) / 255.0);
            return 0;
        }
        if (value == -1 && PyErr_Occurred()) return -1;
    } else if (PyFloat_CheckExact(channel)) {
        *out = narrow_to_float(PyFloat_AS_DOUBLE(channel) / 255.0);
        return 0;
    }
    PyRef quotient = PyRef::steal(PyNumber_TrueDivide(channel, state.int_255.get()));
    if (!quotient) return -1;
    return to_float(quotient.get(), out);
}

// Calls `convert(item)` for each item of any iterable. Lists are re-measured at each step,
// because a conversion may run Python code that shrinks them.
template <typename Convert>
int for_each_item(PyObject* iterable, Convert convert, Py_ssize_t* hint) {
    if (PyList_CheckExact(iterable) || PyTuple_CheckExact(iterable)) {
        *hint = Py_SIZE(iterable);
        const bool is_list = PyList_CheckExact(iterable);
        for (Py_ssize_t i = 0; i < Py_SIZE(iterable); ++i) {
            PyRef item = PyRef::borrow(is_list ? PyList_GET_ITEM(iterable, i)
                                               : PyTuple_GET_ITEM(iterable, i));
            if (convert(item.get()) < 0) return -1;
        }
        return 0;
    }
    PyRef iterator = PyRef::steal(PyObject_GetIter(iterable));
    if (!iterator) return -1;
    Py_ssize_t length = PyObject_LengthHint(iterable, 0);
    if (length < 0) return -1;
    *hint = std::min(length, kMaxHintedReserve);
    while (PyRef item = PyRef::steal(PyIter_Next(iterator.get()))) {
        if (convert(item.get()) < 0) return -1;
    }
    return PyErr_Occurred() ? -1 : 0;
}

// One value of a mapping element; a missing key is the record field that was not given.
int mapping_field(PyObject* mapping, PyObject* key, const char* field, float* out) {
    PyRef value;
    if (PyDict_CheckExact(mapping)) {
        PyObject* found = nullptr;
        if (PyDict_GetItemRef(mapping, key, &found) < 0) return -1;
        value = PyRef::steal(found);
    } else {
        value = PyRef::steal(PyObject_GetItem(mapping, key));
        if (!value && PyErr_ExceptionMatches(PyExc_KeyError)) PyErr_Clear();
    }
    if (!value) {
        if (!PyErr_Occurred()) {
            PyErr_Format(PyExc_ValueError, "No value specified for struct attribute '%s'", field);
        }
        return -1;
    }
    return to_float(value.get(), out);
}

int mapping_to_vector4(PyObject* item, Vector4* out) {
    if (!PyMapping_Check(item)) {
        PyErr_Format(PyExc_TypeError, "Expected %.16s, got %.200s", "a mapping",
                     Py_TYPE(item)->tp_name);
        return -1;
    }
    const Names& n = state.names;
    if (mapping_field(item, n.x.get(), "x", &out->x) < 0 ||
        mapping_field(item, n.y.get(), "y", &out->y) < 0 ||
        mapping_field(item, n.z.get(), "z", &out->z) < 0 ||
        mapping_field(item, n.w.get(), "w", &out->w) < 0) {
        return -1;
    }
    return 0;
}

}  // namespace

namespace {

// Its failures are reported under this name (the conversion is called directly, not through a
// wrapper: it runs once per colour).
constexpr Native kTupleToVector4{kModuleName, "tuple_to_vector4", tuple_to_vector4};

int failed() {
    add_traceback_of<kTupleToVector4>();
    return -1;
}

}  // namespace

int tuple_to_vector4(PyObject* t, Vector4* out) {
    if (t == Py_None) {
        PyErr_SetString(PyExc_TypeError, "'NoneType' object is not subscriptable");
        return failed();
    }
    float channels[4];
    for (Py_ssize_t i = 0; i < 4; ++i) {
        if (i >= PyTuple_GET_SIZE(t)) {
            PyErr_SetString(PyExc_IndexError, "tuple index out of range");
            return failed();
        }
        if (channel_to_float(PyTuple_GET_ITEM(t, i), &channels[i]) < 0) return failed();
    }
    *out = Vector4{channels[0], channels[1], channels[2], channels[3]};
    return 0;
}

// The stops as the picture model defines them (fast/picture/gradient_model.h).
int compute_stops(const float* weights, size_t count, std::vector<float>* stops) {
    // Sized first (a failure leaves the stops as they were), then written in place, so that a
    // recomputation of the same length allocates nothing.
    try {
        stops->resize(count);
    } catch (const std::exception&) {
        PyErr_NoMemory();
        return -1;
    }
    picture::stops_from_weights(weights, count, stops->data());
    return 0;
}

int FloatBuffer::push_back(float value) {
    if (heap_.empty() && size_ < kInline) {
        inline_[size_++] = value;
        return 0;
    }
    try {
        if (heap_.empty()) heap_.assign(inline_, inline_ + size_);
        heap_.push_back(value);
    } catch (const std::exception&) {
        PyErr_NoMemory();
        return -1;
    }
    ++size_;
    return 0;
}

PyObject* floats_to_list(const std::vector<float>& values) {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(values.size())));
    if (!list) return nullptr;
    for (size_t i = 0; i < values.size(); ++i) {
        PyObject* number = PyFloat_FromDouble(values[i]);
        if (number == nullptr) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), number);
    }
    return list.release();
}

PyObject* vector4s_to_list(const std::vector<Vector4>& values) {
    const Names& n = state.names;
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(values.size())));
    if (!list) return nullptr;
    for (size_t i = 0; i < values.size(); ++i) {
        PyRef dict = PyRef::steal(PyDict_New());
        if (!dict) return nullptr;
        const float fields[4] = {values[i].x, values[i].y, values[i].z, values[i].w};
        PyObject* keys[4] = {n.x.get(), n.y.get(), n.z.get(), n.w.get()};
        for (int k = 0; k < 4; ++k) {
            PyRef number = PyRef::steal(PyFloat_FromDouble(fields[k]));
            if (!number || PyDict_SetItem(dict.get(), keys[k], number.get()) < 0) return nullptr;
        }
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), dict.release());
    }
    return list.release();
}

// Any iterable into `out`, each element through `convert_one`; room for the length hint is
// reserved before the first element.
template <typename T, typename ConvertOne>
int iterable_to_vector(PyObject* iterable, std::vector<T>* out, ConvertOne convert_one) {
    out->clear();
    Py_ssize_t hint = 0;
    bool reserved = false;
    auto convert = [&](PyObject* item) {
        if (!reserved) {
            reserved = true;
            if (reserve(*out, static_cast<size_t>(hint)) < 0) return -1;
        }
        T value;
        if (convert_one(item, &value) < 0 || push_back(*out, value) < 0) return -1;
        return 0;
    };
    return for_each_item(iterable, convert, &hint);
}

int list_to_floats(PyObject* iterable, std::vector<float>* out) {
    return iterable_to_vector(iterable, out,
                              [](PyObject* item, float* value) { return to_float(item, value); });
}

int list_to_vector4s(PyObject* iterable, std::vector<Vector4>* out) {
    return iterable_to_vector(iterable, out, [](PyObject* item, Vector4* value) {
        return mapping_to_vector4(item, value);
    });
}

int weighted_pair(PyObject* item, PyObject** colour, PyObject** weight) {
    if (!PyTuple_Check(item)) return 0;
    if (PyTuple_CheckExact(item)) {
        if (PyTuple_GET_SIZE(item) != 2) return 0;
        PyObject* second = PyTuple_GET_ITEM(item, 1);
        if (!PyLong_Check(second) && !PyFloat_Check(second)) return 0;
        *colour = Py_NewRef(PyTuple_GET_ITEM(item, 0));
        *weight = Py_NewRef(second);
        return 1;
    }
    // A tuple subclass may redefine its length and items; ask it as Python would.
    Py_ssize_t length = PyObject_Size(item);
    if (length < 0) return -1;
    if (length != 2) return 0;
    PyRef second = PyRef::steal(get_item(item, 1));
    if (!second) return -1;
    if (!PyLong_Check(second.get()) && !PyFloat_Check(second.get())) return 0;
    PyObject* first = get_item(item, 0);
    if (first == nullptr) return -1;
    *colour = first;
    *weight = second.release();
    return 1;
}

PyObject* get_item(PyObject* obj, Py_ssize_t index) {
    if (PyList_CheckExact(obj) || PyTuple_CheckExact(obj)) {
        if (index >= Py_SIZE(obj)) {
            PyErr_SetString(PyExc_IndexError, PyList_CheckExact(obj) ? "list index out of range"
                                                                     : "tuple index out of range");
            return nullptr;
        }
        return Py_NewRef(PyList_CheckExact(obj) ? PyList_GET_ITEM(obj, index)
                                                : PyTuple_GET_ITEM(obj, index));
    }
    PyRef key = PyRef::steal(PyLong_FromSsize_t(index));
    if (!key) return nullptr;
    return PyObject_GetItem(obj, key.get());
}

}  // namespace zorva::grad
