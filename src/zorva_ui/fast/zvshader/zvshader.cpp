// zorva_ui.fast.zvshader.zvshader: ZvShader, a linked GL program of the layer's context.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstring>

#include "fast/common/args.h"
#include "fast/common/callable.h"
#include "fast/common/module.h"
#include "fast/common/pyref.h"
#include "fast/common/with_block.h"
#include "fast/raylib/layer_core.h"
#include "interfaces/zvshader.h"

namespace zorva::shader {
namespace {

constexpr const char kModuleName[] = "zorva_ui.fast.zvshader.zvshader";
extern PyTypeObject ZvShaderType;

ZvShaderObject* c_create_from_code(PyObject* vertex, PyObject* fragment);

struct State {
    ZvShaderVTable vtable{c_create_from_code};  // published as __pyx_vtable__
};
State state;

// A shader source: a str, or None for the layer's default. Null (also for None) in *out. 0, or
// -1 with an exception set.
int source_text(PyObject* source, const char** out) {
    if (source == nullptr || source == Py_None) {
        *out = nullptr;
        return 0;
    }
    if (!PyUnicode_Check(source)) return raise_expected("str", source);
    Py_ssize_t size;
    *out = PyUnicode_AsUTF8AndSize(source, &size);
    if (*out == nullptr) return -1;
    // The driver reads up to the first NUL: a source it would see cut short is refused.
    if (std::strlen(*out) != static_cast<size_t>(size)) {
        PyErr_SetString(PyExc_ValueError, "embedded null character in shader source");
        return -1;
    }
    return 0;
}

ZvShaderObject* create(PyTypeObject* type, PyObject* vertex, PyObject* fragment) {
    ZORVA_TRACE(nullptr, "(sOO)", "c_create_from_code", vertex ? vertex : Py_None,
                fragment ? fragment : Py_None);
    const char* vs;
    const char* fs;
    if (source_text(vertex, &vs) < 0 || source_text(fragment, &fs) < 0) return nullptr;
    auto* locs = static_cast<int32_t*>(PyMem_Malloc(layer::kLocCount * sizeof(int32_t)));
    if (locs == nullptr) {
        PyErr_NoMemory();
        return nullptr;
    }
    uint32_t program = 0;
    if (layer::core().compile_program(vs, fs, &program, locs) < 0) {
        PyMem_Free(locs);
        return nullptr;
    }
    auto* self = reinterpret_cast<ZvShaderObject*>(type->tp_alloc(type, 0));
    if (self == nullptr) {
        layer::core().discard_program(program);
        PyMem_Free(locs);
        return nullptr;
    }
    self->vtab = &state.vtable;
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
    if (shader->id != 0) layer::core().discard_program(shader->id);
    PyMem_Free(shader->locs);
    Py_TYPE(self)->tp_free(self);
}

PyObject* shader_construct(PyTypeObject* type, Args a) {
    return reinterpret_cast<PyObject*>(create(type, a[0], a[1]));
}

PyObject* shader_static_create(PyObject*, Args a) {
    return reinterpret_cast<PyObject*>(c_create_from_code(a[0], a[1]));
}

PyObject* shader_unload(PyObject* self) {
    auto* shader = reinterpret_cast<ZvShaderObject*>(self);
    if (shader->id != 0) {
        if (layer::core().delete_program(shader->id) < 0) return nullptr;
        shader->id = 0;
    }
    Py_RETURN_NONE;
}

PyObject* shader_reduce(PyObject* self) {
    PyErr_Format(PyExc_TypeError, "cannot pickle '%.200s' object: it is a GL program",
                 Py_TYPE(self)->tp_name);
    return nullptr;
}

PyObject* shader_get_id(PyObject* self) {
    return PyLong_FromUnsignedLong(reinterpret_cast<ZvShaderObject*>(self)->id);
}

PyObject* shader_get_locs(PyObject* self) {
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

constexpr Callable kConstruct{
    kModuleName, "ZvShader.__new__", "(vertex=None, fragment=None)", shader_construct,
    "A compiled and linked GL program; a stage given as None takes the layer's default. "
    "RuntimeError carries the driver's log."};
constexpr Callable kCreate{kModuleName,
                           "ZvShader.c_create_from_code",
                           "(vertex, fragment)",
                           shader_static_create,
                           "Compiles and links a program from two sources (str, or None for the "
                           "layer's default of that stage). RuntimeError carries the driver's log.",
                           METH_STATIC};
constexpr Callable kUnload{kModuleName, "ZvShader.unload", "($self)", shader_unload,
                           "Releases the GL program now (id becomes 0); refused while shader mode "
                           "uses it."};
constexpr Callable kEnter{kModuleName, "ZvShader.__enter__", "($self)", with_enter,
                          "Returns the shader itself, unloaded at the end of the with block."};
constexpr Callable kExit{kModuleName, "ZvShader.__exit__", kWithExitParams,
                         with_exit<shader_unload>,
                         "Unloads the shader, also when the block raised (whose exception then "
                         "propagates)."};
constexpr Callable kReduce{kModuleName, "ZvShader.__reduce__", "($self)", shader_reduce,
                           "Refused: a GL program cannot be pickled."};

constexpr Property kId{
    kModuleName, "ZvShader.id", shader_get_id, nullptr,
    "The layer's name of the program, the same in every context (0 once unloaded)."};
constexpr Property kLocs{kModuleName, "ZvShader.locs", shader_get_locs, nullptr,
                         "Locations of vertexPosition, vertexTexCoord, vertexColor, mvp, "
                         "colDiffuse, texture0 (-1 where the program has none)."};

PyTypeObject ZvShaderType = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0).tp_name =
        "zorva_ui.fast.zvshader.zvshader.ZvShader",
    .tp_basicsize = sizeof(ZvShaderObject),
    .tp_dealloc = shader_dealloc,
    .tp_repr = shader_repr,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    .tp_doc = type_doc<kConstruct>,
    .tp_methods = method_table<kCreate, kUnload, kEnter, kExit, kReduce>,
    .tp_getset = getset_table<kId, kLocs>,
    .tp_new = new_slot<kConstruct>,
};

int add_types(PyObject* module) {
    if (add_type(module, &ZvShaderType, &state.vtable) < 0) return -1;
    layer::core().register_shader_type(&ZvShaderType);
    return 0;
}

constexpr ModuleSpec kModule{
    kModuleName, "The rendering layer's shader programs.", nullptr, {layer::take_core, add_types}};

}  // namespace
}  // namespace zorva::shader

PyMODINIT_FUNC PyInit_zvshader() {
    return zorva::define_module<zorva::shader::kModule>();
}
