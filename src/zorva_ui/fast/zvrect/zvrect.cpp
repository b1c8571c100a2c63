// zorva_ui.fast.zvrect.zvrect: ZvRect, a mutable rectangle of doubles.
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <structmember.h>

#include <cstddef>

#include "fast/common/args.h"
#include "fast/common/module_guard.h"
#include "fast/common/pyref.h"
#include "fast/common/vtable.h"
#include "interfaces/zvrect.h"

namespace zorva {
namespace {

ModuleGuard g_guard{"zvrect", "zorva_ui.fast.zvrect.zvrect"};
extern PyTypeObject ZvRectType;

ZvRectObject* alloc_rect(PyTypeObject* type, const double values[4]);

ZvRectObject* rect_new_native(double x, double y, double width, double height) {
    const double values[4] = {x, y, width, height};
    return alloc_rect(&ZvRectType, values);
}

ZvRectVTable g_vtable = {rect_new_native};

ZvRectObject* alloc_rect(PyTypeObject* type, const double values[4]) {
    auto* self = reinterpret_cast<ZvRectObject*>(type->tp_alloc(type, 0));
    if (self == nullptr) return nullptr;
    self->vtab = &g_vtable;
    self->x = values[0];
    self->y = values[1];
    self->width = values[2];
    self->height = values[3];
    return self;
}

int parse_values(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                 double values[4]) {
    PyObject* a[4] = {};
    if (parse_args(sig, args, nargs, kwnames, a) < 0) return -1;
    for (int i = 0; i < 4; ++i) {
        values[i] = 0.0;
        if (a[i] != nullptr && !to_double(a[i], &values[i])) return -1;
    }
    return 0;
}

const char* const kParams[] = {"x", "y", "width", "height"};

PyObject* rect_tp_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    static const char* kwlist[] = {"x", "y", "width", "height", nullptr};
    double values[4] = {0.0, 0.0, 0.0, 0.0};
    PyObject* objs[4] = {};
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|OOOO:ZvRect", const_cast<char**>(kwlist),
                                     &objs[0], &objs[1], &objs[2], &objs[3])) {
        return nullptr;
    }
    for (int i = 0; i < 4; ++i) {
        if (objs[i] != nullptr && !to_double(objs[i], &values[i])) return nullptr;
    }
    return reinterpret_cast<PyObject*>(alloc_rect(type, values));
}

PyObject* rect_repr(PyObject* self) {
    auto* r = reinterpret_cast<ZvRectObject*>(self);
    PyRef values = PyRef::steal(Py_BuildValue("(dddd)", r->x, r->y, r->width, r->height));
    if (!values) return nullptr;
    return PyUnicode_FromFormat("ZvRect%R", values.get());
}

PyObject* rect_richcompare(PyObject* self, PyObject* other, int op) {
    if (!PyObject_TypeCheck(other, &ZvRectType) || (op != Py_EQ && op != Py_NE)) {
        Py_RETURN_NOTIMPLEMENTED;
    }
    auto* a = reinterpret_cast<ZvRectObject*>(self);
    auto* b = reinterpret_cast<ZvRectObject*>(other);
    const bool equal =
        a->x == b->x && a->y == b->y && a->width == b->width && a->height == b->height;
    return PyBool_FromLong(op == Py_EQ ? equal : !equal);
}

PyObject* rect_reduce(PyObject* self, PyObject*) {
    auto* r = reinterpret_cast<ZvRectObject*>(self);
    return Py_BuildValue("(O(dddd))", Py_TYPE(self), r->x, r->y, r->width, r->height);
}

PyObject* rect_static_new(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const Signature kSig{"new", kParams, 4, 4};
    double values[4];
    if (parse_values(kSig, args, nargs, kwnames, values) < 0) return nullptr;
    return reinterpret_cast<PyObject*>(alloc_rect(&ZvRectType, values));
}

PyMethodDef rect_methods[] = {
    {"new", reinterpret_cast<PyCFunction>(rect_static_new),
     METH_FASTCALL | METH_KEYWORDS | METH_STATIC, "new(x, y, width, height): a new ZvRect."},
    {"__reduce__", rect_reduce, METH_NOARGS, nullptr},
    {nullptr},
};

PyMemberDef rect_members[] = {
    {"x", Py_T_DOUBLE, offsetof(ZvRectObject, x), 0, nullptr},
    {"y", Py_T_DOUBLE, offsetof(ZvRectObject, y), 0, nullptr},
    {"width", Py_T_DOUBLE, offsetof(ZvRectObject, width), 0, nullptr},
    {"height", Py_T_DOUBLE, offsetof(ZvRectObject, height), 0, nullptr},
    {nullptr},
};

PyTypeObject ZvRectType = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0).tp_name = "zorva_ui.fast.zvrect.zvrect.ZvRect",
    .tp_basicsize = sizeof(ZvRectObject),
    .tp_repr = rect_repr,
    .tp_hash = PyObject_HashNotImplemented,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    .tp_doc = "ZvRect(x=0.0, y=0.0, width=0.0, height=0.0): a mutable rectangle of doubles.",
    .tp_richcompare = rect_richcompare,
    .tp_methods = rect_methods,
    .tp_members = rect_members,
    .tp_new = rect_tp_new,
};

int module_exec(PyObject* module) {
    const int begun = guarded_exec_begin(g_guard, module);
    if (begun != 0) return begun < 0 ? -1 : 0;
    if (PyType_Ready(&ZvRectType) < 0 || publish_vtable(&ZvRectType, &g_vtable) < 0 ||
        PyModule_AddObjectRef(module, "ZvRect", reinterpret_cast<PyObject*>(&ZvRectType)) < 0) {
        guarded_exec_failed(g_guard);
        return -1;
    }
    guarded_exec_done(g_guard);
    return 0;
}

}  // namespace
}  // namespace zorva

PyMODINIT_FUNC PyInit_zvrect() {
    return zorva::guarded_module_init<zorva::g_guard, zorva::module_exec>(
        "The rendering layer's rectangle.");
}
