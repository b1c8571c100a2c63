// zorva_ui.fast.zvshader.zvshader: ZvShader, a linked GL program of the layer's context.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstring>

#include "fast/common/args.h"
#include "fast/common/module_guard.h"
#include "fast/common/pyref.h"
#include "fast/common/vtable.h"
#include "fast/raylib/layer_core.h"
#include "interfaces/zvshader.h"

namespace zorva {
namespace {

ModuleGuard g_guard{"zvshader", "zorva_ui.fast.zvshader.zvshader"};
const layer::Core* g_core = nullptr;
extern PyTypeObject ZvShaderType;

ZvShaderObject* c_create_from_code(PyObject* vertex, PyObject* fragment);
ZvShaderVTable g_vtable = {c_create_from_code};

// A shader source: a str, or None for the layer's default. Null (also for None) in *out.
bool source_text(PyObject* source, const char** out) {
    if (source == nullptr || source == Py_None) {
        *out = nullptr;
        return true;
    }
    if (!PyUnicode_Check(source)) {
        PyErr_Format(PyExc_TypeError, "Expected str, got %.200s", Py_TYPE(source)->tp_name);
        return false;
    }
    Py_ssize_t size;
    *out = PyUnicode_AsUTF8AndSize(source, &size);
    if (*out == nullptr) return false;
    // The driver reads up to the first NUL: a source it would see cut short is refused.
    if (std::strlen(*out) != static_cast<size_t>(size)) {
        PyErr_SetString(PyExc_ValueError, "embedded null character in shader source");
        return false;
    }
    return true;
}

ZvShaderObject* create(PyTypeObject* type, PyObject* vertex, PyObject* fragment) {
    if (*g_core->tracing) [[unlikely]] {
        if (g_core->record("(sOO)", "c_create_from_code", vertex ? vertex : Py_None,
                           fragment ? fragment : Py_None) < 0) {
            return nullptr;
        }
    }
    const char* vs;
    const char* fs;
    if (!source_text(vertex, &vs) || !source_text(fragment, &fs)) return nullptr;
    auto* locs = static_cast<int32_t*>(PyMem_Malloc(layer::kLocCount * sizeof(int32_t)));
    if (locs == nullptr) {
        PyErr_NoMemory();
        return nullptr;
    }
    uint32_t program = 0;
    if (g_core->compile_program(vs, fs, &program, locs) < 0) {
        PyMem_Free(locs);
        return nullptr;
    }
    auto* self = reinterpret_cast<ZvShaderObject*>(type->tp_alloc(type, 0));
    if (self == nullptr) {
        g_core->discard_program(program);
        PyMem_Free(locs);
        return nullptr;
    }
    self->vtab = &g_vtable;
    self->id = program;
    self->locs = locs;
    return self;
}

ZvShaderObject* c_create_from_code(PyObject* vertex, PyObject* fragment) {
    return create(&ZvShaderType, vertex, fragment);
}

void shader_dealloc(PyObject* self) {
    auto* shader = reinterpret_cast<ZvShaderObject*>(self);
    // A shader in use is held by shader mode, so it is never freed while active; released here,
    // or queued for the owner thread when the context cannot be used now.
    if (shader->id != 0) g_core->discard_program(shader->id);
    PyMem_Free(shader->locs);
    Py_TYPE(self)->tp_free(self);
}

PyObject* shader_tp_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    static const char* kwlist[] = {"vertex", "fragment", nullptr};
    PyObject* vertex = Py_None;
    PyObject* fragment = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|OO:ZvShader", const_cast<char**>(kwlist),
                                     &vertex, &fragment)) {
        return nullptr;
    }
    return reinterpret_cast<PyObject*>(create(type, vertex, fragment));
}

PyObject* shader_static_create(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                               PyObject* kwnames) {
    static const char* const kParams[] = {"vertex", "fragment"};
    static const Signature kSig{"c_create_from_code", kParams, 2, 2};
    PyObject* a[2] = {};
    if (parse_args(kSig, args, nargs, kwnames, a) < 0) return nullptr;
    return reinterpret_cast<PyObject*>(c_create_from_code(a[0], a[1]));
}

PyObject* shader_unload(PyObject* self, PyObject*) {
    auto* shader = reinterpret_cast<ZvShaderObject*>(self);
    if (shader->id != 0) {
        if (g_core->delete_program(shader->id) < 0) return nullptr;
        shader->id = 0;
    }
    Py_RETURN_NONE;
}

PyObject* shader_reduce(PyObject* self, PyObject*) {
    PyErr_Format(PyExc_TypeError, "cannot pickle '%.200s' object: it is a GL program",
                 Py_TYPE(self)->tp_name);
    return nullptr;
}

PyObject* shader_get_id(PyObject* self, void*) {
    return PyLong_FromUnsignedLong(reinterpret_cast<ZvShaderObject*>(self)->id);
}

PyObject* shader_get_locs(PyObject* self, void*) {
    auto* shader = reinterpret_cast<ZvShaderObject*>(self);
    PyRef locs = PyRef::steal(PyTuple_New(layer::kLocCount));
    if (!locs) return nullptr;
    for (int i = 0; i < layer::kLocCount; ++i) {
        PyObject* value = PyLong_FromLong(shader->locs ? shader->locs[i] : -1);
        if (value == nullptr) return nullptr;
        PyTuple_SET_ITEM(locs.get(), i, value);
    }
    return locs.release();
}

PyObject* shader_repr(PyObject* self) {
    return PyUnicode_FromFormat("<ZvShader id=%u>", reinterpret_cast<ZvShaderObject*>(self)->id);
}

PyMethodDef shader_methods[] = {
    {"c_create_from_code", reinterpret_cast<PyCFunction>(shader_static_create),
     METH_FASTCALL | METH_KEYWORDS | METH_STATIC,
     "c_create_from_code(vertex, fragment): compiles and links a program; None takes the "
     "layer's default for that stage. RuntimeError carries the driver's log."},
    {"unload", shader_unload, METH_NOARGS, "Releases the GL program (id becomes 0)."},
    {"__reduce__", shader_reduce, METH_NOARGS, nullptr},
    {nullptr},
};

PyGetSetDef shader_getset[] = {
    {"id", shader_get_id, nullptr, "GL program name (0 once unloaded).", nullptr},
    {"locs", shader_get_locs, nullptr,
     "Locations of vertexPosition, vertexTexCoord, vertexColor, mvp, colDiffuse, texture0 "
     "(-1 where the program has none).",
     nullptr},
    {nullptr},
};

PyTypeObject ZvShaderType = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0).tp_name =
        "zorva_ui.fast.zvshader.zvshader.ZvShader",
    .tp_basicsize = sizeof(ZvShaderObject),
    .tp_dealloc = shader_dealloc,
    .tp_repr = shader_repr,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    .tp_doc = "ZvShader(vertex=None, fragment=None): a compiled and linked GL program.",
    .tp_methods = shader_methods,
    .tp_getset = shader_getset,
    .tp_new = shader_tp_new,
};

int module_exec(PyObject* module) {
    const int begun = guarded_exec_begin(g_guard, module);
    if (begun != 0) return begun < 0 ? -1 : 0;
    auto failed = [] {
        guarded_exec_failed(g_guard);
        return -1;
    };
    g_core = layer::import_core();
    if (g_core == nullptr) return failed();
    if (PyType_Ready(&ZvShaderType) < 0 || publish_vtable(&ZvShaderType, &g_vtable) < 0 ||
        PyModule_AddObjectRef(module, "ZvShader", reinterpret_cast<PyObject*>(&ZvShaderType)) < 0) {
        return failed();
    }
    g_core->register_shader_type(&ZvShaderType);
    guarded_exec_done(g_guard);
    return 0;
}

}  // namespace
}  // namespace zorva

PyMODINIT_FUNC PyInit_zvshader() {
    return zorva::guarded_module_init<zorva::g_guard, zorva::module_exec>(
        "The rendering layer's shader programs.");
}
