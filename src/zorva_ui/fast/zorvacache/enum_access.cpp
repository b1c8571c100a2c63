// Enumeration protocol of the cache keys; see enum_access.h.
#include "fast/zorvacache/enum_access.h"

#include "fast/common/args.h"
#include "fast/common/pyref.h"

namespace zorva::cache {

TypeMemo g_value_memo;
PyObject* g_str_value_ = nullptr;

namespace {

PyObject* g_enum_base = nullptr;         // enum.Enum
PyObject* g_value_descriptor = nullptr;  // enum.Enum.__dict__["value"]
PyTypeObject* g_enum_meta = nullptr;     // enum.EnumType
PyObject* g_members_descriptor = nullptr;
PyObject* g_getitem_function = nullptr;
PyObject* g_str_value = nullptr;
PyObject* g_str_members = nullptr;
PyObject* g_str_getitem = nullptr;
PyObject* g_str_member_map = nullptr;
PyObject* g_str_values = nullptr;
TypeMemo g_meta_memo;  // a metaclass whose __members__ and __getitem__ are the standard ones

// The type's own lookup of `name` through its MRO (no descriptor call), or null.
PyObject* type_lookup(PyTypeObject* type, PyObject* name) {
    return _PyType_Lookup(type, name);  // borrowed; never raises
}

void remember(TypeMemo& memo, PyTypeObject* type) {
    // The lookups above gave the type a version tag if one is available; 0 means none.
    memo.type = type;
    memo.tag = type->tp_version_tag;
}

bool value_is_standard(PyTypeObject* type) {
    return type->tp_getattro == PyObject_GenericGetAttr &&
           PyType_IsSubtype(type, reinterpret_cast<PyTypeObject*>(g_enum_base)) &&
           type_lookup(type, g_str_value) == g_value_descriptor;
}

bool members_are_standard(PyTypeObject* meta) {
    return meta->tp_getattro == PyType_Type.tp_getattro && meta->tp_as_mapping != nullptr &&
           meta->tp_as_mapping->mp_subscript == g_enum_meta->tp_as_mapping->mp_subscript &&
           type_lookup(meta, g_str_members) == g_members_descriptor &&
           type_lookup(meta, g_str_getitem) == g_getitem_function;
}

PyObject* own_attr(PyObject* type, const char* name, PyObject* attr_name) {
    PyObject* found = type_lookup(reinterpret_cast<PyTypeObject*>(type), attr_name);
    if (found == nullptr) {
        PyErr_Format(PyExc_ImportError, "enum.%s has no attribute '%s'",
                     reinterpret_cast<PyTypeObject*>(type)->tp_name, name);
        return nullptr;
    }
    return Py_NewRef(found);
}

}  // namespace

int enum_access_init() {
    if (g_enum_base != nullptr) return 0;
    const struct {
        PyObject** slot;
        const char* text;
    } names[] = {{&g_str_value_, "_value_"},          {&g_str_value, "value"},
                 {&g_str_members, "__members__"},     {&g_str_getitem, "__getitem__"},
                 {&g_str_member_map, "_member_map_"}, {&g_str_values, "values"}};
    for (const auto& n : names) {
        if (*n.slot == nullptr && (*n.slot = PyUnicode_InternFromString(n.text)) == nullptr) {
            return -1;
        }
    }
    PyRef enum_module = PyRef::steal(PyImport_ImportModule("enum"));
    if (!enum_module) return -1;
    PyRef base = PyRef::steal(PyObject_GetAttrString(enum_module.get(), "Enum"));
    PyRef meta = PyRef::steal(PyObject_GetAttrString(enum_module.get(), "EnumType"));
    if (!base || !meta) return -1;
    if (!PyType_Check(base.get()) || !PyType_Check(meta.get())) {
        PyErr_SetString(PyExc_ImportError, "enum.Enum and enum.EnumType must be types");
        return -1;
    }
    PyRef value = PyRef::steal(own_attr(base.get(), "value", g_str_value));
    PyRef members = PyRef::steal(own_attr(meta.get(), "__members__", g_str_members));
    PyRef getitem = PyRef::steal(own_attr(meta.get(), "__getitem__", g_str_getitem));
    if (!value || !members || !getitem) return -1;
    g_value_descriptor = value.release();
    g_members_descriptor = members.release();
    g_getitem_function = getitem.release();
    g_enum_meta = reinterpret_cast<PyTypeObject*>(meta.release());
    g_enum_base = base.release();
    return 0;
}

PyObject* read_value_slow(PyObject* obj) {
    PyTypeObject* type = Py_TYPE(obj);
    if (g_enum_base != nullptr && value_is_standard(type)) {
        remember(g_value_memo, type);
        return PyObject_GenericGetAttr(obj, g_str_value_);
    }
    return PyObject_GetAttr(obj, g_str_value);
}

bool read_key_slow(PyObject* value, int32_t* out) {
    return to_int32(value, out);
}

int standard_member_map(PyObject* enum_cls, PyObject** map) {
    *map = nullptr;
    PyTypeObject* meta = Py_TYPE(enum_cls);
    bool standard = g_meta_memo.holds(meta);
    if (!standard && g_enum_base != nullptr && members_are_standard(meta)) {
        remember(g_meta_memo, meta);
        standard = true;
    }
    if (!standard) return 0;
    PyRef found = PyRef::steal(PyObject_GetAttr(enum_cls, g_str_member_map));
    if (!found) return -1;
    if (!PyDict_CheckExact(found.get())) return 0;
    *map = found.release();
    return 1;
}

int lookup_member(PyObject* enum_cls, PyObject* name, PyObject** member) {
    *member = nullptr;
    if (PyUnicode_CheckExact(name)) {
        PyObject* found;
        int standard = standard_member_map(enum_cls, &found);
        if (standard < 0) return -1;
        // An exact dict answers `in` and `[]` without running code, so one lookup does both.
        PyRef map = PyRef::steal(found);
        if (standard > 0) return PyDict_GetItemRef(map.get(), name, member);
    }
    PyRef members = PyRef::steal(PyObject_GetAttr(enum_cls, g_str_members));
    if (!members) return -1;
    int found = PySequence_Contains(members.get(), name);
    if (found <= 0) return found;
    *member = PyObject_GetItem(enum_cls, name);
    return *member ? 1 : -1;
}

bool value_is_own_attribute(PyTypeObject* type) {
    return g_enum_base != nullptr && value_is_standard(type) &&
           type_lookup(type, g_str_value_) == nullptr;
}

PyObject* all_members(PyObject* enum_cls) {
    PyRef members = PyRef::steal(PyObject_GetAttr(enum_cls, g_str_members));
    if (!members) return nullptr;
    PyRef values = PyRef::steal(PyObject_CallMethodNoArgs(members.get(), g_str_values));
    if (!values) return nullptr;
    return PySequence_List(values.get());
}

}  // namespace zorva::cache
