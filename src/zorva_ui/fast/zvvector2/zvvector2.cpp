// zorva_ui.fast.zvvector2.zvvector2: ZvVector2, a mutable pair of doubles.
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <structmember.h>

#include <cstddef>

#include "fast/common/args.h"
#include "fast/common/callable.h"
#include "fast/common/module.h"
#include "fast/common/pyref.h"
#include "interfaces/zvvector2.h"

namespace zorva::vector2 {
namespace {

constexpr const char kModuleName[] = "zorva_ui.fast.zvvector2.zvvector2";
extern PyTypeObject ZvVector2Type;

ZvVector2Object* alloc_vector(PyTypeObject* type, double x, double y);

ZvVector2Object* vector_new_native(double x, double y) {
    return alloc_vector(&ZvVector2Type, x, y);
}

struct State {
    ZvVector2VTable vtable{vector_new_native};  // published as __pyx_vtable__
};
State state;

ZvVector2Object* alloc_vector(PyTypeObject* type, double x, double y) {
    auto* self = reinterpret_cast<ZvVector2Object*>(type->tp_alloc(type, 0));
    if (self == nullptr) return nullptr;
    self->vtab = &state.vtable;
    self->x = x;
    self->y = y;
    return self;
}

ZvVector2Object* as_vector(PyObject* self) {
    return reinterpret_cast<ZvVector2Object*>(self);
}

PyObject* vector_construct(PyTypeObject* type, Args a) {
    double x = 0.0, y = 0.0;
    if ((a[0] && to_double(a[0], &x) < 0) || (a[1] && to_double(a[1], &y) < 0)) return nullptr;
    return reinterpret_cast<PyObject*>(alloc_vector(type, x, y));
}

PyObject* vector_repr(PyObject* self) {
    PyRef x = PyRef::steal(PyFloat_FromDouble(as_vector(self)->x));
    PyRef y = PyRef::steal(PyFloat_FromDouble(as_vector(self)->y));
    if (!x || !y) return nullptr;
    return PyUnicode_FromFormat("ZvVector2(%R, %R)", x.get(), y.get());
}

PyObject* vector_richcompare(PyObject* self, PyObject* other, int op) {
    if (!PyObject_TypeCheck(other, &ZvVector2Type) || (op != Py_EQ && op != Py_NE)) {
        Py_RETURN_NOTIMPLEMENTED;
    }
    const ZvVector2Object* a = as_vector(self);
    const ZvVector2Object* b = as_vector(other);
    const bool equal = a->x == b->x && a->y == b->y;
    return PyBool_FromLong(op == Py_EQ ? equal : !equal);
}

// Pickles as itself: the class and (x, y), plus the instance dict of a Python subclass.
PyObject* vector_reduce(PyObject* self) {
    const ZvVector2Object* v = as_vector(self);
    if (!Py_IS_TYPE(self, &ZvVector2Type)) {
        PyObject* dict_obj = nullptr;
        if (PyObject_GetOptionalAttrString(self, "__dict__", &dict_obj) < 0) return nullptr;
        PyRef dict = PyRef::steal(dict_obj);
        if (dict && PyDict_Check(dict.get()) && PyDict_GET_SIZE(dict.get()) > 0) {
            return Py_BuildValue("(O(dd)O)", Py_TYPE(self), v->x, v->y, dict.get());
        }
    }
    return Py_BuildValue("(O(dd))", Py_TYPE(self), v->x, v->y);
}

PyObject* vector_static_new(PyObject*, Args a) {
    double x, y;
    if (to_double(a[0], &x) < 0 || to_double(a[1], &y) < 0) return nullptr;
    return reinterpret_cast<PyObject*>(vector_new_native(x, y));
}

PyObject* vector_copy(PyObject* self) {
    return reinterpret_cast<PyObject*>(
        alloc_vector(Py_TYPE(self), as_vector(self)->x, as_vector(self)->y));
}

constexpr Callable kConstruct{kModuleName, "ZvVector2.__new__", "(x=0.0, y=0.0)", vector_construct,
                              "A mutable 2D vector of doubles."};
constexpr Callable kNew{
    kModuleName, "ZvVector2.new", "(x, y)", vector_static_new, "A new ZvVector2 of two numbers.",
    METH_STATIC};
constexpr Callable kReduce{kModuleName, "ZvVector2.__reduce__", "($self)", vector_reduce,
                           "Pickles as ZvVector2(x, y)."};
constexpr Callable kCopy{kModuleName, "ZvVector2.__copy__", "($self)", vector_copy,
                         "A new vector of the same class and values."};

PyMemberDef kVectorMembers[] = {
    {"x", Py_T_DOUBLE, offsetof(ZvVector2Object, x), 0, "The x coordinate."},
    {"y", Py_T_DOUBLE, offsetof(ZvVector2Object, y), 0, "The y coordinate."},
    {nullptr},
};

PyTypeObject ZvVector2Type = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0).tp_name =
        "zorva_ui.fast.zvvector2.zvvector2.ZvVector2",
    .tp_basicsize = sizeof(ZvVector2Object),
    .tp_repr = vector_repr,
    .tp_hash = PyObject_HashNotImplemented,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    .tp_doc = type_doc<kConstruct>,
    .tp_richcompare = vector_richcompare,
    .tp_methods = method_table<kNew, kReduce, kCopy>,
    .tp_members = kVectorMembers,
    .tp_new = new_slot<kConstruct>,
};

int add_types(PyObject* module) {
    return add_type(module, &ZvVector2Type, &state.vtable);
}

constexpr ModuleSpec kModule{kModuleName, "The rendering layer's 2D vector.", nullptr, {add_types}};

}  // namespace
}  // namespace zorva::vector2

PyMODINIT_FUNC PyInit_zvvector2() {
    return zorva::define_module<zorva::vector2::kModule>();
}
