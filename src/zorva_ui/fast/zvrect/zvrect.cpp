// zorva_ui.fast.zvrect.zvrect: ZvRect, a mutable rectangle of doubles.
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <structmember.h>

#include <cstddef>

#include "fast/common/args.h"
#include "fast/common/callable.h"
#include "fast/common/module.h"
#include "fast/common/pyref.h"
#include "interfaces/zvrect.h"

namespace zorva::rect {
namespace {

constexpr const char kModuleName[] = "zorva_ui.fast.zvrect.zvrect";
extern PyTypeObject ZvRectType;

ZvRectObject* alloc_rect(PyTypeObject* type, const double values[4]);

ZvRectObject* rect_new_native(double x, double y, double width, double height) {
    const double values[4] = {x, y, width, height};
    return alloc_rect(&ZvRectType, values);
}

struct State {
    ZvRectVTable vtable{rect_new_native};  // published as __pyx_vtable__
};
State state;

ZvRectObject* alloc_rect(PyTypeObject* type, const double values[4]) {
    auto* self = reinterpret_cast<ZvRectObject*>(type->tp_alloc(type, 0));
    if (self == nullptr) return nullptr;
    self->vtab = &state.vtable;
    self->x = values[0];
    self->y = values[1];
    self->width = values[2];
    self->height = values[3];
    return self;
}

// The four numbers of a call; an omitted one (all are optional in the constructor) is 0.0.
int read_values(Args a, double values[4]) {
    for (int i = 0; i < 4; ++i) {
        values[i] = 0.0;
        if (a[i] != nullptr && to_double(a[i], &values[i]) < 0) return -1;
    }
    return 0;
}

PyObject* rect_construct(PyTypeObject* type, Args a) {
    double values[4];
    if (read_values(a, values) < 0) return nullptr;
    return reinterpret_cast<PyObject*>(alloc_rect(type, values));
}

ZvRectObject* as_rect(PyObject* self) {
    return reinterpret_cast<ZvRectObject*>(self);
}

PyObject* rect_repr(PyObject* self) {
    const ZvRectObject* r = as_rect(self);
    PyRef values = PyRef::steal(Py_BuildValue("(dddd)", r->x, r->y, r->width, r->height));
    if (!values) return nullptr;
    return PyUnicode_FromFormat("ZvRect%R", values.get());
}

PyObject* rect_richcompare(PyObject* self, PyObject* other, int op) {
    if (!PyObject_TypeCheck(other, &ZvRectType) || (op != Py_EQ && op != Py_NE)) {
        Py_RETURN_NOTIMPLEMENTED;
    }
    const ZvRectObject* a = as_rect(self);
    const ZvRectObject* b = as_rect(other);
    const bool equal =
        a->x == b->x && a->y == b->y && a->width == b->width && a->height == b->height;
    return PyBool_FromLong(op == Py_EQ ? equal : !equal);
}

PyObject* rect_reduce(PyObject* self) {
    const ZvRectObject* r = as_rect(self);
    return Py_BuildValue("(O(dddd))", Py_TYPE(self), r->x, r->y, r->width, r->height);
}

PyObject* rect_static_new(PyObject*, Args a) {
    double values[4];
    if (read_values(a, values) < 0) return nullptr;
    return reinterpret_cast<PyObject*>(alloc_rect(&ZvRectType, values));
}

constexpr Callable kConstruct{kModuleName, "ZvRect.__new__",
                              "(x=0.0, y=0.0, width=0.0, height=0.0)", rect_construct,
                              "A mutable rectangle of doubles."};
constexpr Callable kNew{kModuleName,
                        "ZvRect.new",
                        "(x, y, width, height)",
                        rect_static_new,
                        "A new ZvRect of four numbers.",
                        METH_STATIC};
constexpr Callable kReduce{kModuleName, "ZvRect.__reduce__", "($self)", rect_reduce,
                           "Pickles as ZvRect(x, y, width, height)."};

PyMemberDef kRectMembers[] = {
    {"x", Py_T_DOUBLE, offsetof(ZvRectObject, x), 0, "The left edge."},
    {"y", Py_T_DOUBLE, offsetof(ZvRectObject, y), 0, "The top edge."},
    {"width", Py_T_DOUBLE, offsetof(ZvRectObject, width), 0, "The width."},
    {"height", Py_T_DOUBLE, offsetof(ZvRectObject, height), 0, "The height."},
    {nullptr},
};

PyTypeObject ZvRectType = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0).tp_name = "zorva_ui.fast.zvrect.zvrect.ZvRect",
    .tp_basicsize = sizeof(ZvRectObject),
    .tp_repr = rect_repr,
    .tp_hash = PyObject_HashNotImplemented,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    .tp_doc = type_doc<kConstruct>,
    .tp_richcompare = rect_richcompare,
    .tp_methods = method_table<kNew, kReduce>,
    .tp_members = kRectMembers,
    .tp_new = new_slot<kConstruct>,
};

int add_types(PyObject* module) {
    return add_type(module, &ZvRectType, &state.vtable);
}

constexpr ModuleSpec kModule{kModuleName, "The rendering layer's rectangle.", nullptr, {add_types}};

}  // namespace
}  // namespace zorva::rect

PyMODINIT_FUNC PyInit_zvrect() {
    return zorva::define_module<zorva::rect::kModule>();
}
