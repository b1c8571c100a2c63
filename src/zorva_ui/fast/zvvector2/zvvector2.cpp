// zorva_ui.fast.zvvector2.zvvector2: ZvVector2, a mutable pair of doubles.
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <structmember.h>

#include <cstddef>

#include "fast/common/args.h"
#include "fast/common/module_guard.h"
#include "fast/common/pyref.h"
#include "fast/common/vtable.h"
#include "interfaces/zvvector2.h"

namespace zorva {
namespace {

ModuleGuard g_guard{"zvvector2", "zorva_ui.fast.zvvector2.zvvector2"};
extern PyTypeObject ZvVector2Type;

ZvVector2Object* alloc_vector(PyTypeObject* type, double x, double y);

ZvVector2Object* vector_new_native(double x, double y) {
    return alloc_vector(&ZvVector2Type, x, y);
}

ZvVector2VTable g_vtable = {vector_new_native};

ZvVector2Object* alloc_vector(PyTypeObject* type, double x, double y) {
    auto* self = reinterpret_cast<ZvVector2Object*>(type->tp_alloc(type, 0));
    if (self == nullptr) return nullptr;
    self->vtab = &g_vtable;
    self->x = x;
    self->y = y;
    return self;
}

PyObject* vector_tp_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    static const char* kwlist[] = {"x", "y", nullptr};
    PyObject* x_obj = nullptr;
    PyObject* y_obj = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|OO:ZvVector2", const_cast<char**>(kwlist),
                                     &x_obj, &y_obj)) {
        return nullptr;
    }
    double x = 0.0, y = 0.0;
    if ((x_obj && !to_double(x_obj, &x)) || (y_obj && !to_double(y_obj, &y))) return nullptr;
    return reinterpret_cast<PyObject*>(alloc_vector(type, x, y));
}

PyObject* vector_repr(PyObject* self) {
    auto* v = reinterpret_cast<ZvVector2Object*>(self);
    PyRef x = PyRef::steal(PyFloat_FromDouble(v->x));
    PyRef y = PyRef::steal(PyFloat_FromDouble(v->y));
    if (!x || !y) return nullptr;
    return PyUnicode_FromFormat("ZvVector2(%R, %R)", x.get(), y.get());
}

PyObject* vector_richcompare(PyObject* self, PyObject* other, int op) {
    if (!PyObject_TypeCheck(other, &ZvVector2Type) || (op != Py_EQ && op != Py_NE)) {
        Py_RETURN_NOTIMPLEMENTED;
    }
    auto* a = reinterpret_cast<ZvVector2Object*>(self);
    auto* b = reinterpret_cast<ZvVector2Object*>(other);
    const bool equal = a->x == b->x && a->y == b->y;
    return PyBool_FromLong(op == Py_EQ ? equal : !equal);
}

// Pickles as itself: the class and (x, y), plus the instance dict of a Python subclass.
PyObject* vector_reduce(PyObject* self, PyObject*) {
    auto* v = reinterpret_cast<ZvVector2Object*>(self);
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

// Static `new(x, y)`, also reachable from Python.
PyObject* vector_static_new(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const char* const kParams[] = {"x", "y"};
    static const Signature kSig{"new", kParams, 2, 2};
    PyObject* a[2] = {};
    if (parse_args(kSig, args, nargs, kwnames, a) < 0) return nullptr;
    double x, y;
    if (!to_double(a[0], &x) || !to_double(a[1], &y)) return nullptr;
    return reinterpret_cast<PyObject*>(vector_new_native(x, y));
}

PyObject* vector_copy(PyObject* self, PyObject*) {
    auto* v = reinterpret_cast<ZvVector2Object*>(self);
    return reinterpret_cast<PyObject*>(alloc_vector(Py_TYPE(self), v->x, v->y));
}

PyMethodDef vector_methods[] = {
    {"new", reinterpret_cast<PyCFunction>(vector_static_new),
     METH_FASTCALL | METH_KEYWORDS | METH_STATIC, "new(x, y): a new ZvVector2."},
    {"__reduce__", vector_reduce, METH_NOARGS, nullptr},
    {"__copy__", vector_copy, METH_NOARGS, nullptr},
    {nullptr},
};

PyMemberDef vector_members[] = {
    {"x", Py_T_DOUBLE, offsetof(ZvVector2Object, x), 0, nullptr},
    {"y", Py_T_DOUBLE, offsetof(ZvVector2Object, y), 0, nullptr},
    {nullptr},
};

PyTypeObject ZvVector2Type = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0).tp_name =
        "zorva_ui.fast.zvvector2.zvvector2.ZvVector2",
    .tp_basicsize = sizeof(ZvVector2Object),
    .tp_repr = vector_repr,
    .tp_hash = PyObject_HashNotImplemented,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    .tp_doc = "ZvVector2(x=0.0, y=0.0): a mutable 2D vector of doubles.",
    .tp_richcompare = vector_richcompare,
    .tp_methods = vector_methods,
    .tp_members = vector_members,
    .tp_new = vector_tp_new,
};

int module_exec(PyObject* module) {
    const int begun = guarded_exec_begin(g_guard, module);
    if (begun != 0) return begun < 0 ? -1 : 0;
    if (PyType_Ready(&ZvVector2Type) < 0 || publish_vtable(&ZvVector2Type, &g_vtable) < 0 ||
        PyModule_AddObjectRef(module, "ZvVector2", reinterpret_cast<PyObject*>(&ZvVector2Type)) <
            0) {
        guarded_exec_failed(g_guard);
        return -1;
    }
    guarded_exec_done(g_guard);
    return 0;
}

}  // namespace
}  // namespace zorva

PyMODINIT_FUNC PyInit_zvvector2() {
    return zorva::guarded_module_init<zorva::g_guard, zorva::module_exec>(
        "The rendering layer's 2D vector.");
}
