// A module of the test suite that uses the machinery of fast/common the way the package's
// modules do: declared callables of every calling convention, a type with __init__, properties
// and pickling, a late-bound global, interned names, and an exec step that can be made to fail.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

#include "fast/common/args.h"
#include "fast/common/callable.h"
#include "fast/common/globals.h"
#include "fast/common/module.h"
#include "fast/common/names.h"
#include "fast/common/pickling.h"
#include "fast/common/pyref.h"

namespace probe {
namespace {

using namespace zorva;

constexpr const char kModuleName[] = "common_probe";
constexpr PickleLayout kLayout{{0x9636bbb, 0x5186788, 0x3a8bc8d}, "count, value"};

struct ProbeObject {
    PyObject_HEAD int32_t count;
    PyObject* value;  // strong
};

struct State {
    LateGlobal target{"TARGET"};
    LateGlobal unpickle{"__pyx_unpickle_Probe"};
    InternedName dict{"__dict__"};
    InternedName update{"update"};
    InternedName new_name{"__new__"};
    InternedName fail_sentinel{"common_probe_fail"};
    int exec_runs = 0;
};
State state;

extern PyTypeObject ProbeType;

ProbeObject* as_probe(PyObject* self) {
    return reinterpret_cast<ProbeObject*>(self);
}

// ---- module functions ---------------------------------------------------------------------

// The bound arguments; a parameter left null (omitted, default not None/True/False) as Ellipsis.
PyObject* bound(PyObject*, Args a) {
    PyObject* t = PyTuple_New(5);
    if (t == nullptr) return nullptr;
    for (int i = 0; i < 5; ++i) PyTuple_SET_ITEM(t, i, Py_NewRef(a[i] ? a[i] : Py_Ellipsis));
    return t;
}

PyObject* one(PyObject*, PyObject* x) {
    if (x == Py_None) {
        PyErr_SetString(PyExc_ValueError, "one: None");
        return nullptr;
    }
    return Py_NewRef(x);
}

PyObject* late(PyObject*) {
    return state.target.get();
}

PyObject* fail(PyObject*, Args a) {
    PyErr_SetObject(PyExc_ValueError, a[0]);
    return nullptr;
}

PyObject* exec_runs(PyObject*) {
    return PyLong_FromLong(state.exec_runs);
}

int restore(PyObject* self, PyObject* state_tuple);

PyObject* unpickle_probe(PyObject*, Args a) {
    return unpickle(kLayout, &ProbeType, state.new_name.get(), a[0], a[1], a[2], restore);
}

// Native operations, as an operation table would hold them: null, -1 or a pending exception.
PyObject* half(PyObject* x) {
    const long value = PyLong_AsLong(x);
    if (value == -1 && PyErr_Occurred()) return nullptr;
    if (value % 2 != 0) {
        PyErr_SetString(PyExc_ValueError, "odd");
        return nullptr;
    }
    return PyLong_FromLong(value / 2);
}

int location(long value) {
    if (value < -1) PyErr_SetString(PyExc_ValueError, "below -1");
    return value < -1 ? -1 : static_cast<int>(value);  // -1 itself is a value
}

void refuse_none(PyObject* x) {
    if (x == Py_None) PyErr_SetString(PyExc_TypeError, "None refused");
}

// An entry the table declares as returning nothing, from an implementation returning 0 or -1.
int check_str(PyObject* x) {
    if (PyUnicode_Check(x)) return 0;
    PyErr_SetString(PyExc_TypeError, "not a str");
    return -1;
}

constexpr Native kHalf{kModuleName, "Probe.c_half", half};
constexpr Native kLocation{kModuleName, "Probe.c_location", location};
constexpr Native kRefuseNone{kModuleName, "Probe.c_refuse_none", refuse_none};
constexpr Native kCheckStr{kModuleName, "Probe.c_check_str", check_str};

struct Ops {
    PyObject* (*half)(PyObject*);
    int (*location)(long);
    void (*refuse_none)(PyObject*);
    void (*check_str)(PyObject*);
};
constexpr Ops kOps{native<kHalf>, native<kLocation>, native<kRefuseNone>, native_void<kCheckStr>};

// Runs one native operation: "half", "location", "refuse_none" or "check_str".
PyObject* op(PyObject*, Args a) {
    const char* name = PyUnicode_AsUTF8(a[0]);
    if (name == nullptr) return nullptr;
    if (name[0] == 'h') return kOps.half(a[1]);
    if (name[0] == 'l') {
        const long value = PyLong_AsLong(a[1]);
        if (value == -1 && PyErr_Occurred()) return nullptr;
        const int result = kOps.location(value);
        return result == -1 && PyErr_Occurred() ? nullptr : PyLong_FromLong(result);
    }
    if (name[0] == 'c') {
        kOps.check_str(a[1]);
    } else {
        kOps.refuse_none(a[1]);
    }
    if (PyErr_Occurred()) return nullptr;
    Py_RETURN_NONE;
}

constexpr Callable kBound{kModuleName, "bound", "(a, b=None, c=True, d=False, e=1)", bound,
                          "The arguments as bound."};
constexpr Callable kOne{kModuleName, "one", "($module, x, /)", one, "x; ValueError for None."};
constexpr Callable kLate{kModuleName, "late", "($module)", late, "The global TARGET now."};
constexpr Callable kFail{kModuleName, "fail", "(message)", fail, "Raises ValueError(message)."};
constexpr Callable kOp{kModuleName, "op", "(name, value)", op, "Runs one native operation."};
constexpr Callable kExecRuns{kModuleName, "exec_runs", "($module)", exec_runs,
                             "How often the exec steps ran."};
constexpr Callable kUnpickle{kModuleName, "__pyx_unpickle_Probe",
                             "(__pyx_type, __pyx_checksum, __pyx_state)", unpickle_probe,
                             "Reconstructs a pickled Probe."};

// ---- Probe --------------------------------------------------------------------------------

PyObject* probe_alloc(PyTypeObject* type, PyObject*, PyObject*) {
    PyObject* self = type->tp_alloc(type, 0);
    if (self != nullptr) as_probe(self)->value = Py_NewRef(Py_None);
    return self;
}

void probe_dealloc(PyObject* self) {
    Py_CLEAR(as_probe(self)->value);
    Py_TYPE(self)->tp_free(self);
}

int probe_init(PyObject* self, Args a) {
    int32_t count = 0;
    if (a[1] != nullptr && to_int32(a[1], &count) < 0) return -1;
    as_probe(self)->count = count;
    set_field(as_probe(self)->value, Py_NewRef(a[0]));
    return 0;
}

PyObject* probe_scale(PyObject* self, Args a) {
    int32_t factor = 2;
    if (a[0] != nullptr && to_int32(a[0], &factor) < 0) return nullptr;
    return PyLong_FromLong(static_cast<long>(as_probe(self)->count) * factor);
}

PyObject* probe_make(PyObject* cls, Args a) {
    PyRef made = PyRef::steal(PyObject_CallOneArg(cls, a[0]));
    return made.release();
}

PyObject* probe_twice(PyObject*, Args a) {
    return PyNumber_Add(a[0], a[0]);
}

PyObject* probe_get_count(PyObject* self) {
    return PyLong_FromLong(as_probe(self)->count);
}

int probe_set_count(PyObject* self, PyObject* value) {
    if (value == nullptr) {
        PyErr_SetString(PyExc_NotImplementedError, "__del__");
        return -1;
    }
    int32_t count;
    if (to_int32(value, &count) < 0) return -1;
    if (count < 0) {
        PyErr_SetString(PyExc_ValueError, "count must not be negative");
        return -1;
    }
    as_probe(self)->count = count;
    return 0;
}

PyObject* probe_get_value(PyObject* self) {
    return Py_NewRef(as_probe(self)->value);
}

int restore(PyObject* self, PyObject* state_tuple) {
    if (PyTuple_GET_SIZE(state_tuple) < 2) {
        PyErr_SetString(PyExc_ValueError, "Probe state needs 2 items");
        return -1;
    }
    int32_t count;
    if (to_int32(PyTuple_GET_ITEM(state_tuple, 0), &count) < 0) return -1;
    as_probe(self)->count = count;
    set_field(as_probe(self)->value, Py_NewRef(PyTuple_GET_ITEM(state_tuple, 1)));
    if (PyTuple_GET_SIZE(state_tuple) < 3) return 0;
    return restore_dict_tail(self, PyTuple_GET_ITEM(state_tuple, 2), DictAccess::kAttribute,
                             state.dict.get(), state.update.get());
}

PyObject* probe_reduce(PyObject* self) {
    PyRef tail;
    if (dict_tail(self, state.dict.get(), &tail) < 0) return nullptr;
    PyRef count = PyRef::steal(PyLong_FromLong(as_probe(self)->count));
    if (!count) return nullptr;
    PyObject* value = as_probe(self)->value;
    PyRef items = PyRef::steal(tail ? PyTuple_Pack(3, count.get(), value, tail.get())
                                    : PyTuple_Pack(2, count.get(), value));
    if (!items) return nullptr;
    PyRef reconstructor = PyRef::steal(state.unpickle.get());
    if (!reconstructor) return nullptr;
    return reduce_value(reconstructor.get(), self, kLayout, items.get(), tail || value != Py_None);
}

PyObject* probe_setstate(PyObject* self, PyObject* state_tuple) {
    if (check_exact_value(state_tuple, &PyTuple_Type, false) < 0 ||
        restore(self, state_tuple) < 0) {
        return nullptr;
    }
    Py_RETURN_NONE;
}

constexpr Callable kInit{kModuleName, "Probe.__init__", "(value, count=0)", probe_init,
                         "A value and a count."};
constexpr Callable kScale{kModuleName, "Probe.scale", "($self, factor=2)", probe_scale,
                          "count * factor."};
constexpr Callable kMake{kModuleName, "Probe.make",  "($type, value)",
                         probe_make,  "cls(value).", METH_CLASS};
constexpr Callable kTwice{kModuleName, "Probe.twice", "(x)", probe_twice, "x + x.", METH_STATIC};
constexpr Callable kReduce{kModuleName, "Probe.__reduce__", "($self)", probe_reduce,
                           "Pickles through __pyx_unpickle_Probe."};
constexpr Callable kSetstate{kModuleName, "Probe.__setstate__", "($self, state, /)", probe_setstate,
                             "Restores a pickled state."};
constexpr Property kCount{kModuleName, "Probe.count", probe_get_count, probe_set_count,
                          "A non-negative count."};
constexpr Property kValue{kModuleName, "Probe.value", probe_get_value, nullptr, "The value."};

PyTypeObject ProbeType = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0).tp_name = "common_probe.Probe",
    .tp_basicsize = sizeof(ProbeObject),
    .tp_dealloc = probe_dealloc,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    .tp_doc = type_doc<kInit>,
    .tp_methods = method_table<kScale, kMake, kTwice, kReduce, kSetstate>,
    .tp_getset = getset_table<kCount, kValue>,
    .tp_init = init_slot<kInit>,
    .tp_new = probe_alloc,
};

// ---- initialisation -----------------------------------------------------------------------

int count_run(PyObject*) {
    ++state.exec_runs;
    return 0;
}

int make_names(PyObject*) {
    return intern(state.dict, state.update, state.new_name, state.fail_sentinel);
}

int bind_globals(PyObject* module) {
    return state.target.bind(module) == 0 && state.unpickle.bind(module) == 0 ? 0 : -1;
}

int add_types(PyObject* module) {
    return add_type(module, &ProbeType);
}

// Fails while sys.modules holds "common_probe_fail", so a test can see a failed import retried.
int maybe_fail(PyObject*) {
    const int asked = PyDict_Contains(PyImport_GetModuleDict(), state.fail_sentinel.get());
    if (asked < 0) return -1;
    if (asked) PyErr_SetString(PyExc_RuntimeError, "asked to fail");
    return asked ? -1 : 0;
}

constexpr ModuleSpec kModule{kModuleName,
                             "The machinery of fast/common, for the tests.",
                             method_table<kBound, kOne, kLate, kFail, kOp, kExecRuns, kUnpickle>,
                             {count_run, make_names, bind_globals, add_types, maybe_fail}};

}  // namespace
}  // namespace probe

PyMODINIT_FUNC PyInit_common_probe() {
    return zorva::define_module<probe::kModule>();
}
