// Enumeration protocol of the cache keys; see enum_access.h.
#include "fast/zorvacache/enum_access.h"

#include "fast/common/args.h"
#include "fast/common/pyref.h"

namespace zorva::cache {

namespace {

EnumState& enums = state.enums;

// The type's own lookup of `name` through its MRO (no descriptor call), or null.
PyObject* type_lookup(PyTypeObject* type, const InternedName& name) {
    return _PyType_Lookup(type, name.get());  // borrowed; never raises
}

void remember(TypeMemo& memo, PyTypeObject* type) {
    // The lookups above gave the type a version tag if one is available; 0 means none.
    memo.type = type;
    memo.tag = type->tp_version_tag;
}

bool value_is_standard(PyTypeObject* type) {
    return type->tp_getattro == PyObject_GenericGetAttr &&
           PyType_IsSubtype(type, reinterpret_cast<PyTypeObject*>(enums.base)) &&
           type_lookup(type, enums.value) == enums.value_descriptor;
}

bool members_are_standard(PyTypeObject* meta) {
    return meta->tp_getattro == PyType_Type.tp_getattro && meta->tp_as_mapping != nullptr &&
           meta->tp_as_mapping->mp_subscript == enums.meta->tp_as_mapping->mp_subscript &&
           type_lookup(meta, enums.members) == enums.members_descriptor &&
           type_lookup(meta, enums.getitem) == enums.getitem_function;
}

// The type's own attribute: new reference, or null with ImportError.
PyObject* own_attr(PyObject* type, const InternedName& name) {
    PyObject* found = type_lookup(reinterpret_cast<PyTypeObject*>(type), name);
    if (found == nullptr) {
        PyErr_Format(PyExc_ImportError, "enum.%s has no attribute '%s'",
                     reinterpret_cast<PyTypeObject*>(type)->tp_name, name.text());
        return nullptr;
    }
    return Py_NewRef(found);
}

}  // namespace

int enum_access_init(PyObject*) {
    if (enums.base != nullptr) return 0;
    if (intern(enums.value_, enums.value, enums.members, enums.getitem, enums.member_map,
               enums.values) < 0) {
        return -1;
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
    PyRef value = PyRef::steal(own_attr(base.get(), enums.value));
    PyRef members = PyRef::steal(own_attr(meta.get(), enums.members));
    PyRef getitem = PyRef::steal(own_attr(meta.get(), enums.getitem));
    if (!value || !members || !getitem) return -1;
    enums.value_descriptor = value.release();
    enums.members_descriptor = members.release();
    enums.getitem_function = getitem.release();
    enums.meta = reinterpret_cast<PyTypeObject*>(meta.release());
    enums.base = base.release();
    return 0;
}

PyObject* read_value_slow(PyObject* obj) {
    PyTypeObject* type = Py_TYPE(obj);
    if (enums.base != nullptr && value_is_standard(type)) {
        remember(enums.value_memo, type);
        return PyObject_GenericGetAttr(obj, enums.value_.get());
    }
    return PyObject_GetAttr(obj, enums.value.get());
}

int read_key_slow(PyObject* value, int32_t* out) {
    return to_int32(value, out);
}

int standard_member_map(PyObject* enum_cls, PyObject** map) {
    *map = nullptr;
    PyTypeObject* meta = Py_TYPE(enum_cls);
    bool standard = enums.meta_memo.holds(meta);
    if (!standard && enums.base != nullptr && members_are_standard(meta)) {
        remember(enums.meta_memo, meta);
        standard = true;
    }
    if (!standard) return 0;
    PyRef found = PyRef::steal(PyObject_GetAttr(enum_cls, enums.member_map.get()));
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
    PyRef members = PyRef::steal(PyObject_GetAttr(enum_cls, enums.members.get()));
    if (!members) return -1;
    int found = PySequence_Contains(members.get(), name);
    if (found <= 0) return found;
    *member = PyObject_GetItem(enum_cls, name);
    return *member ? 1 : -1;
}

bool value_is_own_attribute(PyTypeObject* type) {
    return enums.base != nullptr && value_is_standard(type) &&
           type_lookup(type, enums.value_) == nullptr;
}

PyObject* all_members(PyObject* enum_cls) {
    PyRef members = PyRef::steal(PyObject_GetAttr(enum_cls, enums.members.get()));
    if (!members) return nullptr;
    PyRef values = PyRef::steal(PyObject_CallMethodNoArgs(members.get(), enums.values.get()));
    if (!values) return nullptr;
    return PySequence_List(values.get());
}

}  // namespace zorva::cache
