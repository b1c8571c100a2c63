// Test-only extension: binds the rendering layer through interfaces/bind.h exactly as the
// gradient module does (the four types, then the fourteen functions) and calls the native entry
// points from C, so tests can check the native side and the binding failures.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string_view>
#include <vector>

#include "fast/common/pyref.h"
#include "interfaces/bind.h"
#include "interfaces/raylib_api.h"
#include "interfaces/vector4.h"
#include "interfaces/zvrect.h"
#include "interfaces/zvrendertex.h"
#include "interfaces/zvshader.h"
#include "interfaces/zvvector2.h"

namespace {

using zorva::PyRef;
using zorva::Vector4;
using zorva::ZvRectObject;
using zorva::ZvRectVTable;
using zorva::ZvRenderTextureObject;
using zorva::ZvRenderTextureVTable;
using zorva::ZvShaderObject;
using zorva::ZvShaderVTable;
using zorva::ZvVector2Object;
using zorva::ZvVector2VTable;

struct Bound {
    bool done = false;
    PyTypeObject* vector2 = nullptr;
    PyTypeObject* rect = nullptr;
    PyTypeObject* render_texture = nullptr;
    PyTypeObject* shader = nullptr;
    ZvVector2VTable* vector2_vt = nullptr;
    ZvRectVTable* rect_vt = nullptr;
    ZvRenderTextureVTable* render_texture_vt = nullptr;
    ZvShaderVTable* shader_vt = nullptr;
    zorva::rl::Api api{};
};
Bound g;

int bind_all() {
    if (g.done) return 0;
    void* vt = nullptr;
    g.vector2 = zorva::bind::import_type("zorva_ui.fast.zvvector2.zvvector2", "ZvVector2",
                                         sizeof(ZvVector2Object), &vt);
    if (!g.vector2) return -1;
    g.vector2_vt = static_cast<ZvVector2VTable*>(vt);
    g.rect = zorva::bind::import_type("zorva_ui.fast.zvrect.zvrect", "ZvRect", sizeof(ZvRectObject),
                                      &vt);
    if (!g.rect) return -1;
    g.rect_vt = static_cast<ZvRectVTable*>(vt);
    g.render_texture =
        zorva::bind::import_type("zorva_ui.fast.zvrendertex.zv_render_tex", "ZvRenderTexture",
                                 sizeof(ZvRenderTextureObject), &vt);
    if (!g.render_texture) return -1;
    g.render_texture_vt = static_cast<ZvRenderTextureVTable*>(vt);
    g.shader = zorva::bind::import_type("zorva_ui.fast.zvshader.zvshader", "ZvShader",
                                        sizeof(ZvShaderObject), &vt);
    if (!g.shader) return -1;
    g.shader_vt = static_cast<ZvShaderVTable*>(vt);
    if (zorva::bind::import_raylib_api(&g.api) < 0) return -1;
    g.done = true;
    return 0;
}

PyObject* py_bind(PyObject*, PyObject*) {
    if (bind_all() < 0) return nullptr;
    return Py_BuildValue("(OOOO)", g.vector2, g.rect, g.render_texture, g.shader);
}

// bind_type(module, name): import_type against any module (for failure tests).
PyObject* py_bind_type(PyObject*, PyObject* args) {
    const char* module;
    const char* name;
    Py_ssize_t size = sizeof(PyObject);
    if (!PyArg_ParseTuple(args, "ss|n", &module, &name, &size)) return nullptr;
    void* vt = nullptr;
    PyObject* type = reinterpret_cast<PyObject*>(zorva::bind::import_type(module, name, size, &vt));
    return type;
}

// bind_api(module): import_raylib_api against any module; the number of functions bound.
PyObject* py_bind_api(PyObject*, PyObject* arg) {
    const char* module = PyUnicode_AsUTF8(arg);
    if (module == nullptr) return nullptr;
    zorva::rl::Api api{};
    if (zorva::bind::import_raylib_api(&api, module) < 0) return nullptr;
    Py_RETURN_NONE;
}

void dummy_function() {}

// capsule(name): a function capsule with that name, for stand-in `__pyx_capi__` dicts.
PyObject* py_capsule(PyObject*, PyObject* arg) {
    const char* name = PyUnicode_AsUTF8(arg);
    if (name == nullptr) return nullptr;
    // The name must outlive the capsule: interned for the process.
    PyObject* keep = PyUnicode_FromString(name);
    if (keep == nullptr) return nullptr;
    PyUnicode_InternInPlace(&keep);
    return PyCapsule_New(reinterpret_cast<void*>(&dummy_function), PyUnicode_AsUTF8(keep), nullptr);
}

PyObject* result_of(int rc) {
    if (rc < 0) return nullptr;
    if (PyErr_Occurred()) {
        PyErr_SetString(PyExc_SystemError, "entry point succeeded with an exception set");
        return nullptr;
    }
    Py_RETURN_NONE;
}

int to_vectors(PyObject* list, std::vector<Vector4>* out) {
    PyRef seq = PyRef::steal(PySequence_Tuple(list));
    if (!seq) return -1;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(seq.get()); ++i) {
        Vector4 v;
        if (!PyArg_ParseTuple(PyTuple_GET_ITEM(seq.get(), i), "ffff", &v.x, &v.y, &v.z, &v.w)) {
            return -1;
        }
        out->push_back(v);
    }
    return 0;
}

int to_floats(PyObject* list, std::vector<float>* out) {
    PyRef seq = PyRef::steal(PySequence_Tuple(list));
    if (!seq) return -1;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(seq.get()); ++i) {
        const double v = PyFloat_AsDouble(PyTuple_GET_ITEM(seq.get(), i));
        if (v == -1.0 && PyErr_Occurred()) return -1;
        out->push_back(static_cast<float>(v));
    }
    return 0;
}

// call(name, *args): one native entry point, arguments converted as the gradient module
// passes them. Shader arguments are passed through unchecked (any object, None included).
PyObject* py_call(PyObject*, PyObject* args) {
    if (bind_all() < 0) return nullptr;
    const Py_ssize_t n = PyTuple_GET_SIZE(args);
    if (n < 1) {
        PyErr_SetString(PyExc_TypeError, "call(name, *args)");
        return nullptr;
    }
    const char* name = PyUnicode_AsUTF8(PyTuple_GET_ITEM(args, 0));
    if (name == nullptr) return nullptr;
    PyRef rest = PyRef::steal(PyTuple_GetSlice(args, 1, n));
    if (!rest) return nullptr;
    PyObject* a = rest.get();
    const zorva::rl::Api& api = g.api;
    const std::string_view fn(name);
    PyObject* o1 = nullptr;
    PyObject* o2 = nullptr;
    PyObject* o3 = nullptr;
    PyObject* o4 = nullptr;
    PyObject* o5 = nullptr;
    int i1 = 0;
    float f1 = 0;
    if (fn == "begin_zvshader_mode") {
        if (!PyArg_ParseTuple(a, "O", &o1)) return nullptr;
        return api.begin_zvshader_mode(reinterpret_cast<ZvShaderObject*>(o1));
    }
    if (fn == "get_zvshader_location") {
        if (!PyArg_ParseTuple(a, "OO", &o1, &o2)) return nullptr;
        const int32_t loc = api.get_zvshader_location(reinterpret_cast<ZvShaderObject*>(o1), o2);
        if (PyErr_Occurred()) return nullptr;
        return PyLong_FromLong(loc);
    }
    if (fn == "draw_texture_pro") {
        if (!PyArg_ParseTuple(a, "OOOOfO", &o1, &o2, &o3, &o4, &f1, &o5)) return nullptr;
        return result_of(api.draw_texture_pro(o1, o2, o3, o4, f1, o5));
    }
    if (fn == "begin_texture_mode") {
        if (!PyArg_ParseTuple(a, "O!", g.render_texture, &o1)) return nullptr;
        return result_of(
            api.begin_texture_mode(reinterpret_cast<ZvRenderTextureObject*>(o1)->render_texture));
    }
    if (fn == "end_texture_mode") return result_of(api.end_texture_mode());
    if (fn == "end_shader_mode") return result_of(api.end_shader_mode());
    if (fn == "end_blend_mode") return result_of(api.end_blend_mode());
    if (fn == "begin_blend_mode") {
        if (!PyArg_ParseTuple(a, "i", &i1)) return nullptr;
        return result_of(api.begin_blend_mode(i1));
    }
    if (fn == "set_zvshader_value_vec2_tuple") {
        if (!PyArg_ParseTuple(a, "OiO", &o1, &i1, &o2)) return nullptr;
        return result_of(
            api.set_zvshader_value_vec2_tuple(reinterpret_cast<ZvShaderObject*>(o1), i1, o2));
    }
    if (fn == "set_zvshader_value_float") {
        if (!PyArg_ParseTuple(a, "Oif", &o1, &i1, &f1)) return nullptr;
        return result_of(
            api.set_zvshader_value_float(reinterpret_cast<ZvShaderObject*>(o1), i1, f1));
    }
    if (fn == "set_zvshader_value_int") {
        int value = 0;
        if (!PyArg_ParseTuple(a, "Oii", &o1, &i1, &value)) return nullptr;
        return result_of(
            api.set_zvshader_value_int(reinterpret_cast<ZvShaderObject*>(o1), i1, value));
    }
    if (fn == "set_zvshader_value_vec4_v") {
        if (!PyArg_ParseTuple(a, "OiO", &o1, &i1, &o2)) return nullptr;
        std::vector<Vector4> values;
        if (to_vectors(o2, &values) < 0) return nullptr;
        return result_of(api.set_zvshader_value_vec4_v(reinterpret_cast<ZvShaderObject*>(o1), i1,
                                                       values.data(),
                                                       static_cast<Py_ssize_t>(values.size())));
    }
    if (fn == "set_zvshader_value_float_v") {
        if (!PyArg_ParseTuple(a, "OiO", &o1, &i1, &o2)) return nullptr;
        std::vector<float> values;
        if (to_floats(o2, &values) < 0) return nullptr;
        return result_of(api.set_zvshader_value_float_v(reinterpret_cast<ZvShaderObject*>(o1), i1,
                                                        values.data(),
                                                        static_cast<Py_ssize_t>(values.size())));
    }
    if (fn == "set_zvshader_value_float_v_raw") {
        // A raw (pointer, count) pair as a careless caller might pass it: null with a count.
        Py_ssize_t count = 0;
        if (!PyArg_ParseTuple(a, "Oin", &o1, &i1, &count)) return nullptr;
        return result_of(api.set_zvshader_value_float_v(reinterpret_cast<ZvShaderObject*>(o1), i1,
                                                        nullptr, count));
    }
    if (fn == "set_zvshader_value_vec2_zvvec") {
        if (!PyArg_ParseTuple(a, "OiO", &o1, &i1, &o2)) return nullptr;
        return result_of(api.set_zvshader_value_vec2_zvvec(
            reinterpret_cast<ZvShaderObject*>(o1), i1, reinterpret_cast<ZvVector2Object*>(o2)));
    }
    // The static and table operations of the four types.
    if (fn == "vector2_new") {
        double x, y;
        if (!PyArg_ParseTuple(a, "dd", &x, &y)) return nullptr;
        return reinterpret_cast<PyObject*>(g.vector2_vt->new_(x, y));
    }
    if (fn == "rect_new") {
        double x, y, w, h;
        if (!PyArg_ParseTuple(a, "dddd", &x, &y, &w, &h)) return nullptr;
        return reinterpret_cast<PyObject*>(g.rect_vt->new_(x, y, w, h));
    }
    if (fn == "render_texture_new") {
        if (!PyArg_ParseTuple(a, "O", &o1)) return nullptr;  // any object, as a careless caller
        return reinterpret_cast<PyObject*>(
            g.render_texture_vt->new_(reinterpret_cast<ZvVector2Object*>(o1)));
    }
    if (fn == "c_fast_clear") {
        if (!PyArg_ParseTuple(a, "O!O", g.render_texture, &o1, &o2)) return nullptr;
        auto* rt = reinterpret_cast<ZvRenderTextureObject*>(o1);
        return result_of(rt->vtab->c_fast_clear(rt, o2));
    }
    if (fn == "c_create_from_code") {
        if (!PyArg_ParseTuple(a, "OO", &o1, &o2)) return nullptr;
        return reinterpret_cast<PyObject*>(g.shader_vt->c_create_from_code(o1, o2));
    }
    if (fn == "fields") {
        // The fields as the interface layouts show them.
        if (!PyArg_ParseTuple(a, "O", &o1)) return nullptr;
        if (PyObject_TypeCheck(o1, g.render_texture)) {
            auto* rt = reinterpret_cast<ZvRenderTextureObject*>(o1);
            return Py_BuildValue("{s:I,s:I,s:i,s:i,s:(dd),s:i}", "fbo", rt->render_texture.id,
                                 "texture", rt->render_texture.texture.id, "width",
                                 rt->render_texture.texture.width, "height",
                                 rt->render_texture.texture.height, "size", rt->size->x,
                                 rt->size->y, "loaded", rt->loaded);
        }
        if (PyObject_TypeCheck(o1, g.shader)) {
            auto* sh = reinterpret_cast<ZvShaderObject*>(o1);
            return Py_BuildValue("{s:I}", "id", sh->id);
        }
        if (PyObject_TypeCheck(o1, g.vector2)) {
            auto* v = reinterpret_cast<ZvVector2Object*>(o1);
            return Py_BuildValue("(dd)", v->x, v->y);
        }
        if (PyObject_TypeCheck(o1, g.rect)) {
            auto* r = reinterpret_cast<ZvRectObject*>(o1);
            return Py_BuildValue("(dddd)", r->x, r->y, r->width, r->height);
        }
        PyErr_SetString(PyExc_TypeError, "no layer object");
        return nullptr;
    }
    PyErr_Format(PyExc_ValueError, "unknown entry point %s", name);
    return nullptr;
}

PyMethodDef methods[] = {
    {"bind", py_bind, METH_NOARGS, nullptr},    {"bind_type", py_bind_type, METH_VARARGS, nullptr},
    {"bind_api", py_bind_api, METH_O, nullptr}, {"capsule", py_capsule, METH_O, nullptr},
    {"call", py_call, METH_VARARGS, nullptr},   {nullptr},
};

PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "layer_probe", nullptr, -1, methods};

}  // namespace

PyMODINIT_FUNC PyInit_layer_probe() {
    return PyModule_Create(&module_def);
}
